// Decoding the common image formats (JPEG, PNG, TIFF, WebP) through their
// own libraries, to exactly the pixels cv::imread gives, without OpenCV;
// and writing PNG as OpenCV's writer does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tesmic {

// Where a decoder puts the image it decodes; asked at most once, when the
// header has given the size (the size as shown: rows and cols swapped when
// the file asks for the image to be turned).
class PixelSink {
 public:
  virtual ~PixelSink() = default;
  // rows * cols * 3 bytes for the image as three 8-bit channels, BGR, rows
  // one after the other without padding; nullptr when an image of that
  // size does not fit in the memory the run may take. Must not throw: the
  // decoders hold the libraries' state, which only they can release.
  virtual std::uint8_t* pixels(int rows, int cols) = 0;
};

enum class DecodeOutcome {
  kDecoded,   // the sink holds the image
  kFailed,    // not decodable: what cv::imread returns empty for (a broken or refused file)
  kTooLarge,  // the sink refused the size, or the decoder's own buffers could not be allocated
  kNotMine,   // not JPEG, PNG, TIFF or WebP by its signature, or a variant this path does not
              // reproduce exactly: the caller hands the file to OpenCV's codecs
};

struct DecodeResult {
  DecodeOutcome outcome = DecodeOutcome::kFailed;
  // Decoded, but the pixels may be damaged: exactly when the program warns
  // today, judging what the decoder libraries write to standard error
  // (codec/decoder_messages.h). These decoders themselves write nothing.
  bool damaged = false;
};

// Decodes the whole file's bytes as cv::imread(name, cv::IMREAD_COLOR) of
// Debian's OpenCV 4.6 does, pixel for pixel, EXIF orientation applied, with
// OpenCV's default limits on the size (an image wider or taller than 2^20
// or larger than 2^30 pixels fails). Picks the format by the signature (as
// OpenCV does), never by a name. The variants left to OpenCV (kNotMine):
// every other format; a PNG with an eXIf chunk after its pixel data and
// none before (its orientation would be known only after the pixels, too
// late to size the sink); and any file while one of
// OpenCV's OPENCV_IO_MAX_IMAGE_* or OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE
// environment variables moves a limit. Never reads outside file; its own
// buffers come from malloc, and one that is refused ends in kTooLarge.
DecodeResult decodeImage(std::span<const std::uint8_t> file, PixelSink& sink);

// Writes an 8-bit image of 1 or 3 channels (BGR) as PNG to the open
// descriptor fd, with the settings OpenCV's PNG writer uses by default
// (byte for byte what cv::imencode(".png") gives); rowStep is the distance
// between rows in bytes. 0, or the errno of the failed write (ENOSPC,
// EFBIG, ...), or ENOMEM; EINVAL for an image it cannot write.
int encodePng(const std::uint8_t* pixels, int rows, int cols, int channels, std::size_t rowStep,
              int fd);

}  // namespace tesmic
