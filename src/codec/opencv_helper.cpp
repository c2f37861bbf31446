// tesmic-codec-opencv: the helper that runs OpenCV's image codecs, for the
// formats and variants the light helper (tesmic-codec) leaves to it: PNM,
// BMP, PFM, HDR, Sun raster, JPEG 2000 and the rest, and masks written in
// any format but PNG. It links libopencv_imgcodecs and the 141 libraries
// that brings, so it is started only when a file or a mask needs it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "codec/codec_service.h"
#include "codec/displayable_image.h"
#include "codec/shared_pixels.h"

namespace tesmic {
namespace {

CodecOutcome outcomeOf(const cv::Exception& e) {
  if (e.code == cv::Error::StsNoMem) return CodecOutcome::kTooLarge;
  if (e.code == cv::Error::StsOutOfRange) return CodecOutcome::kFileSizeLimit;
  return CodecOutcome::kFailed;
}

// Without /proc the file cannot be opened again by a name: its bytes are
// decoded from memory instead, as the same decoders do for cv::imdecode.
cv::Mat decodeFromDescriptor(int file) {
  std::vector<uchar> bytes;
  char block[1 << 16];
  for (ssize_t n; (n = pread(file, block, sizeof block, off_t(bytes.size()))) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    bytes.insert(bytes.end(), block, block + n);
  }
  return cv::imdecode(bytes, cv::IMREAD_COLOR);
}

class OpenCvCodec final : public Codec {
 public:
  bool opensFileByName() const override { return true; }

  CodecReport decode(int file, std::uint64_t headroom, const CpuAllowance& cpu,
                     int& pixels) override {
    CodecReport report;
    allocator_.emplace(DecodeAllowance{headroom, &cpu});
    cv::Mat::setDefaultAllocator(&*allocator_);
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(file);
    try {
      errno = 0;
      image_ = access(byDescriptor.c_str(), R_OK) == 0 ? cv::imread(byDescriptor, cv::IMREAD_COLOR)
                                                       : decodeFromDescriptor(file);
      // A decoder whose buffer malloc() refused returns nothing, errno told.
      if (image_.empty() && errno == ENOMEM) report.outcome = CodecOutcome::kTooLarge;
      image_ = toBgr8(image_);
      if (sealedMemfdOf(image_) < 0) image_ = image_.clone();  // e.g. a view into a larger one
    } catch (const cv::Exception& e) {
      report.outcome = outcomeOf(e);
      image_.release();
    } catch (const std::bad_alloc&) {
      report.outcome = CodecOutcome::kTooLarge;
      image_.release();
    }
    // The image keeps its allocator to the end; later images take OpenCV's.
    cv::Mat::setDefaultAllocator(nullptr);
    if (image_.empty()) return report;
    pixels = sealedMemfdOf(image_);
    return {CodecOutcome::kDone, image_.rows, image_.cols, image_.type(), 0, 0};
  }

  CodecReport encode(const CodecRequest& request, int pixels, int file,
                     const CpuAllowance& cpu) override {
    CodecReport report{CodecOutcome::kFailed, request.rows, request.cols, request.type, 0, 0};
    cpu.allowPixels(double(request.rows) * request.cols);
    const cv::Mat image = mapSharedPixels(pixels, request.rows, request.cols, request.type);
    if (image.empty()) return report;
    std::vector<uchar> bytes;
    try {
      if (!cv::imencode(request.extension, image, bytes)) {
        report.error = EINVAL;
        return report;
      }
    } catch (const cv::Exception& e) {
      report.outcome = outcomeOf(e);
      report.error = report.outcome == CodecOutcome::kTooLarge ? ENOMEM : EINVAL;
      return report;
    } catch (const std::bad_alloc&) {
      report.outcome = CodecOutcome::kTooLarge;
      report.error = ENOMEM;
      return report;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(file, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        report.error = n < 0 ? errno : EIO;
        return report;
      }
      done += static_cast<std::size_t>(n);
    }
    report.outcome = CodecOutcome::kDone;
    return report;
  }

  void release() override {
    image_.release();
    allocator_.reset();
  }

 private:
  std::optional<MemfdAllocator> allocator_;  // outlives the image it allocated
  cv::Mat image_;  // the last image decoded, until the next request
};

}  // namespace
}  // namespace tesmic

int main(int argc, char**) {
  using namespace tesmic;
  if (argc != 1 || !prepareHelperProcess()) {
    std::fprintf(stderr, "%s is started by tesmic, not by hand.\n", kOpenCvHelperName);
    return 2;
  }
  // GDAL, which the codecs bring along but OpenCV reads nothing through
  // here, would list its plugin folder when it starts: a needless look at
  // the file system that the confinement refuses.
  setenv("GDAL_DRIVER_PATH", "disable", /*overwrite=*/1);
  // The library's own warnings would only repeat, in English, what the run
  // reports itself.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  OpenCvCodec codec;
  serveCodecRequests(codec);
}
