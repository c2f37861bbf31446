// Which formats a mask can be kept in: what the codec helpers' encoders
// write, known from a table rather than from a trial encode.
#pragma once

#include <string_view>

namespace tesmic {

enum class MaskFormat {
  kWritable,          // an 8-bit one-channel image is written as it is
  kNotInConfinement,  // known to the encoders, but not writable this way
  kUnknown,           // no encoder takes this extension
};

// Whether the codec helpers (CodecSession::encode) write an 8-bit one-channel image (a mask) in the
// format that extension names (with its dot, any case), from a table of what
// the helper's encoders do, without a trial encode: PNG, TIFF, BMP, the PNM
// family but PPM, JPEG and WebP are written; PPM and PXM do not take one
// channel, and PFM, JPEG 2000, Sun raster, Radiance HDR and OpenEXR are
// written only through a file name, which the confinement forbids.
MaskFormat maskFormatOf(std::string_view extension);

}  // namespace tesmic
