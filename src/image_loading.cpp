#include "image_loading.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include <opencv2/core.hpp>

#include "codec_protocol.h"
#include "decoder_messages.h"
#include "exit_codes.h"
#include "memory_budget.h"
#include "shared_pixels.h"
#include "terminal_text.h"

extern char** environ;

namespace tesmic {
namespace {

namespace fs = std::filesystem;

// Installed, the helper lies in TESMIC_CODEC_DIR beside the program's bin/;
// in the build tree, beside the program.
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

// Above 2, so that the helper's descriptors can be placed by number.
int movedAboveStandardStreams(int fd) {
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kReportDescriptor + 1);
  close(fd);
  return moved;
}

LoadedImage failure(int exitCode, std::string line) {
  return {cv::Mat(), exitCode, std::move(line)};
}

LoadedImage unreadable(const std::string& imageName) {
  return failure(kExitImageUnreadable, "Chyba: obrazek \"" + escapeControlCharacters(imageName) +
                                           "\" nelze nacist.");
}

LoadedImage outOfMemory() {
  return failure(kExitRunFailed, "Chyba: nedostatek pameti pro obrazek.");
}

// What the helper's end says, when it ended without a report.
LoadedImage fromDeath(int status, const std::string& imageName) {
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    return failure(kExitRunFailed, "Chyba: nacitani obrazku \"" +
                                       escapeControlCharacters(imageName) +
                                       "\" prekrocilo casovy limit.");
  }
  // The kernel's OOM killer.
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return outOfMemory();
  // A crash, an abort, or a system call the filter refused.
  return unreadable(imageName);
}

}  // namespace

ImageDecoding::ImageDecoding(const std::string& imageName) : imageName_(imageName) {
  early_ = unreadable(imageName);
  std::error_code error;
  if (!fs::is_regular_file(imageName, error)) return;
  const std::optional<fs::path> helper = findCodecHelper();
  if (!helper) {
    early_ = failure(kExitRunFailed, std::string("Chyba: detekce selhala: chybi pomocny program ") +
                                         kCodecHelperName + ".");
    return;
  }
  int sockets[2];
  int pipeFds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    early_ = failure(kExitRunFailed, "Chyba: detekce selhala: nelze spustit dekoder obrazku.");
    return;
  }
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    close(sockets[0]);
    close(sockets[1]);
    early_ = failure(kExitRunFailed, "Chyba: detekce selhala: nelze spustit dekoder obrazku.");
    return;
  }
  const int childReport = movedAboveStandardStreams(sockets[1]);
  const int childMessages = movedAboveStandardStreams(pipeFds[1]);
  report_ = sockets[0];
  messages_ = pipeFds[0];

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, childMessages, STDERR_FILENO);
  posix_spawn_file_actions_adddup2(&actions, childReport, kReportDescriptor);
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

  const std::string headroom = std::to_string(memoryHeadroom(readMemoryReadings()));
  std::vector<char*> argv = {const_cast<char*>(helper->c_str()),
                             const_cast<char*>(kDecodeRole),
                             const_cast<char*>(imageName.c_str()),
                             const_cast<char*>(headroom.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, helper->c_str(), &actions, &attributes, argv.data(), environ) != 0) {
    pid = -1;
    early_ = failure(kExitRunFailed, "Chyba: detekce selhala: nelze spustit dekoder obrazku.");
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(childReport);
  close(childMessages);
  helper_ = pid;
}

ImageDecoding::~ImageDecoding() {
  if (helper_ > 0) {
    kill(helper_, SIGKILL);
    while (waitpid(helper_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (report_ >= 0) close(report_);
  if (messages_ >= 0) close(messages_);
}

LoadedImage ImageDecoding::loaded() {
  if (helper_ <= 0) return early_;
  std::optional<DecodeReport> report;
  int pixels = -1;
  DecoderMessages messages;
  // Until both the report socket and standard error have ended: the helper
  // writes its messages while it decodes, and must never block on a full
  // pipe.
  while (report_ >= 0 || messages_ >= 0) {
    std::array<pollfd, 2> waiting{pollfd{report_, POLLIN, 0}, pollfd{messages_, POLLIN, 0}};
    if (poll(waiting.data(), waiting.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (report_ >= 0 && waiting[0].revents != 0) {
      if (!report) report = receiveDecodeReport(report_, pixels);
      close(report_);
      report_ = -1;
    }
    if (messages_ >= 0 && waiting[1].revents != 0) {
      char text[4096];
      const ssize_t n = read(messages_, text, sizeof text);
      if (n > 0) {
        messages.read(std::string_view(text, static_cast<std::size_t>(n)));
      } else if (n == 0 || errno != EINTR) {
        close(messages_);
        messages_ = -1;
      }
    }
  }
  int status = 0;
  while (waitpid(helper_, &status, 0) < 0 && errno == EINTR) {
  }
  helper_ = -1;

  LoadedImage loaded;
  if (!report) {
    loaded = fromDeath(status, imageName_);
  } else if (report->outcome == DecodeOutcome::kDecoded && pixels >= 0 &&
             report->type == CV_8UC3) {
    loaded.image = mapSharedPixels(pixels, report->rows, report->cols, report->type);
    if (loaded.image.empty()) loaded = outOfMemory();
  } else if (report->outcome == DecodeOutcome::kTooLarge) {
    loaded = outOfMemory();
  } else if (report->outcome == DecodeOutcome::kNotConfined) {
    loaded = failure(kExitRunFailed,
                     "Chyba: dekoder obrazku nelze izolovat, jadro odmitlo seccomp, "
                     "Landlock nebo omezeni zdroju.");
  } else {
    loaded = unreadable(imageName_);
  }
  if (pixels >= 0) close(pixels);
  if (!loaded.image.empty() && messages.damage()) {
    std::fprintf(stderr,
                 "Varovani: obrazek \"%s\" je zrejme poskozeny, zobrazi se, co se z nej "
                 "podarilo nacist.\n",
                 escapeControlCharacters(imageName_).c_str());
  }
  return loaded;
}

}  // namespace tesmic
