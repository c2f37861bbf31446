// The run's codec helpers, from the program's side: one light helper
// started first thing in a run, which decodes the image and then sleeps
// until a mask is to be written; the OpenCV helper only for a file or a
// mask format the light one leaves to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "codec/codec_process.h"

namespace tesmic {

// How a decode ended.
struct DecodeEnd {
  // The helper's answer; nothing when it died first (status) or no helper
  // could be started (helperFailure).
  std::optional<CodecReport> report;
  cv::Mat image;         // on kDone: CV_8UC3, in memory shared with the helper
  bool damaged = false;  // the decoders reported damage to the pixels
  int status = 0;        // how the helper ended, when it died (waitpid)
  std::string helperFailure;  // Czech, why no helper could be started
};

class CodecSession {
 public:
  // Starts the light helper, so that it loads its libraries while the
  // program goes on; failing to start it shows at the first request.
  CodecSession();
  ~CodecSession();
  CodecSession(const CodecSession&) = delete;
  CodecSession& operator=(const CodecSession&) = delete;

  // Hands the open file (a regular one; the session closes it) to the
  // light helper and returns at once; awaitDecoded() waits for the image.
  void startDecoding(int file);
  bool decoding() const { return file_ >= 0; }

  // Waits for the decode started; a file the light helper leaves to OpenCV
  // (kNotMine) goes to the OpenCV helper. Decoded pixels the decoders
  // complained about carry damaged.
  DecodeEnd awaitDecoded();

  // Writes a mask (CV_8UC1) into file, an open, empty, writable regular
  // file, in the format the extension names (".png": the light helper; any
  // other that maskFormatOf() takes: the OpenCV helper). 0 when written
  // whole, else an errno value saying why: the write's own (ENOSPC, EFBIG,
  // EDQUOT, EIO...), ENOMEM (too large for the memory), EINVAL (the encoder
  // refused the image or the extension), ECHILD (no helper, or it died).
  // The caller syncs, names and removes the file.
  int encode(int file, const cv::Mat& mask, std::string_view extension);

 private:
  // The helper of this name, started when not running; null when it
  // cannot be started (why says why, in Czech).
  CodecProcess* helper(std::optional<CodecProcess>& slot, const char* name, std::string& why);
  // Sends the decode when not sent yet, and waits for its end.
  DecodeEnd decodeIn(std::optional<CodecProcess>& slot, const char* name, bool sent);

  std::optional<CodecProcess> light_;
  std::optional<CodecProcess> openCv_;
  int file_ = -1;  // the image being decoded
  bool sentToLight_ = false;
};

}  // namespace tesmic
