#include "codec/codec_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tesmic {
namespace {

constexpr std::size_t kMostDescriptors = 2;

union ControlBuffer {
  char bytes[CMSG_SPACE(sizeof(int) * kMostDescriptors)];
  cmsghdr align;
};

}  // namespace

bool sendCodecMessage(int socket, const void* data, std::size_t size, std::span<const int> fds) {
  if (fds.size() > kMostDescriptors) return false;
  iovec part{const_cast<void*>(data), size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  ControlBuffer control{};
  if (!fds.empty()) {
    message.msg_control = control.bytes;
    message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
    std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
  }
  ssize_t sent;
  do {
    sent = sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(size);
}

bool receiveCodecMessage(int socket, void* data, std::size_t size, std::vector<int>& fds) {
  fds.clear();
  // A longer message shows as MSG_TRUNC, a shorter one by its length.
  iovec part{data, size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  ControlBuffer control{};
  message.msg_control = control.bytes;
  message.msg_controllen = sizeof control.bytes;
  ssize_t received;
  do {
    received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (received < 0 && errno == EINTR);
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int fd = -1;
      std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
      fds.push_back(fd);
    }
  }
  const bool whole = received == static_cast<ssize_t>(size) &&
                     (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0;
  if (!whole) {
    for (const int fd : fds) close(fd);
    fds.clear();
  }
  return whole;
}

}  // namespace tesmic
