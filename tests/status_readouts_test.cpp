#include "ui/status_readouts.h"

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(StatusReadouts, PassAndPixel) {
  EXPECT_EQ(passReadout(0.00061234, 0.12345), "Cas   0.00061234 | oznaceno 12.35 % pixelu");
  EXPECT_EQ(pixelReadout(120, 45, {172, 201, 164}, true), "x=120 y=45 | H=172 L=201 S=164 | oznacen");
  EXPECT_EQ(pixelReadout(0, 0, {0, 0, 0}, false), "x=0 y=0 | H=0 L=0 S=0 | neoznacen");
}

}  // namespace
}  // namespace tesmic
