#include "platform/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace tesmic {
namespace {

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};

// A handler may only use what is async-signal-safe: write() to a
// non-blocking pipe (a full pipe drops the byte; one is enough).
std::atomic<int> signalPipe{-1};

void onSignal(int signal) {
  const int saved = errno;
  const int fd = signalPipe.load();
  if (fd >= 0) {
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
  }
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    fds_[0] = fds_[1] = -1;
    return;  // the signals keep their default action
  }
  signalPipe.store(fds_[1]);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kCaught[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
  if (fds_[0] < 0) return;
  for (int i = 0; i < 3; ++i) sigaction(kCaught[i], &previous_[i], nullptr);
  signalPipe.store(-1);
  close(fds_[0]);
  close(fds_[1]);
}

int TerminationSignals::takeSignal() const {
  unsigned char number = 0;
  if (fds_[0] < 0 || read(fds_[0], &number, 1) != 1) return 0;
  return number;
}

void endBySignal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  std::_Exit(128 + signal);  // not reached unless the signal is ignored
}

}  // namespace tesmic
