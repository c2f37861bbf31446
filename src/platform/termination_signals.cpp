#include "platform/termination_signals.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tesmic {
namespace {

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the handler reads. A handler may only use what is async-signal-safe,
// so this is the process's one place for it: atomics and a fixed buffer.
struct HandlerState {
  std::atomic<int> pipe{-1};  // the writing end while deferred, else -1
  std::atomic<int> folder{-1};  // with name: the file to remove, else -1
  char name[NAME_MAX + 1] = {};
};
HandlerState state;

void onSignal(int signal) {
  const int saved = errno;
  if (const int fd = state.pipe.load(); fd >= 0) {
    // Non-blocking: a full pipe drops the byte; one is enough.
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
    errno = saved;
    return;
  }
  TerminationSignals::removeFileNow();
  endBySignal(signal);
}

sigset_t caughtSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kCaught) sigaddset(&set, signal);
  return set;
}

}  // namespace

TerminationSignals::TerminationSignals() {
  if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_mask = caughtSet();  // one handler at a time
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 4; ++i) {
    sigaction(kCaught[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler != SIG_IGN) sigaction(kCaught[i], &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  for (int i = 0; i < 4; ++i) sigaction(kCaught[i], &previous_[i], nullptr);
  state.pipe.store(-1);
  state.folder.store(-1);
  if (fds_[0] >= 0) {
    close(fds_[0]);
    close(fds_[1]);
  }
}

void TerminationSignals::deferToEventLoop(bool defer) {
  // Without a pipe every signal ends the process at once.
  state.pipe.store(defer ? fds_[1] : -1);
}

void TerminationSignals::removeOnSignal(int folder, const char* name) {
  state.folder.store(-1);
  std::strncpy(state.name, name, NAME_MAX);
  state.name[NAME_MAX] = '\0';
  state.folder.store(folder);
}

void TerminationSignals::keepOnSignal() { state.folder.store(-1); }

void TerminationSignals::removeFileNow() {
  if (const int folder = state.folder.exchange(-1); folder >= 0) unlinkat(folder, state.name, 0);
}

int TerminationSignals::takeSignal() const {
  unsigned char number = 0;
  if (fds_[0] < 0 || read(fds_[0], &number, 1) != 1) return 0;
  return number;
}

TerminationSignalsBlocked::TerminationSignalsBlocked() {
  const sigset_t caught = caughtSet();
  pthread_sigmask(SIG_BLOCK, &caught, &previous_);
}

TerminationSignalsBlocked::~TerminationSignalsBlocked() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void endBySignal(int signal) {
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  sigaction(signal, &defaults, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached unless the signal is ignored
}

}  // namespace tesmic
