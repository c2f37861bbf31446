// Writing an image into a file through the confined helper, so that the
// program itself never runs an encoder.
#pragma once

#include <string_view>

#include <opencv2/core/mat.hpp>

namespace tesmic {

// Encodes image in the format that extension names (with its dot, any case:
// ".png", ".TIF") into file, an open, empty, writable regular file that the
// caller made: tesmic-codec encodes under the same confinement as decoding
// and writes to that descriptor, opening no file itself. 0 when the image
// was written whole, else an errno value saying why not: the write's own
// (ENOSPC, EFBIG, EDQUOT, EIO...), ENOMEM (too large for the memory), EINVAL
// (the encoder refused the image or the extension), ECHILD (the helper
// could not be started, could not confine itself, or died). The caller
// syncs, names and removes the file.
int encodeIntoFile(int file, const cv::Mat& image, std::string_view extension);

enum class MaskFormat {
  kWritable,          // an 8-bit one-channel image is written as it is
  kNotInConfinement,  // known to the encoders, but not writable this way
  kUnknown,           // no encoder takes this extension
};

// Whether encodeIntoFile writes an 8-bit one-channel image (a mask) in the
// format that extension names (with its dot, any case), from a table of what
// the helper's encoders do, without a trial encode: PNG, TIFF, BMP, the PNM
// family but PPM, JPEG and WebP are written; PPM and PXM do not take one
// channel, and PFM, JPEG 2000, Sun raster, Radiance HDR and OpenEXR are
// written only through a file name, which the confinement forbids.
MaskFormat maskFormatOf(std::string_view extension);

}  // namespace tesmic
