#include "codec/codec_launch.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string_view>
#include <system_error>

extern char** environ;

namespace tesmic {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> findCodecHelper() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  for (const fs::path& candidate :
       {self.parent_path().parent_path() / TESMIC_CODEC_DIR / kCodecHelperName,
        self.parent_path() / kCodecHelperName}) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Above every number the helper's descriptors are placed at, so that
// placing one never overwrites another.
int movedOutOfTheWay(int fd, int above) {
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, above);
  close(fd);
  return moved;
}

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

std::optional<CodecHelper> startCodecHelper(const std::vector<std::string>& arguments,
                                            const std::vector<int>& passed) {
  const std::optional<fs::path> program = findCodecHelper();
  if (!program) return std::nullopt;
  int sockets[2];
  int pipeFds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return std::nullopt;
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    close(sockets[0]);
    close(sockets[1]);
    return std::nullopt;
  }
  const int above = kFirstPassedDescriptor + static_cast<int>(passed.size());
  int childReport = movedOutOfTheWay(sockets[1], above);
  int childMessages = movedOutOfTheWay(pipeFds[1], above);
  std::vector<int> childPassed;
  for (const int fd : passed) childPassed.push_back(fcntl(fd, F_DUPFD_CLOEXEC, above));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, childMessages, STDERR_FILENO);
  posix_spawn_file_actions_adddup2(&actions, childReport, kReportDescriptor);
  for (std::size_t i = 0; i < childPassed.size(); ++i) {
    posix_spawn_file_actions_adddup2(&actions, childPassed[i],
                                     kFirstPassedDescriptor + static_cast<int>(i));
  }
  // Whatever the run blocks or ignores, the CPU limit's signal must end the
  // helper.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGXCPU);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv = {const_cast<char*>(program->c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  CodecHelper helper;
  if (posix_spawn(&helper.pid, program->c_str(), &actions, &attributes, argv.data(),
                  environ) != 0) {
    helper.pid = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  closeIfOpen(childReport);
  closeIfOpen(childMessages);
  for (int& fd : childPassed) closeIfOpen(fd);
  helper.report = sockets[0];
  helper.messages = pipeFds[0];
  if (helper.pid < 0) {
    stopCodecHelper(helper);
    return std::nullopt;
  }
  return helper;
}

CodecEnd finishCodecHelper(CodecHelper& helper, DecoderMessages& messages) {
  CodecEnd end;
  while (helper.report >= 0 || helper.messages >= 0) {
    std::array<pollfd, 2> waiting{pollfd{helper.report, POLLIN, 0},
                                  pollfd{helper.messages, POLLIN, 0}};
    if (poll(waiting.data(), waiting.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (helper.report >= 0 && waiting[0].revents != 0) {
      end.report = receiveCodecReport(helper.report, end.attached);
      closeIfOpen(helper.report);
    }
    if (helper.messages >= 0 && waiting[1].revents != 0) {
      char text[4096];
      const ssize_t n = read(helper.messages, text, sizeof text);
      if (n > 0) {
        messages.read(std::string_view(text, static_cast<std::size_t>(n)));
      } else if (n == 0 || errno != EINTR) {
        closeIfOpen(helper.messages);
      }
    }
  }
  while (waitpid(helper.pid, &end.status, 0) < 0 && errno == EINTR) {
  }
  helper.pid = -1;
  stopCodecHelper(helper);
  return end;
}

void stopCodecHelper(CodecHelper& helper) {
  if (helper.pid > 0) {
    kill(helper.pid, SIGKILL);
    while (waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    helper.pid = -1;
  }
  closeIfOpen(helper.report);
  closeIfOpen(helper.messages);
}

}  // namespace tesmic
