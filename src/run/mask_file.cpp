#include "run/mask_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <opencv2/core.hpp>

#include "codec/mask_encoding.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

fs::path folderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

// The folder, not the name: the name need not exist yet.
bool folderTakesNewFiles(const std::string& path, std::string& error) {
  struct stat target {};
  if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    error = "je to slozka";
    return false;
  }
  if (access(folderOf(path).c_str(), W_OK | X_OK) != 0) {
    error = "do slozky nelze zapisovat";
    return false;
  }
  return true;
}

}  // namespace

std::string maskPathFromEnvironment() {
  const char* value = std::getenv("TESMIC_MASK");
  return value == nullptr ? std::string() : std::string(value);
}

bool maskTargetUsable(const std::string& path, std::string& error) {
  if (!folderTakesNewFiles(path, error)) return false;
  // Only the codec helper knows the formats its writer takes: a 1x1 mask
  // written beside the target, and removed again, tells.
  const std::string trial =
      (folderOf(path) / (".tesmic-zkouska-" + std::to_string(getpid()) +
                         fs::path(path).extension().string()))
          .string();
  std::string helperError;
  const bool written = encodeInHelper(trial, cv::Mat(1, 1, CV_8UC1, cv::Scalar(0)), helperError);
  unlink(trial.c_str());
  if (!written) {
    error = "pripona nazvu neurcuje format, ktery lze zapsat (napr. .png, .tif, .bmp, .pgm)";
    return false;
  }
  return true;
}

bool writeMaskFile(const std::string& path, const cv::Mat& mask, std::string& error) {
  if (!folderTakesNewFiles(path, error)) return false;
  std::string helperError;
  if (!encodeInHelper(path, mask, helperError)) {
    error = "zapis se nezdaril";
    return false;
  }
  return true;
}

std::string suggestedMaskName(const std::string& imageName) {
  fs::path name(imageName);
  name.replace_extension();
  name += "-maska.png";
  return name.string();
}

std::string maskFailureMessage(const std::string& path, const std::string& error) {
  std::string message = "Chyba: masku nelze zapsat do \"";
  message.append(escapeControlCharacters(path)).append("\": ").append(error).append(1, '.');
  return message;
}

}  // namespace tesmic
