#include "codec/decoder_messages.h"

#include "formats/library_warnings.h"

namespace tesmic {
namespace {

// Enough of a line to know what it is about; the rest of a long one (a
// hostile file can make messages of any length) is dropped.
constexpr std::size_t kLineStart = 200;

}  // namespace

void DecoderMessages::read(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view piece = text.substr(0, end);
    if (line_.size() < kLineStart) {
      line_.append(piece.substr(0, kLineStart - line_.size()));
    }
    if (end == std::string_view::npos) return;
    damage_ = damage_ || isDamageLine(line_);
    line_.clear();
    text.remove_prefix(end + 1);
  }
}

bool DecoderMessages::damage() const { return damage_ || isDamageLine(line_); }

}  // namespace tesmic
