#include "run/mask_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "codec/mask_formats.h"
#include "platform/error_text.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

// As the kernel's own limit on links in one path.
constexpr int kMostLinks = 40;

// The folder part of a path ("" when it has none) and its last component.
std::pair<std::string, std::string> split(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

int readLink(const std::string& path, std::string& link) {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
  if (length < 0) return errno;
  if (static_cast<std::size_t>(length) >= buffer.size()) return ENAMETOOLONG;
  link.assign(buffer.data(), static_cast<std::size_t>(length));
  return 0;
}

std::string failureLine(const std::string& path, const std::string& cause) {
  return "Chyba: masku nelze zapsat do " + quotedName(path) + ": " + cause + ".";
}

// The cause of a failed resolution, naming the folder that failed.
std::string resolutionCause(int error, const std::string& folder) {
  if (folder.empty()) return czechErrorText(error);
  if (error == ENOENT) {
    return folder == "." ? "pracovni slozka uz neexistuje" : "slozka " + quotedName(folder) + " neexistuje";
  }
  if (error == ENOTDIR) return quotedName(folder) + " neni slozka";
  return "slozku " + quotedName(folder) + " nelze otevrit (" + czechErrorText(error) + ")";
}

std::string encodingCause(int error) {
  switch (error) {
    case ENOMEM: return "nedostatek pameti";
    case EINVAL: return "koder masku odmitl";
    case ECHILD: return "koder tesmic-codec nelze spustit nebo skoncil chybou";
    default: return czechErrorText(error);
  }
}

std::string formatCause(MaskFormat format, const std::string& extension) {
  const std::string writable = "(napr. .png, .tif, .bmp, .pgm)";
  if (format == MaskFormat::kNotInConfinement) {
    return "format " + quotedName(extension) + " nelze zapsat jako jednokanalovou masku " + writable;
  }
  return "pripona nazvu neurcuje format, ktery lze zapsat " + writable;
}

// The same file: by device and inode where both exist, else by the name
// both resolve to.
bool isTheImage(const std::string& imageName, const MaskTarget& target,
                const struct stat* targetStatus) {
  struct stat image {};
  if (targetStatus != nullptr && stat(imageName.c_str(), &image) == 0) {
    return image.st_dev == targetStatus->st_dev && image.st_ino == targetStatus->st_ino;
  }
  MaskTarget resolved;
  std::string ignored;
  return resolveMaskTarget(imageName, resolved, ignored) == 0 &&
         resolved.folder == target.folder && resolved.name == target.name;
}

// Another user's file in a folder with the sticky bit (/tmp) cannot be
// replaced: the rename at the end would fail.
bool replaceForbidden(const struct stat& folder, const struct stat& file) {
  const uid_t self = geteuid();
  return (folder.st_mode & S_ISVTX) != 0 && self != 0 && file.st_uid != self &&
         folder.st_uid != self;
}

// A fresh file .tesmic-XXXXXX.EXT in folder; -1 with errno set when none
// can be made.
int createTemporary(int folder, const std::string& extension, std::string& name) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
    name = ".tesmic-";
    for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
    name += extension;
    // 0666: the kernel applies the umask, as to any new file.
    const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::string suggestedMaskName(const std::string& imageName) {
  std::filesystem::path name(imageName);
  name.replace_extension();
  name += "-maska.png";
  return name.string();
}

std::string maskPathFromEnvironment() {
  const char* value = std::getenv("TESMIC_MASK");
  return value == nullptr ? std::string() : std::string(value);
}

int resolveMaskTarget(const std::string& path, MaskTarget& target, std::string& failedFolder) {
  failedFolder.clear();
  if (path.empty()) return ENOENT;
  std::string current = path;
  for (int links = 0;; ++links) {
    if (current.back() == '/') return EISDIR;
    struct stat status {};
    if (lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) return errno;
      break;  // a new file, or a folder missing (told below)
    }
    if (!S_ISLNK(status.st_mode)) break;
    if (links == kMostLinks) return ELOOP;
    std::string link;
    if (const int error = readLink(current, link); error != 0) return error;
    if (link.empty()) return ENOENT;
    const std::string folder = split(current).first;
    current = link[0] == '/' || folder.empty() ? link : folder + "/" + link;
  }
  auto [folder, name] = split(current);
  if (name.empty() || name == "." || name == "..") return EISDIR;
  if (folder.empty()) folder.assign(1, '.');
  char* real = realpath(folder.c_str(), nullptr);
  if (real == nullptr) {
    failedFolder = folder;
    return errno;
  }
  target = {real, name};
  std::free(real);
  return 0;
}

std::unique_ptr<MaskFile> MaskFile::prepare(const std::string& path, const std::string& imageName,
                                            CodecSession& codecs, TerminationSignals* signals,
                                            std::string& failure) {
  MaskTarget target;
  std::string failedFolder;
  if (const int error = resolveMaskTarget(path, target, failedFolder); error != 0) {
    failure = failureLine(path, resolutionCause(error, failedFolder));
    return nullptr;
  }
  const int folder = open(target.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  struct stat folderStatus {};
  if (folder < 0 || fstat(folder, &folderStatus) != 0) {
    failure = failureLine(path, resolutionCause(errno, target.folder));
    if (folder >= 0) close(folder);
    return nullptr;
  }
  std::unique_ptr<MaskFile> file(new MaskFile(path, target, folder, codecs, signals));
  struct stat existing {};
  const bool exists = fstatat(folder, target.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  const int statError = exists ? 0 : errno;
  const std::string extension = std::filesystem::path(target.name).extension().string();
  const MaskFormat format = maskFormatOf(extension);
  if (!exists && statError != ENOENT) {
    failure = failureLine(path, czechErrorText(statError));
  } else if (isTheImage(imageName, target, exists ? &existing : nullptr)) {
    failure = failureLine(path, "je to nacitany obrazek, maska by ho prepsala");
  } else if (exists && S_ISDIR(existing.st_mode)) {
    failure = failureLine(path, czechErrorText(EISDIR));
  } else if (exists && !S_ISREG(existing.st_mode)) {
    failure = failureLine(path, "neni to obycejny soubor (je to FIFO, socket nebo zarizeni)");
  } else if (format != MaskFormat::kWritable) {
    failure = failureLine(path, formatCause(format, extension));
  } else if (exists && replaceForbidden(folderStatus, existing)) {
    failure = failureLine(path, "soubor patri jinemu uzivateli a slozka dovoluje nahradit "
                                "soubor jen jeho vlastnikovi (sticky bit)");
  } else if (folderStatus.st_nlink == 0) {
    failure = failureLine(path, "slozka " + quotedName(target.folder) + " uz neexistuje");
  } else {
    // Blocked until the signals know the name: none may fall between.
    const TerminationSignalsBlocked blocked;
    file->file_ = createTemporary(folder, extension, file->temporary_);
    if (file->file_ >= 0) {
      if (signals != nullptr) signals->removeOnSignal(folder, file->temporary_.c_str());
      return file;
    }
    const int error = errno;
    file->temporary_.clear();
    failure = failureLine(path, "ve slozce " + quotedName(target.folder) +
                                    " nelze vytvorit soubor (" + czechErrorText(error) + ")");
  }
  return nullptr;
}

MaskFile::MaskFile(std::string path, MaskTarget target, int folder, CodecSession& codecs,
                   TerminationSignals* signals)
    : path_(std::move(path)),
      target_(std::move(target)),
      folder_(folder),
      codecs_(codecs),
      signals_(signals) {}

MaskFile::~MaskFile() {
  discard();
  close(folder_);
}

bool MaskFile::write(const cv::Mat& mask, std::string& failure) {
  if (file_ < 0) {
    failure = failureLine(path_, czechErrorText(EBADF));
    return false;
  }
  const std::string extension = std::filesystem::path(target_.name).extension().string();
  int error = codecs_.encode(file_, mask, extension);
  std::string cause = encodingCause(error);
  if (error == 0 && fsync(file_) != 0) {
    error = errno;
    cause = czechErrorText(error);
  }
  if (error == 0) {
    // The nature of the file replaced: its owner and group where this user
    // may give them (root, or a group of one's own), then its mode, which a
    // change of owner would have cut.
    struct stat existing {};
    if (fstatat(folder_, target_.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(existing.st_mode)) {
      if (fchown(file_, existing.st_uid, existing.st_gid) != 0) {
        [[maybe_unused]] const int ignored = fchown(file_, static_cast<uid_t>(-1), existing.st_gid);
      }
      fchmod(file_, existing.st_mode & 07777);
    }
    if (renameat(folder_, temporary_.c_str(), folder_, target_.name.c_str()) != 0) {
      error = errno;
      cause = czechErrorText(error);
    }
  }
  if (error != 0) {
    discard();
    failure = failureLine(path_, cause);
    return false;
  }
  if (signals_ != nullptr) signals_->keepOnSignal();
  temporary_.clear();
  close(file_);
  file_ = -1;
  return true;
}

void MaskFile::discard() {
  if (!temporary_.empty()) {
    unlinkat(folder_, temporary_.c_str(), 0);
    if (signals_ != nullptr) signals_->keepOnSignal();
    temporary_.clear();
  }
  if (file_ >= 0) close(file_);
  file_ = -1;
}

}  // namespace tesmic
