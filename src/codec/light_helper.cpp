// tesmic-codec: the helper started first thing in every run. It decodes
// JPEG, PNG, TIFF and WebP through their own libraries (formats/), writes
// masks as PNG, and leaves every other format, and any variant its
// decoders do not reproduce exactly, to tesmic-codec-opencv. It maps about
// twenty libraries where OpenCV's codecs bring 141, so it is ready long
// before the windows are.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>

#include "codec/codec_service.h"
#include "formats/image_decoding.h"
#include "platform/memory_budget.h"

namespace tesmic {
namespace {

constexpr int kBgr8 = 16;  // OpenCV's CV_8UC3, the only type decoded
constexpr int kGrey8 = 0;  // CV_8UC1, a mask

// The decoded image in a memfd of its own, within the run's memory and its
// CPU allowance, sealed when handed over.
class MemfdSink final : public PixelSink {
 public:
  MemfdSink(std::uint64_t headroom, const CpuAllowance& cpu) : headroom_(headroom), cpu_(cpu) {}
  ~MemfdSink() override { release(); }
  MemfdSink(const MemfdSink&) = delete;
  MemfdSink& operator=(const MemfdSink&) = delete;

  std::uint8_t* pixels(int rows, int cols) override {
    const double count = double(rows) * double(cols);
    if (rows <= 0 || cols <= 0 || count >= 0x1p62 ||
        runBytes(static_cast<std::uint64_t>(count), 3) > headroom_) {
      return nullptr;
    }
    cpu_.allowPixels(count);
    bytes_ = static_cast<std::size_t>(count) * 3;
    fd_ = memfd_create("tesmic-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd_ < 0) return nullptr;
    if (ftruncate(fd_, static_cast<off_t>(bytes_)) != 0) {
      overFileSizeLimit_ = errno == EFBIG;
      return nullptr;
    }
    void* data = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (data == MAP_FAILED) return nullptr;
    data_ = static_cast<std::uint8_t*>(data);
    rows_ = rows;
    cols_ = cols;
    return data_;
  }

  // The memfd, sealed against resizing; -1 when there is none.
  int sealed() const {
    constexpr int kSizeSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;
    return data_ != nullptr && fcntl(fd_, F_ADD_SEALS, kSizeSeals) == 0 ? fd_ : -1;
  }

  void release() {
    if (data_ != nullptr) munmap(data_, bytes_);
    if (fd_ >= 0) close(fd_);
    data_ = nullptr;
    fd_ = -1;
  }

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  bool overFileSizeLimit() const { return overFileSizeLimit_; }

 private:
  std::uint64_t headroom_;
  const CpuAllowance cpu_;  // a copy: the sink outlives the request
  int fd_ = -1;
  std::uint8_t* data_ = nullptr;
  std::size_t bytes_ = 0;
  int rows_ = 0;
  int cols_ = 0;
  bool overFileSizeLimit_ = false;
};

// A read-only view of the whole file, which the decoders parse in place.
class MappedFile {
 public:
  explicit MappedFile(int file) {
    struct stat status {};
    if (fstat(file, &status) != 0 || status.st_size <= 0) return;
    size_ = static_cast<std::size_t>(status.st_size);
    void* data = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, file, 0);
    data_ = data == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(data);
  }
  ~MappedFile() {
    if (data_ != nullptr) munmap(const_cast<std::uint8_t*>(data_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool mapped() const { return data_ != nullptr; }
  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

bool isPng(const char* extension) {
  return strcasecmp(extension, ".png") == 0;
}

class LightCodec final : public Codec {
 public:
  bool opensFileByName() const override { return false; }

  CodecReport decode(int file, std::uint64_t headroom, const CpuAllowance& cpu,
                     int& pixels) override {
    const MappedFile mapped(file);
    if (!mapped.mapped()) return {};
    sink_.emplace(headroom, cpu);
    const DecodeResult result = decodeImage(mapped.bytes(), *sink_);
    CodecReport report;
    switch (result.outcome) {
      case DecodeOutcome::kDecoded:
        pixels = sink_->sealed();
        if (pixels < 0) return {CodecOutcome::kTooLarge};
        return {CodecOutcome::kDone, sink_->rows(), sink_->cols(), kBgr8,
                result.damaged ? 1 : 0, 0};
      case DecodeOutcome::kTooLarge:
        report.outcome = sink_->overFileSizeLimit() ? CodecOutcome::kFileSizeLimit
                                                    : CodecOutcome::kTooLarge;
        return report;
      case DecodeOutcome::kNotMine:
        report.outcome = CodecOutcome::kNotMine;
        return report;
      case DecodeOutcome::kFailed:
        break;
    }
    return report;
  }

  CodecReport encode(const CodecRequest& request, int pixels, int file,
                     const CpuAllowance& cpu) override {
    CodecReport report{CodecOutcome::kFailed, request.rows, request.cols, request.type, 0, EINVAL};
    const int channels = request.type == kGrey8 ? 1 : request.type == kBgr8 ? 3 : 0;
    if (!isPng(request.extension) || channels == 0 || request.rows <= 0 || request.cols <= 0) {
      return report;
    }
    const std::size_t rowBytes = std::size_t(request.cols) * std::size_t(channels);
    const std::size_t bytes = rowBytes * std::size_t(request.rows);
    struct stat status {};
    if (fstat(pixels, &status) != 0 || std::size_t(status.st_size) < bytes ||
        (fcntl(pixels, F_GET_SEALS) & F_SEAL_SHRINK) == 0) {
      return report;
    }
    cpu.allowPixels(double(request.rows) * request.cols);
    void* data = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, pixels, 0);
    if (data == MAP_FAILED) {
      report.error = ENOMEM;
      return report;
    }
    report.error = encodePng(static_cast<const std::uint8_t*>(data), request.rows, request.cols,
                             channels, rowBytes, file);
    munmap(data, bytes);
    if (report.error == 0) report.outcome = CodecOutcome::kDone;
    if (report.error == ENOMEM) report.outcome = CodecOutcome::kTooLarge;
    return report;
  }

  void release() override { sink_.reset(); }

 private:
  std::optional<MemfdSink> sink_;  // the last image decoded, until the next request
};

}  // namespace
}  // namespace tesmic

int main(int argc, char**) {
  using namespace tesmic;
  if (argc != 1 || !prepareHelperProcess()) {
    std::fprintf(stderr, "%s is started by tesmic, not by hand.\n", kLightHelperName);
    return 2;
  }
  LightCodec codec;
  serveCodecRequests(codec);
}
