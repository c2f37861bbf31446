#include "platform/process_setup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <csignal>
#include <cstdlib>

namespace tesmic {

namespace {

// With one of descriptors 0, 1 and 2 closed, the next file or connection
// opened would take its number, and the text meant for standard error would
// go into it (the X connection, say).
void reopenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    // open() returns the lowest free number, which is fd itself.
    const int opened = open("/dev/null", O_RDWR);
    if (opened > 2) close(opened);
  }
}

}  // namespace

void prepareProcess() {
  reopenClosedStandardStreams();
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit (ulimit -f) then fails the write, to be reported,
  // rather than kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  setenv("QT_LOGGING_RULES", "*=false", /*overwrite=*/0);
  // Start-up time (a value the user set wins). The windows draw without
  // OpenGL, yet Qt's xcb plugin loads the GL driver (Mesa, LLVM) unless no GL
  // integration is asked for: about 50 ms. OpenCV looks for GTK plugins
  // before its built-in Qt windows, stat()ing every file in its library
  // folder once per GTK version: 10-25 ms. The tool uses Qt's windows only.
  setenv("QT_XCB_GL_INTEGRATION", "none", /*overwrite=*/0);
  setenv("OPENCV_UI_BACKEND", "QT", /*overwrite=*/0);
}

namespace {

// The descriptors open, the one that counts them excepted.
int openDescriptors() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return 3;  // /proc is missing: the standard streams
  int count = 0;
  while (const dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
  closedir(folder);
  return count - 1;
}

}  // namespace

int freeDescriptors() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return kDescriptorsNeeded;
  }
  const int open = openDescriptors();
  const rlim_t wanted = static_cast<rlim_t>(open + kDescriptorsNeeded);
  if (limit.rlim_cur < wanted && limit.rlim_max > limit.rlim_cur) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  const auto available = static_cast<long long>(limit.rlim_cur) - open;
  return static_cast<int>(std::clamp<long long>(available, 0, kDescriptorsNeeded));
}

namespace {

#if defined(__linux__)
// Functions in the program's .preinit_array run before the initialisers of
// the shared libraries, which may already open files or connections.
void reopenBeforeLibraries(int, char**, char**) { reopenClosedStandardStreams(); }

[[gnu::used, gnu::section(".preinit_array")]] void (*const kReopenEarly)(int, char**, char**) =
    reopenBeforeLibraries;
#endif

}  // namespace
}  // namespace tesmic
