// Telling, from what image decoders write to standard error, whether the
// pixels they returned are damaged.
#pragma once

#include <string>
#include <string_view>

namespace tesmic {

// Reads the decoders' text as it comes, in pieces of any size, and judges
// each line by isDamageLine() (formats/library_warnings.h): a line counts
// as damage unless it only complains about metadata. Whatever else a
// decoder says of a file that still loads (a JPEG cut off, corrupt
// entropy-coded data) means the pixels may be wrong.
class DecoderMessages {
 public:
  void read(std::string_view text);
  // Whether any line so far, the last one too even without its newline,
  // was damage.
  bool damage() const;

 private:
  std::string line_;  // the start of the unfinished line, bounded
  bool damage_ = false;
};

}  // namespace tesmic
