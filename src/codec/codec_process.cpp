#include "codec/codec_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <utility>

#include "codec/helper_location.h"
#include "platform/terminal_text.h"

extern char** environ;

namespace tesmic {
namespace {

// Where the program's descriptors for the child are kept until it places
// them: above every number it places one at, so placing one never
// overwrites another.
constexpr int kAboveTheChildsOwn = 10;

// Signals a terminal sends the whole foreground process group, and a
// session's end sends every process: the program ends the run on them and
// may still need the helper for the mask; the parent-death signal ends the
// helper after the program.
constexpr int kLeftToTheProgram[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// In the child between vfork() and exec: only async-signal-safe calls, and
// nothing the parent's memory would keep. Returns only on failure, with
// errno set.
void becomeHelper(const char* program, pid_t parent, int channel, int messages) {
  // What the program catches is the default again, so that nothing of its
  // own runs here; then the helper's own choices.
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_DFL &&
        current.sa_handler != SIG_IGN) {
      std::signal(signal, SIG_DFL);
    }
  }
  for (const int signal : kLeftToTheProgram) std::signal(signal, SIG_IGN);
  // The CPU limit must end it whatever the program ignores; a file-size
  // limit must show as EFBIG, to be reported, rather than kill it.
  std::signal(SIGXCPU, SIG_DFL);
  std::signal(SIGXFSZ, SIG_IGN);
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return;
  // The parent may have died before the signal was armed.
  if (getppid() != parent) {
    errno = ESRCH;
    return;
  }
  const int nothing = open("/dev/null", O_RDWR);
  if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0 || dup2(nothing, STDOUT_FILENO) < 0 ||
      dup2(messages, STDERR_FILENO) < 0 || dup2(channel, kChannelDescriptor) < 0) {
    return;
  }
  // Nothing else the program holds reaches the helper.
  if (close_range(kChannelDescriptor + 1, ~0U, 0) != 0) return;
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  char* const argv[] = {const_cast<char*>(program), nullptr};
  execve(program, argv, environ);
}

}  // namespace

CodecProcess::~CodecProcess() { stop(); }

CodecProcess::CodecProcess(CodecProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      channel_(std::exchange(other.channel_, -1)),
      messages_(std::exchange(other.messages_, -1)) {}

CodecProcess& CodecProcess::operator=(CodecProcess&& other) noexcept {
  if (this != &other) {
    stop();
    pid_ = std::exchange(other.pid_, -1);
    channel_ = std::exchange(other.channel_, -1);
    messages_ = std::exchange(other.messages_, -1);
  }
  return *this;
}

std::optional<CodecProcess> CodecProcess::start(const char* name, std::string& why) {
  const std::filesystem::path program = helperPath(name);
  why = whyHelperIsUntrusted(program, geteuid());
  if (!why.empty()) return std::nullopt;
  why = "pomocny program " + quotedName(program.string()) + " nelze spustit";
  int sockets[2];
  int pipeFds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return std::nullopt;
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    close(sockets[0]);
    close(sockets[1]);
    return std::nullopt;
  }
  CodecProcess helper;
  helper.channel_ = sockets[0];
  helper.messages_ = pipeFds[0];
  fcntl(helper.messages_, F_SETFL, O_NONBLOCK);
  int childChannel = fcntl(sockets[1], F_DUPFD_CLOEXEC, kAboveTheChildsOwn);
  int childMessages = fcntl(pipeFds[1], F_DUPFD_CLOEXEC, kAboveTheChildsOwn);
  close(sockets[1]);
  close(pipeFds[1]);
  if (childChannel < 0 || childMessages < 0) {
    closeIfOpen(childChannel);
    closeIfOpen(childMessages);
    return std::nullopt;
  }

  // No signal may run the program's handlers in the child while it shares
  // the program's memory.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  const pid_t parent = getpid();
  volatile int childError = 0;
  const pid_t pid = vfork();
  if (pid == 0) {
    becomeHelper(program.c_str(), parent, childChannel, childMessages);
    childError = errno == 0 ? ENOEXEC : errno;
    _exit(127);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  closeIfOpen(childChannel);
  closeIfOpen(childMessages);
  if (pid < 0) return std::nullopt;
  helper.pid_ = pid;
  if (childError != 0) {
    helper.stop();
    return std::nullopt;
  }
  why.clear();
  return helper;
}

bool CodecProcess::send(const CodecRequest& request, std::span<const int> fds) {
  return channel_ >= 0 && sendCodecMessage(channel_, request, fds);
}

bool CodecProcess::readMessages(DecoderMessages& messages) {
  for (;;) {
    char text[4096];
    const ssize_t n = read(messages_, text, sizeof text);
    if (n > 0) {
      messages.read(std::string_view(text, static_cast<std::size_t>(n)));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 && errno == EAGAIN;
    }
  }
}

CodecReply CodecProcess::awaitReport(DecoderMessages& messages) {
  CodecReply reply;
  bool pipeOpen = messages_ >= 0;
  while (channel_ >= 0) {
    std::array<pollfd, 2> waiting{pollfd{channel_, POLLIN, 0},
                                  pollfd{pipeOpen ? messages_ : -1, POLLIN, 0}};
    if (poll(waiting.data(), waiting.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (waiting[1].revents != 0) pipeOpen = readMessages(messages);
    if (waiting[0].revents != 0) {
      reply.report = receiveCodecMessage<CodecReport>(channel_, reply.attached);
      break;
    }
  }
  // What the helper wrote before its report is in the pipe by now.
  if (pipeOpen) pipeOpen = readMessages(messages);
  if (reply.report) return reply;

  // It died, or broke the protocol: what it still said, then how it ended.
  closeIfOpen(channel_);
  if (messages_ >= 0) {
    fcntl(messages_, F_SETFL, 0);
    readMessages(messages);  // to the end of the pipe
  }
  while (pid_ > 0 && waitpid(pid_, &reply.status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  stop();
  return reply;
}

void CodecProcess::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  closeIfOpen(channel_);
  closeIfOpen(messages_);
}

}  // namespace tesmic
