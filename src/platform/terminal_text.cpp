#include "platform/terminal_text.h"

#include <cstddef>
#include <cstdint>

namespace tesmic {
namespace {

void appendEscaped(std::string& out, std::uint8_t byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

// None for a control, a stray or overlong byte, a surrogate, a value beyond
// U+10FFFF.
std::size_t printableSequenceLength(std::string_view s) {
  if (s.empty()) return 0;
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = at(0);
  if (lead >= 0x20 && lead < 0x7F) return 1;
  std::size_t length = 0;
  std::uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (at(i) & 0x3F);
  }
  const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF) return 0;
  if (value >= 0xD800 && value <= 0xDFFF) return 0;
  if (value >= 0x80 && value <= 0x9F) return 0;  // C1 controls
  return length;
}

std::string escapeControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = printableSequenceLength(text);
    if (length == 0) {
      appendEscaped(out, static_cast<std::uint8_t>(text[0]));
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

std::string quotedName(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(escapeControlCharacters(text)).push_back('"');
  return quoted;
}

}  // namespace tesmic
