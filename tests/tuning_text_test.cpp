#include "tuning_text.h"

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(TuningText, Readouts) {
  EXPECT_EQ(passReadout(0.00061234, 0.12345), "Cas   0.00061234 | oznaceno 12.35 % pixelu");
  EXPECT_EQ(pixelReadout(120, 45, {172, 201, 164}, true), "x=120 y=45 | H=172 L=201 S=164 | oznacen");
  EXPECT_EQ(pixelReadout(0, 0, {0, 0, 0}, false), "x=0 y=0 | H=0 L=0 S=0 | neoznacen");
}

TEST(TuningText, RepeatCommandIsQuotedForAPosixShell) {
  EXPECT_EQ(repeatCommand("my photo.jpg", {170, 25, 150, 240, 80, 0}),
            "tesmic 'my photo.jpg' 170 25 150 240 80 0");
  EXPECT_EQ(repeatCommand("cerven.jpg", {175, 30, -1, 256, 90, 0}),
            "tesmic cerven.jpg 175 30 -1 256 90 0");
  EXPECT_EQ(shellQuoted("/a/b-c_d.png"), "/a/b-c_d.png");
  EXPECT_EQ(shellQuoted(""), "''");
  EXPECT_EQ(shellQuoted("it's $HOME `x`.png"), "'it'\\''s $HOME `x`.png'");
  EXPECT_EQ(shellQuoted("\xC4\x8D" "erven.png"), "'\xC4\x8D" "erven.png'");
  // Bytes a terminal would obey never reach it raw; printf rebuilds them.
  EXPECT_EQ(shellQuoted("\x1b[2J 50%\\'.jpg"),
            "\"$(printf '\\033[2J 50%%\\\\'\\''.jpg')\"");
}

}  // namespace
}  // namespace tesmic
