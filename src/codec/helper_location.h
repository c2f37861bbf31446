// Where the codec helpers lie, and whether one found there may be run: a
// helper runs with the user's rights before it confines itself, so nobody
// else may have been able to put it there.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <variant>

namespace tesmic {

// The one place a helper of this name is looked for. A program in the
// folder it was built in (fixed when it was built) finds the helpers beside
// it there; anywhere else it is installed, and they lie in lib/tesmic of its
// prefix, found from the program's own folder. Nothing
// else is tried, so no folder a stranger could create is ever looked in.
std::filesystem::path helperPath(const char* name);

// Why the file at path may not be run as a helper, in Czech, or empty when
// it may: it, and every folder above it, after following links, must be
// owned by root or by user and writable by nobody else (a folder with the
// sticky bit, such as /tmp, may be writable by all: none but the owner of
// an entry in it can replace that entry); and it must be a regular file.
std::string whyHelperIsUntrusted(const std::filesystem::path& path, uid_t user);

}  // namespace tesmic
