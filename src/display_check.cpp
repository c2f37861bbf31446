#include "display_check.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(TESMIC_HAVE_X11)
#include <X11/Xlib.h>
#endif

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <opencv2/highgui/highgui_c.h>

#include "exit_codes.h"
#include "qt_platform.h"
#include "terminal_text.h"

namespace tesmic {
namespace {

constexpr auto kProbeTimeout = std::chrono::seconds(5);

// Runs probe in a child process and tells whether it reported success within
// the time. A child that crashes, aborts or hangs counts as a failure; one
// that hangs is killed.
template <typename Probe>
bool succeedsInChild(Probe probe) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return false;
  }
  if (pid == 0) {
    // What a failing toolkit prints is the parent's to explain.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    const char verdict = probe() ? 1 : 0;
    [[maybe_unused]] const ssize_t written = write(pipeFds[1], &verdict, 1);
    _exit(0);
  }
  close(pipeFds[1]);
  pollfd wait{pipeFds[0], POLLIN, 0};
  const int timeoutMs =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kProbeTimeout).count());
  int ready;
  do {
    ready = poll(&wait, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  char verdict = 0;
  const bool answered = ready > 0 && read(pipeFds[0], &verdict, 1) == 1;
  close(pipeFds[0]);
  if (!answered) kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return answered && verdict == 1;
}

// A platform may start without a screen (linuxfb without a framebuffer):
// only making a window tells. Qt aborts when it cannot.
bool qtStartsOn(const std::string& entry) {
  return succeedsInChild([&entry] {
    setenv("QT_QPA_PLATFORM", entry.c_str(), 1);
    cvNamedWindow("tesmic", CV_WINDOW_AUTOSIZE);
    return true;
  });
}

// Cheaper than starting Qt: one connection to the server that DISPLAY names.
bool xServerAnswers(const std::string& entry) {
#if defined(TESMIC_HAVE_X11)
  (void)entry;
  return succeedsInChild([] {
    Display* display = XOpenDisplay(nullptr);
    return display != nullptr;  // the child ends right after; no need to close
  });
#else
  return qtStartsOn(entry);
#endif
}

}  // namespace

DisplayCheck checkDisplay() {
  DisplayCheck last{DisplayStatus::kUnreachable, "xcb"};
  for (const QtPlatform& platform : qtPlatformCandidates(std::getenv("QT_QPA_PLATFORM"))) {
    last.platform = platform.name;
    switch (platform.kind) {
      case PlatformKind::kNoScreen:
        return {DisplayStatus::kNoScreen, platform.name};
      case PlatformKind::kX11:
        if (xServerAnswers(platform.entry)) return {DisplayStatus::kReady, platform.name};
        break;
      case PlatformKind::kOther:
        if (qtStartsOn(platform.entry)) return {DisplayStatus::kReady, platform.name};
        break;
    }
  }
  return last;
}

std::string noDisplayMessage(const DisplayCheck& check) {
  std::string reason;
  if (check.status == DisplayStatus::kNoScreen) {
    reason = "platforma Qt \"" + escapeControlCharacters(check.platform) +
             "\" nema obrazovku; zkontrolujte promennou QT_QPA_PLATFORM";
  } else if (check.platform == "xcb") {
    reason = "zkontrolujte promennou DISPLAY";
  } else {
    reason = "platformu Qt \"" + escapeControlCharacters(check.platform) +
             "\" nelze spustit; zkontrolujte promennou QT_QPA_PLATFORM";
  }
  return "Chyba: neni dostupny zadny displej, okna nelze otevrit (" + reason + ").";
}

}  // namespace tesmic
