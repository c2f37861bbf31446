#include "codec/mask_encoding.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "codec/codec_launch.h"
#include "platform/memory_budget.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

// The image's rows, one after the other, in a memfd sealed against resizing.
int pixelsInMemfd(const cv::Mat& image) {
  const int fd = memfd_create("tesmic-image", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  const std::size_t row = image.cols * image.elemSize();
  bool ok = ftruncate(fd, static_cast<off_t>(row * image.rows)) == 0;
  for (int y = 0; ok && y < image.rows; ++y) {
    ok = pwrite(fd, image.ptr(y), row, static_cast<off_t>(row * y)) ==
         static_cast<ssize_t>(row);
  }
  ok = ok && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0;
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

// What a new file gets from open(..., 0666): mkstemps() makes it 0600.
mode_t modeForNewFiles() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool encodeInto(int file, const cv::Mat& image, const std::string& extension) {
  const int pixels = pixelsInMemfd(image);
  if (pixels < 0) return false;
  std::optional<CodecHelper> helper = startCodecHelper(
      {kEncodeRole, extension, std::to_string(image.rows), std::to_string(image.cols),
       std::to_string(image.type()), std::to_string(memoryHeadroom(readMemoryReadings()))},
      {pixels, file});
  close(pixels);
  if (!helper) return false;
  DecoderMessages ignored;
  const CodecEnd end = finishCodecHelper(*helper, ignored);
  if (end.attached >= 0) close(end.attached);
  return end.report && end.report->outcome == CodecOutcome::kDone;
}

}  // namespace

bool encodeInHelper(const std::string& path, const cv::Mat& image, std::string& czechError) {
  namespace fs = std::filesystem;
  czechError = "Chyba: obrazek \"" + escapeControlCharacters(path) + "\" nelze ulozit.";
  const fs::path target(path);
  const std::string extension = target.extension().string();
  if (image.empty() || image.dims != 2 || extension.empty()) return false;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temporary = (folder / (".tesmic-XXXXXX" + extension)).string();
  const int file =
      mkostemps(temporary.data(), static_cast<int>(extension.size()), O_CLOEXEC);
  if (file < 0) return false;
  const bool written = encodeInto(file, image, extension) &&
                       fchmod(file, modeForNewFiles()) == 0 && fsync(file) == 0;
  close(file);
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  czechError.clear();
  return true;
}

}  // namespace tesmic
