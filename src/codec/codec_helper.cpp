// tesmic-codec: the only process of tesmic that runs the image codecs. It
// confines itself before the first byte of a file is parsed: decoding hands
// the pixels back in shared memory, encoding takes them from there
// (codec_protocol.h).
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "codec/codec_protocol.h"
#include "codec/confinement.h"
#include "codec/displayable_image.h"
#include "platform/memory_budget.h"
#include "codec/shared_pixels.h"

namespace tesmic {
namespace {

// CPU time a decode may take: enough for any header, and per megapixel
// about six times what the slowest decoder here needs for an honest image
// (measured on a noisy 12-megapixel photo, CPU time per megapixel: JPEG 2000
// 173 ms, WebP 50, PNG and TIFF 28, JPEG 18), so that only a file built to
// stall its decoder meets it.
constexpr double kCpuSecondsBase = 2.0;
constexpr double kCpuSecondsPerMegapixel = 1.0;
constexpr std::uint64_t kCpuSecondsCeiling = 3600;

std::uint64_t cpuSecondsFor(double pixels) {
  const double seconds = kCpuSecondsBase + kCpuSecondsPerMegapixel * pixels / 1e6;
  return static_cast<std::uint64_t>(
      std::min(seconds + 0.999, static_cast<double>(kCpuSecondsCeiling)));
}

std::uint64_t addressSpaceFor(std::uint64_t headroom) {
#if defined(__SANITIZE_ADDRESS__)
  (void)headroom;
  return 0;  // AddressSanitizer's shadow memory alone exceeds any limit
#else
  if (headroom == std::numeric_limits<std::uint64_t>::max()) return 0;
  // What is mapped already (the libraries) plus the run's budget: the
  // decoder's buffers and the image count against what the run may take.
  return readMemoryReadings().addressSpaceUsed.value_or(0) + headroom;
#endif
}

struct Decoded {
  CodecReport report{CodecOutcome::kFailed, 0, 0, 0};
  cv::Mat image;
};

Decoded decode(const std::string& imageName, std::uint64_t headroom) {
  Decoded result;
  // Non-blocking, so that a FIFO cannot stall the open; only a regular file
  // is decoded, through this descriptor, whatever the name points to later.
  const int file = open(imageName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  struct stat status {};
  if (file < 0 || fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) return result;
  const std::string byDescriptor = "/proc/self/fd/" + std::to_string(file);
  const std::string readName = access(byDescriptor.c_str(), R_OK) == 0 ? byDescriptor : imageName;

  ConfinementLimits limits;
  limits.readableFile = file;
  limits.addressSpaceBytes = addressSpaceFor(headroom);
  limits.cpuSeconds = cpuSecondsFor(0);
  limits.cpuSecondsCeiling =
      cpuSecondsFor(static_cast<double>(largestImageBytes(headroom) / 3)) + 1;
  if (!confineProcess(limits)) {
    result.report.outcome = CodecOutcome::kNotConfined;
    return result;
  }

  // Outlives the image handed back.
  static MemfdAllocator allocator({headroom, &cpuSecondsFor});
  cv::Mat::setDefaultAllocator(&allocator);
  cv::Mat image;
  try {
    errno = 0;
    image = cv::imread(readName, cv::IMREAD_COLOR);
    // A decoder whose buffer malloc() refused returns nothing, errno told.
    if (image.empty() && errno == ENOMEM) result.report.outcome = CodecOutcome::kTooLarge;
    image = toBgr8(image);
    if (sealedMemfdOf(image) < 0) image = image.clone();  // e.g. a view into a larger one
  } catch (const cv::Exception& e) {
    if (e.code == cv::Error::StsNoMem) result.report.outcome = CodecOutcome::kTooLarge;
    image.release();
  } catch (const std::bad_alloc&) {
    result.report.outcome = CodecOutcome::kTooLarge;
    image.release();
  }
  if (image.empty()) return result;
  result.report = {CodecOutcome::kDone, image.rows, image.cols, image.type()};
  result.image = image;
  return result;
}

std::uint64_t parseNumber(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

// 0, or the errno of the write that failed.
int writeAll(int fd, const std::vector<uchar>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// Encodes the image in the memfd at kFirstPassedDescriptor in the format
// that extension names, into the file open at the descriptor after it. The
// helper opens nothing: the program made the file.
CodecReport encode(std::string_view extension, int rows, int cols, int type,
                   std::uint64_t headroom) {
  CodecReport report{CodecOutcome::kFailed, rows, cols, type};
  const int pixels = kFirstPassedDescriptor;
  const int file = kFirstPassedDescriptor + 1;
  // A file-size limit (ulimit -f) then fails the write with EFBIG, which
  // the report carries, instead of killing the helper.
  std::signal(SIGXFSZ, SIG_IGN);
  ConfinementLimits limits;
  limits.addressSpaceBytes = addressSpaceFor(headroom);
  limits.cpuSeconds = cpuSecondsFor(static_cast<double>(rows) * cols);
  limits.cpuSecondsCeiling = limits.cpuSeconds + 1;
  if (!confineProcess(limits)) {
    report.outcome = CodecOutcome::kNotConfined;
    return report;
  }
  const cv::Mat image = mapSharedPixels(pixels, rows, cols, type);
  if (image.empty()) return report;
  std::vector<uchar> bytes;
  try {
    if (!cv::imencode(std::string(extension), image, bytes)) return report;
  } catch (const cv::Exception& e) {
    if (e.code == cv::Error::StsNoMem) report.outcome = CodecOutcome::kTooLarge;
    return report;
  } catch (const std::bad_alloc&) {
    report.outcome = CodecOutcome::kTooLarge;
    return report;
  }
  report.error = writeAll(file, bytes);
  if (report.error == 0) report.outcome = CodecOutcome::kDone;
  return report;
}

}  // namespace
}  // namespace tesmic

int main(int argc, char** argv) {
  using namespace tesmic;
  const std::string_view role = argc > 1 ? argv[1] : "";
  if (!(role == kDecodeRole && argc == 4) && !(role == kEncodeRole && argc == 7)) {
    std::fprintf(stderr,
                 "%s is started by tesmic: %s IMAGE HEADROOM, or %s EXTENSION ROWS COLS "
                 "TYPE HEADROOM\n",
                 kCodecHelperName, kDecodeRole, kEncodeRole);
    return 2;
  }
  // Nobody would read the answer of a helper whose program has gone.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The library's own warnings would only repeat, in English, what the run
  // reports itself.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  CodecReport report;
  int pixels = -1;
  Decoded decoded;
  if (role == kDecodeRole) {
    decoded = decode(argv[2], parseNumber(argv[3]));
    report = decoded.report;
    if (!decoded.image.empty()) pixels = sealedMemfdOf(decoded.image);
  } else {
    const auto asInt = [](const char* text) {
      return static_cast<int>(std::min<std::uint64_t>(parseNumber(text), INT32_MAX));
    };
    report = encode(argv[2], asInt(argv[3]), asInt(argv[4]), asInt(argv[5]),
                    parseNumber(argv[6]));
  }
  std::fflush(stderr);
  const bool sent = sendCodecReport(kReportDescriptor, report, pixels);
  // No destructors, no exit handlers: nothing more runs under the filter.
  _exit(sent ? 0 : 1);
}
