#include "run/image_loading.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include <opencv2/core.hpp>

#include "codec/codec_protocol.h"
#include "codec/decoder_messages.h"
#include "platform/exit_codes.h"
#include "platform/memory_budget.h"
#include "codec/shared_pixels.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

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
  if (!std::filesystem::is_regular_file(imageName, error)) return;
  const std::optional<CodecHelper> helper = startCodecHelper(
      {kDecodeRole, imageName, std::to_string(memoryHeadroom(readMemoryReadings()))});
  if (!helper) {
    early_ = failure(kExitRunFailed, std::string("Chyba: detekce selhala: nelze spustit ") +
                                         kCodecHelperName + ".");
    return;
  }
  helper_ = *helper;
}

ImageDecoding::~ImageDecoding() { stopCodecHelper(helper_); }

LoadedImage ImageDecoding::loaded() {
  if (!running()) return early_;
  DecoderMessages messages;
  const CodecEnd end = finishCodecHelper(helper_, messages);
  const std::optional<CodecReport>& report = end.report;
  LoadedImage loaded;
  if (!report) {
    loaded = fromDeath(end.status, imageName_);
  } else if (report->outcome == CodecOutcome::kDone && end.attached >= 0 &&
             report->type == CV_8UC3) {
    loaded.image = mapSharedPixels(end.attached, report->rows, report->cols, report->type);
    if (loaded.image.empty()) loaded = outOfMemory();
  } else if (report->outcome == CodecOutcome::kTooLarge) {
    loaded = outOfMemory();
  } else if (report->outcome == CodecOutcome::kNotConfined) {
    loaded = failure(kExitRunFailed,
                     "Chyba: dekoder obrazku nelze izolovat, jadro odmitlo seccomp, "
                     "Landlock nebo omezeni zdroju.");
  } else {
    loaded = unreadable(imageName_);
  }
  if (end.attached >= 0) close(end.attached);
  if (!loaded.image.empty() && messages.damage()) {
    std::fprintf(stderr,
                 "Varovani: obrazek \"%s\" je zrejme poskozeny, zobrazi se, co se z nej "
                 "podarilo nacist.\n",
                 escapeControlCharacters(imageName_).c_str());
  }
  return loaded;
}

}  // namespace tesmic
