// Writing a file through the helper: the file appears whole under its name
// or not at all. Built beside the helper, where the program looks for it.
#include "codec/mask_encoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "support/temporary_directory.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

std::size_t filesIn(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(MaskEncoding, TheFileIsWrittenWholeOrNotAtAll) {
  const test::TemporaryDirectory temp;
  CodecSession codecs;
  cv::Mat mask(48, 64, CV_8UC1, cv::Scalar(0));
  mask(cv::Rect(10, 5, 20, 30)).setTo(255);
  const fs::path png = temp.path() / "maska.png";
  std::string error;
  ASSERT_TRUE(encodeInHelper(codecs, png.string(), mask, error)) << error;
  EXPECT_EQ(error, "");
  const cv::Mat back = cv::imread(png.string(), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(back.type(), CV_8UC1);
  EXPECT_EQ(cv::norm(back, mask, cv::NORM_INF), 0.0);

  // A format no encoder writes, a folder that is not there: a Czech line,
  // and nothing left behind, the earlier file untouched.
  const fs::path unknown = temp.path() / "maska.xyz";
  EXPECT_FALSE(encodeInHelper(codecs, unknown.string(), mask, error));
  EXPECT_EQ(error, "Chyba: obrazek \"" + unknown.string() + "\" nelze ulozit.");
  EXPECT_FALSE(encodeInHelper(codecs, (temp.path() / "chybi" / "maska.png").string(), mask, error));
  EXPECT_EQ(filesIn(temp.path()), 1u);
  EXPECT_EQ(cv::norm(cv::imread(png.string(), cv::IMREAD_UNCHANGED), mask, cv::NORM_INF), 0.0);
}

}  // namespace
}  // namespace tesmic
