// The light decoders against cv::imread, file by file over a corpus of
// every variant and damaged copies of each: the same outcome (loaded,
// loaded with a warning, refused) and the same pixels, byte for byte.
#include "formats/image_decoding.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <tiffio.h>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "codec/decoder_messages.h"
#include "support/image_corpus.h"
#include "support/temporary_directory.h"

namespace tesmic {
namespace {

using test::CorpusFile;

// What the process writes to standard error between its start and text().
class ErrorCapture {
 public:
  ErrorCapture() {
    std::fflush(stderr);
    saved_ = dup(2);
    file_ = std::tmpfile();
    dup2(fileno(file_), 2);
  }
  ~ErrorCapture() {
    if (file_ != nullptr) text();
  }
  std::string text() {
    std::cerr.flush();
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    std::rewind(file_);
    std::string text;
    for (int c; (c = std::fgetc(file_)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(file_);
    file_ = nullptr;
    return text;
  }

 private:
  int saved_ = -1;
  std::FILE* file_ = nullptr;
};

// The program's view of a decode today: the image, and whether it warns.
struct Reference {
  cv::Mat image;  // empty: refused
  bool warned = false;
};

Reference readWithOpenCv(const std::string& path) {
  Reference reference;
  ErrorCapture capture;
  try {
    reference.image = cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    reference.image.release();
  }
  DecoderMessages messages;
  messages.read(capture.text());
  reference.warned = messages.damage();
  return reference;
}

class VectorSink final : public PixelSink {
 public:
  explicit VectorSink(bool refuse = false) : refuse_(refuse) {}
  std::uint8_t* pixels(int rows, int cols) override {
    ++asked;
    // cv::imread's limits, which a decoder checks before it asks.
    constexpr std::int64_t kSide = 1 << 20;
    constexpr std::int64_t kPixels = std::int64_t{1} << 30;
    beyondLimits = rows <= 0 || cols <= 0 || rows > kSide || cols > kSide ||
                   std::int64_t{rows} * cols > kPixels;
    if (refuse_ || beyondLimits) return nullptr;
    image.create(rows, cols, CV_8UC3);
    return image.data;
  }
  cv::Mat image;
  int asked = 0;
  bool beyondLimits = false;

 private:
  bool refuse_;
};

// libtiff's own handlers, which print; OpenCV replaces them with silent
// ones for the whole process at its first TIFF.
struct LibtiffHandlers {
  TIFFErrorHandler error = TIFFSetErrorHandler(nullptr);
  TIFFErrorHandler warning = TIFFSetWarningHandler(nullptr);
  LibtiffHandlers() {
    TIFFSetErrorHandler(error);
    TIFFSetWarningHandler(warning);
  }
};

struct Light {
  DecodeResult result;
  cv::Mat image;
  int asked = 0;
  bool askedBeyondLimits = false;
  std::string printed;  // what the light path wrote to standard error
};

Light decodeLight(const std::vector<std::uint8_t>& bytes, const LibtiffHandlers& printing) {
  // With libtiff's printing handlers back in place, so that a message
  // that missed this decode's own handlers would show.
  const TIFFErrorHandler error = TIFFSetErrorHandler(printing.error);
  const TIFFErrorHandler warning = TIFFSetWarningHandler(printing.warning);
  Light light;
  VectorSink sink;
  {
    ErrorCapture capture;
    light.result = decodeImage(bytes, sink);
    light.printed = capture.text();
  }
  TIFFSetErrorHandler(error);
  TIFFSetWarningHandler(warning);
  light.image = sink.image;
  light.asked = sink.asked;
  light.askedBeyondLimits = sink.beyondLimits;
  return light;
}

std::size_t differingBytes(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return SIZE_MAX;
  cv::Mat diff;
  cv::compare(a.reshape(1), b.reshape(1), diff, cv::CMP_NE);
  return static_cast<std::size_t>(cv::countNonZero(diff));
}

// One file: the light path's answer against cv::imread's. base: a file as
// made, whose loading and whose path are known.
struct Tally {
  int loaded = 0;
  int warned = 0;
  int refused = 0;
};

void compare(const CorpusFile& file, bool base, const std::filesystem::path& folder,
             const LibtiffHandlers& printing, Tally& tally) {
  SCOPED_TRACE(file.name);
  const std::filesystem::path path = folder / file.name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.bytes.data()),
             static_cast<std::streamsize>(file.bytes.size()));
  const Reference reference = readWithOpenCv(path.string());
  const Light light = decodeLight(file.bytes, printing);
  EXPECT_EQ(light.printed, "");
  EXPECT_LE(light.asked, 1);
  EXPECT_FALSE(light.askedBeyondLimits);
  if (base) {
    EXPECT_EQ(!reference.image.empty(), file.loads);
  }
  if (light.result.outcome == DecodeOutcome::kNotMine) {
    EXPECT_FALSE(file.lightPath) << "left to OpenCV";
    EXPECT_EQ(light.asked, 0);
    return;
  }
  if (base || file.lightPath) {
    EXPECT_TRUE(file.lightPath) << "decoded by the light path, meant for OpenCV";
  }
  if (reference.image.empty()) {
    ++tally.refused;
    EXPECT_EQ(light.result.outcome, DecodeOutcome::kFailed);
    return;
  }
  ++tally.loaded;
  tally.warned += reference.warned ? 1 : 0;
  ASSERT_EQ(light.result.outcome, DecodeOutcome::kDecoded);
  EXPECT_EQ(light.result.damaged, reference.warned);
  EXPECT_EQ(differingBytes(light.image, reference.image), 0u)
      << light.image.size() << " against " << reference.image.size();
  if (base) {
    // A sink that cannot take the image: too large, nothing decoded.
    VectorSink refusing(true);
    EXPECT_EQ(decodeImage(file.bytes, refusing).outcome, DecodeOutcome::kTooLarge);
    EXPECT_EQ(refusing.asked, 1);
  }
}

TEST(ImageDecoding, EqualsOpenCvOnEveryVariantAndItsDamagedCopies) {
  const LibtiffHandlers printing;
  // As the codec helper runs OpenCV: its own log silenced.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  test::TemporaryDirectory folder;
  const std::vector<CorpusFile> corpus = test::decoderCorpus(folder.path());
  Tally tally;
  for (const CorpusFile& file : corpus) {
    compare(file, true, folder.path(), printing, tally);
    for (const CorpusFile& copy : test::damagedCopies(file)) {
      compare(copy, false, folder.path(), printing, tally);
    }
  }
  // The corpus reaches every outcome: a loss of its variety would hide faults.
  EXPECT_GT(tally.loaded, static_cast<int>(corpus.size()));
  EXPECT_GT(tally.warned, 20);
  EXPECT_GT(tally.refused, 20);

  // OpenCV's limits moved by its environment: this path no longer knows them.
  setenv("OPENCV_IO_MAX_IMAGE_PIXELS", "100", 1);
  VectorSink sink;
  EXPECT_EQ(decodeImage(corpus.front().bytes, sink).outcome, DecodeOutcome::kNotMine);
  unsetenv("OPENCV_IO_MAX_IMAGE_PIXELS");
}

TEST(PngEncoding, WritesWhatOpenCvWritesAndTellsAFailedWrite) {
  test::TemporaryDirectory folder;
  cv::Mat big(41, 57, CV_8UC3);
  cv::randu(big, 0, 256);
  big(cv::Rect(0, 0, 57, 20)).setTo(cv::Scalar(0, 0, 255));  // runs, as a mask has
  cv::Mat grey;
  cv::extractChannel(big, grey, 1);
  const cv::Mat images[] = {big, grey, big(cv::Rect(3, 5, 31, 17)), grey(cv::Rect(2, 2, 1, 1))};
  for (const cv::Mat& image : images) {
    SCOPED_TRACE(testing::Message() << image.size() << " of " << image.channels());
    const std::filesystem::path path = folder.path() / "mask.png";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(encodePng(image.data, image.rows, image.cols, image.channels(), image.step, fd), 0);
    close(fd);
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(cv::imencode(".png", image, expected));
    EXPECT_EQ(written, expected);
  }
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  EXPECT_EQ(encodePng(big.data, big.rows, big.cols, 3, big.step, full), ENOSPC);
  close(full);
}

}  // namespace
}  // namespace tesmic
