// Text from outside the program (file names) made safe to print.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tesmic {

// The text with every byte that a terminal could take as a command shown
// as \xNN (lower-case hex) instead: the C0 controls (escape among them),
// DEL, the C1 controls encoded in UTF-8, and bytes that are not part of
// valid UTF-8 (a terminal in an 8-bit mode reads 0x9b as a control).
// Printable UTF-8, Czech letters included, passes unchanged.
std::string escapeControlCharacters(std::string_view text);

// The text escaped so, in double quotes, as the program's messages name a
// file: "NAME".
std::string quotedName(std::string_view text);

// The length of the well-formed UTF-8 sequence of one printable character
// at the start of text, or 0 when it starts with a byte that
// escapeControlCharacters escapes (or is empty).
std::size_t printableSequenceLength(std::string_view text);

}  // namespace tesmic
