#include "codec/decoder_messages.h"
#include "formats/library_warnings.h"

#include <gtest/gtest.h>

#include <string>

namespace tesmic {
namespace {

// What libpng and libjpeg print, as they print it.
TEST(DecoderMessages, OnlyComplaintsAboutPixelsAreDamage) {
  for (const char* metadata :
       {"libpng warning: iCCP: known incorrect sRGB profile", "libpng warning: tEXt: CRC error",
        "libpng warning: zTXt: insufficient memory", "Corrupt JPEG data: bad ICC marker",
        "Warning: unknown JFIF revision number 2.01", ""}) {
    EXPECT_FALSE(isDamageLine(metadata)) << metadata;
  }
  for (const char* damage :
       {"Premature end of JPEG file", "Corrupt JPEG data: 12 extraneous bytes before marker 0xd9",
        "libpng warning: IDAT: Too much image data", "libpng warning: Ignoring bad adaptive filter",
        "libpng error: IDAT: invalid distance too far back"}) {
    EXPECT_TRUE(isDamageLine(damage)) << damage;
  }
}

TEST(DecoderMessages, LinesAreJudgedWholeHoweverTheyArrive) {
  DecoderMessages split;
  split.read("libpng warning: iC");
  split.read("CP: junk\nlibpng warning: tEXt: CRC error\n");
  EXPECT_FALSE(split.damage());
  // The last line counts even without its newline, and a long one by its start.
  split.read("Premature end of JPEG file" + std::string(100000, '!'));
  EXPECT_TRUE(split.damage());
}

}  // namespace
}  // namespace tesmic
