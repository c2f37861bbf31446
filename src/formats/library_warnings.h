// Whether a warning of libjpeg or libpng, as the library would print it to
// standard error, makes the program call the pixels damaged.
#pragma once

#include <string_view>

namespace tesmic {

// The text printed is prefix, message and a newline. Judged line by line
// by the program's rule (codec/decoder_messages.h, which reads the text
// OpenCV's decoders print): each line is damage unless it is empty, a
// libpng warning about an ancillary chunk ("libpng warning: tEXt: ..."),
// or libjpeg's about an ICC profile marker or a JFIF version.
bool printedWarningIsDamage(std::string_view prefix, std::string_view message);

}  // namespace tesmic
