#include "display/display_probe.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <opencv2/highgui/highgui_c.h>

namespace tesmic {
namespace {

// The probe's argv[0]: no name a user would give the program.
constexpr char kProbeRole[] = "tesmic display probe";
constexpr auto kProbeTimeout = std::chrono::seconds(5);
constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Whether the child ends with exit code 0 within the time; one that does
// not is killed.
bool succeedsWithin(pid_t pid, std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ended < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return false;
}

}  // namespace

bool qtStartsInProbe(const std::string& platformEntry) {
  // Everything the child needs is made before fork(): between fork() and
  // exec() a process with threads may only make system calls.
  const char* const argv[] = {kProbeRole, platformEntry.c_str(), nullptr};
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // What a failing toolkit prints is the parent's to explain.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(127);
  }
  return succeedsWithin(pid, kProbeTimeout);
}

void runDisplayProbeIfAsked(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[0], kProbeRole) != 0) return;
  // A platform that cannot start aborts: no core file, no debugger, no
  // crash report for it (the core limit is 0 already).
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // A platform may start without a screen (linuxfb without a framebuffer):
  // only making a window tells.
  setenv("QT_QPA_PLATFORM", argv[1], 1);
  cvNamedWindow("tesmic", CV_WINDOW_AUTOSIZE);
  _exit(0);
}

}  // namespace tesmic
