// Bounds as a careless or hostile command line may give them. The expected
// values are worked out by hand from atoi's reading, with saturation where
// atoi itself would be undefined.
#include <climits>
#include <cstdlib>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "run/command_line.h"

namespace tesmic {
namespace {

struct HostileCase {
  const char* text;
  int expected;
  bool withinInt;  // atoi is defined for it, so it must agree as well
};

// The strings hold blanks and control bytes, so test names carry an index
// and the printed parameter spells those bytes out.
std::string caseName(const testing::TestParamInfo<HostileCase>& info) {
  return "case" + std::to_string(info.index);
}

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << '"';
  for (const char* p = c.text; *p != '\0'; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (byte >= 0x20 && byte < 0x7f) {
      *os << *p;
    } else {
      constexpr char kHex[] = "0123456789abcdef";
      *os << "\\x" << kHex[byte >> 4] << kHex[byte & 0xf];
    }
  }
  *os << "\" -> " << c.expected;
}

class HostileBound : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileBound, ReadsAsAtoiWithSaturation) {
  const HostileCase& c = GetParam();
  EXPECT_EQ(parseBound(c.text), c.expected);
  if (c.withinInt) {
    EXPECT_EQ(parseBound(c.text), std::atoi(c.text));
  }
}

constexpr char k40Digits[] = "1234567890123456789012345678901234567890";
constexpr char kMinus40Digits[] = "-1234567890123456789012345678901234567890";

// No number at all, or one that ends where atoi stops.
INSTANTIATE_TEST_SUITE_P(NoOrCutNumber, HostileBound,
                         testing::Values(HostileCase{"", 0, true},
                                         HostileCase{"   ", 0, true},
                                         HostileCase{"0x10", 0, true},
                                         HostileCase{"1e3", 1, true},
                                         HostileCase{"-0", 0, true},
                                         HostileCase{"-", 0, true},
                                         HostileCase{"+3", 3, true},
                                         HostileCase{"+-3", 0, true},
                                         HostileCase{"- 3", 0, true},
                                         HostileCase{"\t\n\v\f\r 12", 12, true}),
                         caseName);

// The ends of int and well past them.
INSTANTIATE_TEST_SUITE_P(
    RangeEnds, HostileBound,
    testing::Values(HostileCase{"2147483647", INT_MAX, true},
                    HostileCase{"2147483648", INT_MAX, false},
                    HostileCase{"-2147483648", INT_MIN, true},
                    HostileCase{"-2147483649", INT_MIN, false},
                    HostileCase{k40Digits, INT_MAX, false},
                    HostileCase{kMinus40Digits, INT_MIN, false}),
    caseName);

// The same strings on a full command line land in their own slots, and the
// image name is taken as given however odd it looks.
TEST(HostileArguments, EachBoundReadOnItsOwn) {
  const char* const argv[] = {"tesmic", " -7", "0x10", "1e3",    k40Digits,
                              "-",      "-2147483649",  "\t\n\v\f\r 12",
                              nullptr};
  const RunSettings settings = settingsFromArguments(8, argv);
  EXPECT_FALSE(settings.usageRequested);
  EXPECT_EQ(settings.imageName, " -7");
  EXPECT_EQ(settings.bounds, (DetectionBounds{0, 1, INT_MAX, 0, INT_MIN, 12}));
}

}  // namespace
}  // namespace tesmic
