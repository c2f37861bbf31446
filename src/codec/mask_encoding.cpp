#include "codec/mask_encoding.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <cerrno>
#include <optional>
#include <string>

#include "codec/codec_launch.h"
#include "platform/memory_budget.h"

namespace tesmic {
namespace {

// The image's rows, one after the other, in a memfd sealed against
// resizing; an errno value when it cannot be made.
int pixelsInMemfd(const cv::Mat& image, int& error) {
  const int fd = memfd_create("tesmic-image", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const std::size_t row = image.cols * image.elemSize();
  bool ok = ftruncate(fd, static_cast<off_t>(row * image.rows)) == 0;
  for (int y = 0; ok && y < image.rows; ++y) {
    ok = pwrite(fd, image.ptr(y), row, static_cast<off_t>(row * y)) ==
         static_cast<ssize_t>(row);
  }
  ok = ok && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0;
  if (!ok) {
    error = errno;  // ENOMEM, or EFBIG under a file-size limit
    close(fd);
    return -1;
  }
  return fd;
}

// What the helper's encoders make of an 8-bit one-channel image, by the
// extension that picks one.
enum class Encoder {
  kWrites,
  kRefusesOneChannel,   // PPM and PXM write three channels only
  kNeedsAFileName,      // these open a file of their own: the helper dies
  kNone,
};

Encoder encoderFor(std::string_view extension) {
  std::string lower(extension);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto among = [&lower](std::initializer_list<const char*> names) {
    return std::find(names.begin(), names.end(), lower) != names.end();
  };
  if (among({".png", ".tif", ".tiff", ".bmp", ".dib", ".pbm", ".pgm", ".pnm", ".pam", ".jpg",
             ".jpeg", ".jpe", ".webp"})) {
    return Encoder::kWrites;
  }
  if (among({".ppm", ".pxm"})) return Encoder::kRefusesOneChannel;
  if (among({".pfm", ".jp2", ".j2k", ".ras", ".sr", ".hdr", ".pic", ".exr"})) {
    return Encoder::kNeedsAFileName;
  }
  return Encoder::kNone;
}

}  // namespace

int encodeIntoFile(int file, const cv::Mat& image, std::string_view extension) {
  if (image.empty() || image.dims != 2 || encoderFor(extension) == Encoder::kNeedsAFileName) {
    return EINVAL;
  }
  int error = 0;
  const int pixels = pixelsInMemfd(image, error);
  if (pixels < 0) return error;
  std::optional<CodecHelper> helper = startCodecHelper(
      {kEncodeRole, std::string(extension), std::to_string(image.rows),
       std::to_string(image.cols), std::to_string(image.type()),
       std::to_string(memoryHeadroom(readMemoryReadings()))},
      {pixels, file});
  close(pixels);
  if (!helper) return ECHILD;
  DecoderMessages ignored;
  const CodecEnd end = finishCodecHelper(*helper, ignored);
  if (end.attached >= 0) close(end.attached);
  if (!end.report) return ECHILD;
  switch (end.report->outcome) {
    case CodecOutcome::kDone:
      return 0;
    case CodecOutcome::kTooLarge:
      return ENOMEM;
    case CodecOutcome::kNotConfined:
      return ECHILD;
    case CodecOutcome::kFailed:
      break;
  }
  return end.report->error != 0 ? end.report->error : EINVAL;
}

MaskFormat maskFormatOf(std::string_view extension) {
  switch (encoderFor(extension)) {
    case Encoder::kWrites:
      return MaskFormat::kWritable;
    case Encoder::kRefusesOneChannel:
    case Encoder::kNeedsAFileName:
      return MaskFormat::kNotInConfinement;
    case Encoder::kNone:
      break;
  }
  return MaskFormat::kUnknown;
}

}  // namespace tesmic
