#include "codec/mask_encoding.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/memory_budget.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

// What a new file gets from open(..., 0666): mkstemps() makes it 0600.
mode_t modeForNewFiles() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool encodeInHelper(CodecSession& codecs, const std::string& path, const cv::Mat& image,
                    std::string& czechError) {
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
  const bool written = codecs.encode(file, image, extension) == 0 &&
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
