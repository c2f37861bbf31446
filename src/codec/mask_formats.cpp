#include "codec/mask_formats.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>

namespace tesmic {
namespace {

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
