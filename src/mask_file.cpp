#include "mask_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "terminal_text.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

// The image in the format path's extension names; empty when the writer
// has no such format or refuses the image.
std::vector<uchar> encoded(const std::string& path, const cv::Mat& mask) {
  const std::string extension = fs::path(path).extension().string();
  std::vector<uchar> bytes;
  if (extension.empty()) return bytes;
  try {
    if (!cv::imencode(extension, mask, bytes)) bytes.clear();
  } catch (const cv::Exception&) {
    bytes.clear();
  }
  return bytes;
}

fs::path folderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

bool writeAll(int fd, const std::vector<uchar>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// A new file beside path, for this process alone; -1 when none can be made.
int createTemporary(const std::string& path, std::string& temporary) {
  const fs::path target(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name(1, '.');
    name.append(target.filename().string()).append(".tesmic-");
    name.append(std::to_string(getpid())).append(1, '-').append(std::to_string(attempt));
    temporary = (folderOf(path) / name).string();
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::string maskPathFromEnvironment() {
  const char* value = std::getenv("TESMIC_MASK");
  return value == nullptr ? std::string() : std::string(value);
}

bool maskTargetUsable(const std::string& path, std::string& error) {
  if (encoded(path, cv::Mat(1, 1, CV_8UC1, cv::Scalar(0))).empty()) {
    error = "pripona nazvu neurcuje format, ktery lze zapsat (napr. .png, .tif, .bmp, .pgm)";
    return false;
  }
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

bool writeMaskFile(const std::string& path, const cv::Mat& mask, std::string& error) {
  if (!maskTargetUsable(path, error)) return false;
  const std::vector<uchar> bytes = encoded(path, mask);
  if (bytes.empty()) {
    error = "masku nelze v tomto formatu zakodovat";
    return false;
  }
  std::string temporary;
  const int fd = createTemporary(path, temporary);
  if (fd < 0) {
    error = "do slozky nelze zapisovat";
    return false;
  }
  const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    error = "zapis se nezdaril";
    return false;
  }
  return true;
}

std::string maskFailureMessage(const std::string& path, const std::string& error) {
  std::string message = "Chyba: masku nelze zapsat do \"";
  message.append(escapeControlCharacters(path)).append("\": ").append(error).append(1, '.');
  return message;
}

}  // namespace tesmic
