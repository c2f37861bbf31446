// Reading the image a run works on, in a confined helper process
// (tesmic-codec) that alone runs the decoders, while the run goes on.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

#include "codec/codec_session.h"

namespace tesmic {

struct LoadedImage {
  // Three 8-bit channels, BGR, whatever the file holds (see toBgr8), in
  // memory shared with the helper; empty when the run cannot go on.
  cv::Mat image;
  int exitCode = 0;     // exit_codes.h: kExitOk when image holds the pixels
  std::string failure;  // the one Czech line that says why not
};

// Opens imageName and hands it to the codec helpers; loaded() waits for
// the image. The helper confines itself before it parses a byte
// (codec_service.h), under the memory that the run may still take: an image
// whose run would not fit is refused from its header, and a decoder whose
// buffers would not fit fails; both mean exit 3. So does a decode that uses
// up its CPU time, pixels beyond the limit on file sizes, and a helper that
// cannot be started or confined. Not a regular file after following links
// (a folder, a FIFO, a device), unreadable, not a format OpenCV reads,
// rejected by the decoder, or a decoder that crashes or breaks the
// confinement: exit 1.
class ImageDecoding {
 public:
  ImageDecoding(CodecSession& codecs, const std::string& imageName);
  ImageDecoding(const ImageDecoding&) = delete;
  ImageDecoding& operator=(const ImageDecoding&) = delete;

  // Whether the helpers are decoding; false when the outcome was known at
  // once (no such file, say).
  bool running() const { return codecs_.decoding(); }

  // Waits for the helper. Where the decoders complained about the pixels of
  // an image that still loaded (a JPEG cut off), prints one Czech warning;
  // complaints about metadata (decoder_messages.h) are not damage.
  LoadedImage loaded();

 private:
  CodecSession& codecs_;
  std::string imageName_;
  LoadedImage early_;  // the outcome when the file went to no helper
};

}  // namespace tesmic
