#include "display/qt_platform.h"

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(QtPlatformCandidates, InQtsOrderWithArgumentsKept) {
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    const auto defaults = qtPlatformCandidates(unset);
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0].name, "xcb");
    EXPECT_EQ(defaults[0].kind, PlatformKind::kX11);
  }

  const auto list = qtPlatformCandidates("Wayland;;vnc:size=800x600;XCB;offscreen");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, "wayland");
  EXPECT_EQ(list[0].kind, PlatformKind::kOther);
  EXPECT_EQ(list[1].entry, "vnc:size=800x600");
  EXPECT_EQ(list[1].name, "vnc");
  EXPECT_EQ(list[2].kind, PlatformKind::kX11);
  EXPECT_EQ(list[3].kind, PlatformKind::kNoScreen);
  EXPECT_EQ(qtPlatformCandidates("minimalegl")[0].kind, PlatformKind::kNoScreen);
}

}  // namespace
}  // namespace tesmic
