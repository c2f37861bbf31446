#include "platform/terminal_text.h"

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(EscapeControlCharacters, OnlyWhatATerminalCouldObeyIsEscaped) {
  // Printable ASCII and Czech letters in UTF-8 pass.
  EXPECT_EQ(escapeControlCharacters("muj \xC4\x8D" "erven\xC3\xBD obr\xC3\xA1zek.jpg"),
            "muj \xC4\x8D" "erven\xC3\xBD obr\xC3\xA1zek.jpg");
  EXPECT_EQ(escapeControlCharacters("\xF0\x9F\x8E\xA8.png"), "\xF0\x9F\x8E\xA8.png");
  // C0 controls, DEL and the C1 control CSI (U+009B).
  EXPECT_EQ(escapeControlCharacters("\x1b[2Jx.jpg"), "\\x1b[2Jx.jpg");
  EXPECT_EQ(escapeControlCharacters(std::string("a\0b\n\x7F", 5)), "a\\x00b\\x0a\\x7f");
  EXPECT_EQ(escapeControlCharacters("\xC2\x9B" "31m"), "\\xc2\\x9b31m");
  // Bytes that are not UTF-8: a lone CSI, a cut sequence, an overlong '/'.
  EXPECT_EQ(escapeControlCharacters("\x9B" "2J"), "\\x9b2J");
  EXPECT_EQ(escapeControlCharacters("ab\xC4"), "ab\\xc4");
  EXPECT_EQ(escapeControlCharacters("\xC0\xAF"), "\\xc0\\xaf");
  EXPECT_EQ(escapeControlCharacters("\xED\xA0\x80"), "\\xed\\xa0\\x80");  // a surrogate
}

}  // namespace
}  // namespace tesmic
