#include "image_loading.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "displayable_image.h"
#include "memory_budget.h"
#include "terminal_text.h"

namespace tesmic {
namespace {

// Holds what the decoders write to standard error (libpng and libjpeg print
// their complaints in English) while it exists, so that the run can say it
// in one Czech line instead.
class DecoderMessages {
 public:
  DecoderMessages() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    if (file_ == nullptr || saved_ < 0) return;
    dup2(fileno(file_), STDERR_FILENO);
  }
  ~DecoderMessages() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
    if (file_ != nullptr) std::fclose(file_);
  }
  DecoderMessages(const DecoderMessages&) = delete;
  DecoderMessages& operator=(const DecoderMessages&) = delete;

  bool any() const {
    std::fflush(stderr);
    return file_ != nullptr && saved_ >= 0 && std::ftell(file_) > 0;
  }

 private:
  std::FILE* file_;
  int saved_ = -1;
};

}  // namespace

cv::Mat loadImage(const std::string& imageName) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(imageName, error)) return {};
  cv::Mat image;
  bool complaints = false;
  {
    const DecoderMessages messages;
    try {
      const MatAllocationLimit limit(largestImageBytes(memoryHeadroom(readMemoryReadings())));
      image = cv::imread(imageName, cv::IMREAD_COLOR);
    } catch (const cv::Exception& e) {
      if (e.code == cv::Error::StsNoMem) throw;
      return {};
    }
    complaints = messages.any();
  }
  if (!image.empty() && complaints) {
    std::fprintf(stderr,
                 "Varovani: obrazek \"%s\" je zrejme poskozeny, zobrazi se, co se z nej "
                 "podarilo nacist.\n",
                 escapeControlCharacters(imageName).c_str());
  }
  return toBgr8(image);
}

}  // namespace tesmic
