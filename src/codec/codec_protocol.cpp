#include "codec/codec_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tesmic {
namespace {

union ControlBuffer {
  char bytes[CMSG_SPACE(sizeof(int))];
  cmsghdr align;
};

}  // namespace

bool sendCodecReport(int socket, const CodecReport& report, int fd) {
  CodecReport copy = report;
  iovec data{&copy, sizeof copy};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  ControlBuffer control{};
  if (fd >= 0) {
    message.msg_control = control.bytes;
    message.msg_controllen = sizeof control.bytes;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  }
  ssize_t sent;
  do {
    sent = sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(sizeof copy);
}

std::optional<CodecReport> receiveCodecReport(int socket, int& fd) {
  fd = -1;
  CodecReport report{};
  iovec data{&report, sizeof report};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  ControlBuffer control{};
  message.msg_control = control.bytes;
  message.msg_controllen = sizeof control.bytes;
  ssize_t received;
  do {
    received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL);
  } while (received < 0 && errno == EINTR);
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len == CMSG_LEN(sizeof(int))) {
      std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    }
  }
  if (received != static_cast<ssize_t>(sizeof report) ||
      (message.msg_flags & MSG_CTRUNC) != 0) {
    if (fd >= 0) close(fd);
    fd = -1;
    return std::nullopt;
  }
  return report;
}

}  // namespace tesmic
