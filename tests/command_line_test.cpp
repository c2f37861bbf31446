#include "run/command_line.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

RunSettings settingsFor(std::vector<const char*> args) {
  args.insert(args.begin(), "tesmic");
  return settingsFromArguments(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, SevenArgumentsGiveImageAndBoundsInOrder) {
  const RunSettings s =
      settingsFor({"obrazek.png", "1", "2", "3", "4", "5", "6"});
  EXPECT_FALSE(s.usageRequested);
  EXPECT_EQ(s.imageName, "obrazek.png");
  EXPECT_EQ(s.bounds, (DetectionBounds{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(s.bounds.HH, 1);
  EXPECT_EQ(s.bounds.VL, 6);
}

TEST(CommandLine, ImageNameIsTakenUnchanged) {
  const RunSettings s =
      settingsFor({" muj obrazek ,jpg ", "0", "0", "0", "0", "0", "0"});
  EXPECT_EQ(s.imageName, " muj obrazek ,jpg ");
}

TEST(CommandLine, AnyOtherCountRunsTheExample) {
  const std::vector<std::vector<const char*>> counts = {
      {},
      {"a.png", "1", "2", "3", "4", "5"},
      {"a.png", "1", "2", "3", "4", "5", "6", "7"},
      {"a.png", "1", "2", "3", "4", "5", "6", "7", "8"},
  };
  for (const auto& args : counts) {
    SCOPED_TRACE(args.size());
    const RunSettings s = settingsFor(args);
    EXPECT_TRUE(s.usageRequested);
    EXPECT_EQ(s.imageName, "cerven.jpg");
    EXPECT_EQ(s.bounds, (DetectionBounds{175, 30, 160, 240, 90, 0}));
  }
}

TEST(CommandLine, UsageTextIsExact) {
  const std::string expected =
      "Detekce barvy. Konvence volani:\n\n tesmic.exe nazev_obrazku HH HL SH "
      "SL VH VL\n\nKDE: nazev_obrazku je nazev obrazku kde ma byt provedena "
      "detekce\n     HH, HL, SH, SL, VH, VL - jsou horni a dolni meze slozek "
      "definujici hledanou barvu\n     prilad: HH=175, HL=30, SH=160, SL=240, "
      "VH=90, VL=0 obrazek = cerven.jpg \n";
  EXPECT_EQ(std::string(kUsageText), expected);
}

TEST(CommandLine, PrintUsageWritesTheTextAndNothingElse) {
  testing::internal::CaptureStdout();
  printUsage();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kUsageText));
}

TEST(ParseBound, ReadsLikeAtoi) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"abc", 0}, {"12abc", 12}, {"-5", -5}, {"300", 300},
      {" 7", 7},  {"+3", 3},     {"", 0},    {"0", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parseBound(c.text), c.value);
    EXPECT_EQ(parseBound(c.text), std::atoi(c.text));
  }
}

TEST(ParseBound, SaturatesBeyondTheRangeOfInt) {
  EXPECT_EQ(parseBound("99999999999"), INT_MAX);
  EXPECT_EQ(parseBound("-99999999999"), INT_MIN);
  EXPECT_EQ(parseBound("2147483647"), INT_MAX);
  EXPECT_EQ(parseBound("-2147483648"), INT_MIN);
  EXPECT_EQ(parseBound("2147483648"), INT_MAX);
  EXPECT_EQ(parseBound("-2147483649"), INT_MIN);
  EXPECT_EQ(parseBound("2147483646"), INT_MAX - 1);
}

TEST(ParseBound, BoundsFromTheCommandLineSaturate) {
  const RunSettings s = settingsFor(
      {"a.png", "99999999999", "-99999999999", "0", "0", "0", "0"});
  EXPECT_EQ(s.bounds.HH, INT_MAX);
  EXPECT_EQ(s.bounds.HL, INT_MIN);
}

}  // namespace
}  // namespace tesmic
