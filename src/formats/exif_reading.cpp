#include "formats/exif_reading.h"

namespace tesmic {
namespace {

// Tags whose values OpenCV reads, and so the entries that can end the
// reading when their values lie outside the data.
enum ExifTag : std::uint16_t {
  kImageDescription = 0x010E,
  kMake = 0x010F,
  kModel = 0x0110,
  kOrientation = 0x0112,
  kXResolution = 0x011A,
  kYResolution = 0x011B,
  kResolutionUnit = 0x0128,
  kSoftware = 0x0131,
  kDateTime = 0x0132,
  kWhitePoint = 0x013E,
  kPrimaryChromaticities = 0x013F,
  kYCbCrCoefficients = 0x0211,
  kYCbCrPositioning = 0x0213,
  kReferenceBlackWhite = 0x0214,
  kCopyright = 0x8298,
};

constexpr std::uint16_t kTiffMark = 0x2A;
constexpr std::uint32_t kEntryBytes = 12;
constexpr std::size_t kValueOffset = 8;   // of an entry's value or its offset
constexpr std::size_t kInlineString = 4;  // longer strings lie elsewhere
constexpr std::uint32_t kRationalBytes = 8;

class ExifData {
 public:
  explicit ExifData(std::span<const std::uint8_t> data)
      : data_(data), intel_(data.size() > 1 ? data[0] == 'I' && data[1] == 'I' : false) {}

  bool failed() const { return failed_; }

  std::uint16_t u16(std::size_t offset) {
    if (failed_ || offset + 1 >= data_.size()) return fail();
    const unsigned a = data_[offset], b = data_[offset + 1];
    return static_cast<std::uint16_t>(intel_ ? a | b << 8 : a << 8 | b);
  }

  std::uint32_t u32(std::size_t offset) {
    if (failed_ || offset + 3 >= data_.size()) return fail();
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const std::uint32_t byte = data_[offset + static_cast<std::size_t>(intel_ ? 3 - i : i)];
      value = value << 8 | byte;
    }
    return value;
  }

  // A string entry's value: only checked to lie within the data. A short
  // one is taken from offset 8 of the data itself, as OpenCV takes it.
  void string(std::size_t entry) {
    const std::size_t size = u32(entry + 4);
    const std::size_t at = size > kInlineString ? u32(entry + kValueOffset) : kValueOffset;
    if (at > data_.size() || at + size > data_.size()) fail();
  }

  // count rationals at the offset an entry holds; the offset steps in 32
  // bits, wrapping as OpenCV's does.
  void rationals(std::size_t entry, int count) {
    std::uint32_t at = u32(entry + kValueOffset);
    for (int i = 0; i < count && !failed_; ++i, at += kRationalBytes) {
      u32(at);
      u32(static_cast<std::size_t>(at) + 4);
    }
  }

 private:
  std::uint16_t fail() {
    failed_ = true;
    return 0;
  }

  std::span<const std::uint8_t> data_;
  bool intel_;
  bool failed_ = false;
};

}  // namespace

std::optional<std::uint16_t> exifOrientationTag(std::span<const std::uint8_t> exif) {
  ExifData data(exif);
  if (data.u16(2) != kTiffMark || data.failed()) return std::nullopt;
  std::uint32_t offset = data.u32(4);
  const std::uint16_t entries = data.u16(offset);
  offset += 2;
  std::optional<std::uint16_t> orientation;
  for (std::uint16_t i = 0; i < entries && !data.failed(); ++i, offset += kEntryBytes) {
    const std::uint16_t tag = data.u16(offset);
    switch (tag) {
      case kImageDescription:
      case kMake:
      case kModel:
      case kSoftware:
      case kDateTime:
      case kCopyright:
        data.string(offset);
        break;
      case kOrientation: {
        const std::uint16_t value = data.u16(offset + kValueOffset);
        if (!data.failed() && !orientation) orientation = value;
        break;
      }
      case kResolutionUnit:
      case kYCbCrPositioning:
        data.u16(offset + kValueOffset);
        break;
      case kXResolution:
      case kYResolution:
        data.rationals(offset, 1);
        break;
      case kWhitePoint:
        data.rationals(offset, 2);
        break;
      case kYCbCrCoefficients:
        data.rationals(offset, 3);
        break;
      case kPrimaryChromaticities:
      case kReferenceBlackWhite:
        data.rationals(offset, 6);
        break;
      default:
        break;
    }
  }
  return orientation;
}

}  // namespace tesmic
