#include "codec/decoder_messages.h"

#include <cctype>

namespace tesmic {
namespace {

// Enough of a line to know what it is about; the rest of a long one (a
// hostile file can make messages of any length) is dropped.
constexpr std::size_t kLineStart = 200;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "libpng warning: iCCP: known incorrect sRGB profile", "libpng warning:
// tEXt: CRC error": a chunk name is four letters, ancillary when the first
// is lower case.
bool aboutAncillaryPngChunk(std::string_view line) {
  constexpr std::string_view kPrefix = "libpng warning: ";
  if (!startsWith(line, kPrefix)) return false;
  const std::string_view rest = line.substr(kPrefix.size());
  if (rest.size() < 5 || rest[4] != ':') return false;
  for (const char c : rest.substr(0, 4)) {
    if (std::isalpha(static_cast<unsigned char>(c)) == 0) return false;
  }
  return std::islower(static_cast<unsigned char>(rest[0])) != 0;
}

}  // namespace

bool isDamageMessage(std::string_view line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
    line.remove_suffix(1);
  }
  if (line.empty()) return false;
  if (aboutAncillaryPngChunk(line)) return false;
  return !startsWith(line, "Corrupt JPEG data: bad ICC marker") &&
         !startsWith(line, "Warning: unknown JFIF revision number");
}

void DecoderMessages::read(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view piece = text.substr(0, end);
    if (line_.size() < kLineStart) {
      line_.append(piece.substr(0, kLineStart - line_.size()));
    }
    if (end == std::string_view::npos) return;
    damage_ = damage_ || isDamageMessage(line_);
    line_.clear();
    text.remove_prefix(end + 1);
  }
}

bool DecoderMessages::damage() const { return damage_ || isDamageMessage(line_); }

}  // namespace tesmic
