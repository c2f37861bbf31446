#include "run/image_loading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <utility>

#include <opencv2/core.hpp>

#include "platform/exit_codes.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

LoadedImage failure(int exitCode, std::string line) {
  return {cv::Mat(), exitCode, std::move(line)};
}

LoadedImage unreadable(const std::string& imageName) {
  return failure(kExitImageUnreadable, "Chyba: obrazek " + quotedName(imageName) + " nelze nacist.");
}

LoadedImage outOfMemory() {
  return failure(kExitRunFailed, "Chyba: nedostatek pameti pro obrazek.");
}

// What the helper's end says, when it ended without a report.
LoadedImage fromDeath(int status, const std::string& imageName) {
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    return failure(kExitRunFailed,
                   "Chyba: nacitani obrazku " + quotedName(imageName) + " prekrocilo casovy limit.");
  }
  // The kernel's OOM killer.
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return outOfMemory();
  // A crash, an abort, or a system call the filter refused.
  return unreadable(imageName);
}

LoadedImage fromReport(const CodecReport& report, cv::Mat image, const std::string& imageName) {
  switch (report.outcome) {
    case CodecOutcome::kDone:
      if (image.empty()) return outOfMemory();
      return {std::move(image), kExitOk, {}};
    case CodecOutcome::kTooLarge:
      return outOfMemory();
    case CodecOutcome::kNotConfined:
      return failure(kExitRunFailed,
                     "Chyba: dekoder obrazku nelze izolovat, jadro odmitlo seccomp, Landlock nebo "
                     "omezeni zdroju.");
    case CodecOutcome::kFileSizeLimit:
      return failure(kExitRunFailed,
                     "Chyba: obrazek " + quotedName(imageName) +
                         " se nevejde do limitu velikosti souboru (ulimit -f), ktery jeho "
                         "pixely v pameti sdilene s dekoderem nesmi prekrocit.");
    case CodecOutcome::kFailed:
    case CodecOutcome::kNotMine:
      break;
  }
  return unreadable(imageName);
}

// The image, open for reading, when it is a regular file: a FIFO is not
// opened at all (it would block), a device not read.
int openImage(const std::string& imageName) {
  struct stat status {};
  if (stat(imageName.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  const int file = open(imageName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file >= 0 && (fstat(file, &status) != 0 || !S_ISREG(status.st_mode))) {
    close(file);
    return -1;
  }
  return file;
}

}  // namespace

ImageDecoding::ImageDecoding(CodecSession& codecs, const std::string& imageName)
    : codecs_(codecs), imageName_(imageName), early_(unreadable(imageName)) {
  if (const int file = openImage(imageName); file >= 0) codecs_.startDecoding(file);
}

LoadedImage ImageDecoding::loaded() {
  if (!running()) return early_;
  DecodeEnd end = codecs_.awaitDecoded();
  LoadedImage loaded;
  if (!end.helperFailure.empty()) {
    loaded = failure(kExitRunFailed, "Chyba: detekce selhala: " + end.helperFailure + ".");
  } else if (!end.report) {
    loaded = fromDeath(end.status, imageName_);
  } else {
    loaded = fromReport(*end.report, std::move(end.image), imageName_);
  }
  if (!loaded.image.empty() && end.damaged) {
    std::fprintf(stderr,
                 "Varovani: obrazek %s je zrejme poskozeny, zobrazi se, co se z nej podarilo "
                 "nacist.\n",
                 quotedName(imageName_).c_str());
  }
  return loaded;
}

}  // namespace tesmic
