// Which of the decoder libraries' warnings, as they print them to standard
// error, make the program call the pixels damaged: one rule for the light
// helper's decoders and for what OpenCV's print (codec/decoder_messages.h).
#pragma once

#include <string_view>

namespace tesmic {

// Whether one printed line (without its newline; its first 200 bytes
// judged) is damage: any line that is not empty, a libpng warning about an
// ancillary chunk ("libpng warning: tEXt: ..."), or libjpeg's about an ICC
// profile marker or a JFIF version.
bool isDamageLine(std::string_view line);

// Whether a warning printed as prefix, message and a newline holds a line
// of damage (isDamageLine).
bool printedWarningIsDamage(std::string_view prefix, std::string_view message);

}  // namespace tesmic
