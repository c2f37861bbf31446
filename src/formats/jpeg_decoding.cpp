// JPEG as OpenCV's JpegDecoder reads it, through libjpeg-turbo's libjpeg
// API, the one OpenCV calls: TurboJPEG would hide what must match, the
// saved APP1 marker that holds EXIF, libjpeg's own CMYK and YCCK output
// and its warnings as the error manager emits them (only the first is
// printed, so only the first can count as damage). The source manager over
// memory behaves as OpenCV's over a file: a file cut short gets a warning
// and a fake end of image, and decodes on as grey.
//
// One difference that changes no pixel: colour images are decoded straight
// to BGR (JCS_EXT_BGR) where OpenCV asks for RGB and swaps the channels
// itself; libjpeg-turbo computes both with the same code.
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t

#include <jerror.h>
#include <jpeglib.h>

#include "formats/exif_reading.h"
#include "formats/format_decoders.h"
#include "formats/library_warnings.h"
#include "formats/oriented_image.h"

namespace tesmic {
namespace {

// Rows read at once: what libjpeg hands out in one call, about.
constexpr int kBatchRows = 16;
// The EXIF marker's data starts with "Exif\0\0", then the TIFF header.
constexpr unsigned kExifHeaderBytes = 6;

// What a decode keeps across libjpeg's jumps back on an error: nothing in
// a frame that an error leaves may need destroying.
struct JpegDecoding {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  bool outOfMemory = false;
  bool damaged = false;
  bool decoded = false;
};

JpegDecoding& decodingOf(j_common_ptr cinfo) {
  return *static_cast<JpegDecoding*>(cinfo->client_data);
}

[[noreturn]] void leave(j_common_ptr cinfo) {
  JpegDecoding& decoding = decodingOf(cinfo);
  if (cinfo->err->msg_code == JERR_OUT_OF_MEMORY) decoding.outOfMemory = true;
  std::longjmp(decoding.jump, 1);
}

// As libjpeg's own emit_message at trace level 0: the first warning is
// printed, later ones are only counted; trace messages never.
void warn(j_common_ptr cinfo, int level) {
  jpeg_error_mgr& errors = *cinfo->err;
  if (level >= 0) return;
  if (errors.num_warnings == 0) {
    char text[JMSG_LENGTH_MAX];
    errors.format_message(cinfo, text);
    JpegDecoding& decoding = decodingOf(cinfo);
    decoding.damaged = decoding.damaged || printedWarningIsDamage("", text);
  }
  ++errors.num_warnings;
}

void printNothing(j_common_ptr) {}

// OpenCV reads the first APP1 marker as EXIF, whatever it holds.
Orientation orientationOf(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker != nullptr; marker = marker->next) {
    if (marker->marker != JPEG_APP0 + 1) continue;
    if (marker->data_length <= kExifHeaderBytes) return {};
    const std::optional<std::uint16_t> tag = exifOrientationTag(
        {marker->data + kExifHeaderBytes, marker->data_length - kExifHeaderBytes});
    return exifOrientation(tag.value_or(1));
  }
  return {};
}

// OpenCV's conversion (icvCvt_CMYK2BGR_8u_C4C3R), which takes the inverted
// CMYK that Adobe's files hold.
void cmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, JDIMENSION width) {
  for (JDIMENSION i = 0; i < width; ++i, cmyk += 4, bgr += 3) {
    const int k = cmyk[3];
    bgr[2] = static_cast<std::uint8_t>(k - ((255 - cmyk[0]) * k >> 8));
    bgr[1] = static_cast<std::uint8_t>(k - ((255 - cmyk[1]) * k >> 8));
    bgr[0] = static_cast<std::uint8_t>(k - ((255 - cmyk[2]) * k >> 8));
  }
}

JSAMPLE* imageBuffer(j_decompress_ptr cinfo, std::size_t bytes) {
  return static_cast<JSAMPLE*>(
      cinfo->mem->alloc_large(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, bytes));
}

// From the header read on: may leave by libjpeg's jump at any call.
DecodeOutcome decodePixels(JpegDecoding& decoding, PixelSink& sink) {
  j_decompress_ptr cinfo = &decoding.cinfo;
  const JDIMENSION width = cinfo->output_width;
  const JDIMENSION height = cinfo->output_height;
  if (!withinReadLimits(width, height)) return DecodeOutcome::kFailed;
  const bool cmyk = cinfo->num_components == 4;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  cinfo->out_color_components = cmyk ? 4 : 3;
  const Orientation orientation = orientationOf(*cinfo);
  const int rows = static_cast<int>(height);
  const std::optional<OrientedImage> shown =
      OrientedImage::inSink(sink, rows, static_cast<int>(width), orientation);
  if (!shown) return DecodeOutcome::kTooLarge;
  const OrientedImage& image = *shown;

  jpeg_start_decompress(cinfo);
  const std::size_t bgrStep = std::size_t{width} * 3;
  JSAMPLE* const cmykBlock =
      cmyk ? imageBuffer(cinfo, kBatchRows * std::size_t{width} * 4) : nullptr;
  JSAMPLE* const bgrBlock = image.transposed() ? imageBuffer(cinfo, kBatchRows * bgrStep) : nullptr;
  for (int y = 0; y < rows;) {
    const int count = std::min(kBatchRows, rows - y);
    JSAMPROW bgr[kBatchRows];
    JSAMPROW read[kBatchRows];
    for (int i = 0; i < count; ++i) {
      bgr[i] = bgrBlock != nullptr ? bgrBlock + i * bgrStep : image.rowInPlace(y + i);
      read[i] = cmyk ? cmykBlock + i * std::size_t{width} * 4 : bgr[i];
    }
    for (int done = 0; done < count;) {
      const JDIMENSION got =
          jpeg_read_scanlines(cinfo, read + done, static_cast<JDIMENSION>(count - done));
      // Only a suspending source returns none; this one never suspends.
      if (got == 0) return DecodeOutcome::kFailed;
      done += static_cast<int>(got);
    }
    for (int i = 0; i < count; ++i) {
      if (cmyk) cmykToBgr(read[i], bgr[i], width);
      if (bgrBlock == nullptr) image.finishRowInPlace(y + i);
    }
    if (bgrBlock != nullptr) image.putRows(y, count, bgrBlock, bgrStep);
    y += count;
  }
  // OpenCV counts the image read before it finishes: an error after the
  // last row (in what follows the image) does not undo it.
  decoding.decoded = true;
  jpeg_finish_decompress(cinfo);
  return DecodeOutcome::kDecoded;
}

DecodeOutcome decodeGuarded(JpegDecoding& decoding, std::span<const std::uint8_t> file,
                            PixelSink& sink) {
  j_decompress_ptr cinfo = &decoding.cinfo;
  if (setjmp(decoding.jump) != 0) {
    if (decoding.decoded) return DecodeOutcome::kDecoded;
    return decoding.outOfMemory ? DecodeOutcome::kTooLarge : DecodeOutcome::kFailed;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xffff);
  jpeg_read_header(cinfo, TRUE);
  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  jpeg_calc_output_dimensions(cinfo);
  return decodePixels(decoding, sink);
}

}  // namespace

DecodeResult decodeJpeg(std::span<const std::uint8_t> file, PixelSink& sink) {
  JpegDecoding decoding;
  decoding.cinfo.err = jpeg_std_error(&decoding.errors);
  decoding.errors.error_exit = leave;
  decoding.errors.emit_message = warn;
  decoding.errors.output_message = printNothing;
  decoding.cinfo.client_data = &decoding;
  const DecodeOutcome outcome = decodeGuarded(decoding, file, sink);
  jpeg_destroy_decompress(&decoding.cinfo);
  return {outcome, outcome == DecodeOutcome::kDecoded && decoding.damaged};
}

}  // namespace tesmic
