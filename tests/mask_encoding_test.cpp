// Writing a file through the helper: the table of formats against what the
// confined encoders really do, and why a write failed. Built beside the
// helper, where the program looks for it.
#include "codec/codec_session.h"
#include "codec/mask_formats.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "support/temporary_directory.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

int createEmpty(const fs::path& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

off_t sizeOf(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 ? status.st_size : -1;
}

// Every extension the table names, in either case, and two it does not:
// the table must say exactly which ones the helper writes, so that a mask
// refused at the end of a run is refused at its start instead.
TEST(MaskEncoding, TheTableTellsWhatTheHelperWrites) {
  const test::TemporaryDirectory temp;
  CodecSession codecs;
  cv::Mat mask(48, 64, CV_8UC1, cv::Scalar(0));
  mask(cv::Rect(10, 5, 20, 30)).setTo(255);
  for (const char* extension :
       {".png", ".TIF", ".tiff", ".bmp", ".dib", ".pbm", ".pgm", ".pnm", ".pam", ".jpg",
        ".JPEG", ".jpe", ".webp", ".ppm", ".pxm", ".pfm", ".jp2", ".j2k", ".ras", ".sr",
        ".hdr", ".pic", ".exr", ".gif", ".xyz"}) {
    SCOPED_TRACE(extension);
    const fs::path path = temp.path() / (std::string("maska") + extension);
    const int file = createEmpty(path);
    ASSERT_GE(file, 0);
    const int error = codecs.encode(file, mask, extension);
    const off_t size = sizeOf(file);
    close(file);
    if (maskFormatOf(extension) != MaskFormat::kWritable) {
      EXPECT_EQ(error, EINVAL);
      EXPECT_EQ(size, 0) << "a refused format wrote something";
      continue;
    }
    ASSERT_EQ(error, 0);
    const cv::Mat back = cv::imread(path.string(), cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(back.size(), mask.size());
    // JPEG and WebP are lossy; the rest keep the mask exactly.
    const double tolerance = (extension[1] == 'j' || extension[1] == 'J' || extension[1] == 'w')
                                 ? 128.0
                                 : 0.0;
    EXPECT_LE(cv::norm(back, mask, cv::NORM_INF), tolerance);
  }
}

// The write's own errno comes back: a full device, the file-size limit.
TEST(MaskEncoding, AFailedWriteSaysWhy) {
  cv::Mat noise(256, 256, CV_8UC1);
  cv::randu(noise, 0, 256);
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  EXPECT_EQ(CodecSession().encode(full, noise, ".png"), ENOSPC);
  close(full);

  const test::TemporaryDirectory temp;
  const int file = createEmpty(temp.path() / "maska.png");
  ASSERT_GE(file, 0);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  // Room for the pixels handed to the helper, not for the PNG of noise.
  small.rlim_cur = noise.total() + 128;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  // The helper, started now, writes under the limit.
  const int error = CodecSession().encode(file, noise, ".png");
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  close(file);
  EXPECT_EQ(error, EFBIG);
}

}  // namespace
}  // namespace tesmic
