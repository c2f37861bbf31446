#include "codec/helper_location.h"

#include <sys/stat.h>

#include <system_error>

#include "platform/terminal_text.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

// Why this one file or folder could have been placed or changed by someone
// other than root or user; empty when it could not.
std::string whyUntrusted(const fs::path& path, const struct stat& status, uid_t user) {
  if (status.st_uid != 0 && status.st_uid != user) {
    return quotedName(path.string()) + " patri jinemu uzivateli";
  }
  const bool stickyFolder = S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX) != 0;
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !stickyFolder) {
    return "do " + quotedName(path.string()) + " smi zapisovat i skupina nebo ostatni";
  }
  return {};
}

}  // namespace

fs::path helperPath(const char* name) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error && self.parent_path() == fs::path(TESMIC_BUILD_DIR)) return self.parent_path() / name;
  // Without /proc the installed layout is still the only one looked at,
  // from the prefix the program was built for.
  const fs::path bin = error ? fs::path(TESMIC_INSTALL_BINDIR) : self.parent_path();
  return bin.parent_path() / TESMIC_CODEC_DIR / name;
}

std::string whyHelperIsUntrusted(const fs::path& path, uid_t user) {
  std::error_code error;
  const fs::path real = fs::canonical(path, error);
  if (error) return quotedName(path.string()) + " nelze najit (" + error.message() + ")";
  struct stat status {};
  if (stat(real.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return quotedName(real.string()) + " neni soubor";
  }
  for (fs::path at = real;; at = at.parent_path()) {
    if (stat(at.c_str(), &status) != 0) return quotedName(at.string()) + " nelze overit";
    if (std::string why = whyUntrusted(at, status, user); !why.empty()) return why;
    if (at == at.root_path()) return {};
  }
}

}  // namespace tesmic
