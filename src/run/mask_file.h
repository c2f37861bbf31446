// The mask kept in a file (TESMIC_MASK), at the image's full resolution:
// made ready before the run does any work, written when it ends.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include <opencv2/core/mat.hpp>

#include "codec/codec_session.h"
#include "platform/termination_signals.h"

namespace tesmic {

// The file TESMIC_MASK names; empty when the variable is unset or empty.
std::string maskPathFromEnvironment();

// The name offered for saving the mask of this image: the image's, its
// extension (if any) replaced by "-maska.png" ("foto.jpg": "foto-maska.png").
std::string suggestedMaskName(const std::string& imageName);

// Where a mask goes: the file a name resolves to, symbolic links followed to
// their target (a dangling one too) as editors do, its folder resolved.
struct MaskTarget {
  std::string folder;  // absolute, without links
  std::string name;    // one path component, the file's own name
};

// Resolves path as above; 0, or the errno value of the failure (ELOOP after
// 40 links, ENAMETOOLONG, EISDIR for a name that ends in a slash, the
// folder's own: ENOENT, ENOTDIR, EACCES...). failedFolder receives the
// folder that failed, where one did.
int resolveMaskTarget(const std::string& path, MaskTarget& target, std::string& failedFolder);

// The mask file of one run. prepare() makes its temporary file up front,
// so that each failure but those of the write itself (a full disk) is told
// before any work is done; every ending removes it again.
class MaskFile {
 public:
  // For a run on imageName: resolves path (resolveMaskTarget), checks that
  // the target is not the image itself (the same device and inode, or the
  // same resolved name), not a folder, FIFO, socket or device, that its
  // extension names a format the helper writes (maskFormatOf), that another
  // user's file in a sticky folder is not there, and makes the temporary
  // file .tesmic-XXXXXX.EXT beside it (O_EXCL, mode 0666 less the umask).
  // signals, where given, removes it should one of them end the process at
  // once (none is needed while the windows are open: signals then wait for
  // the event loop). The mask is written through codecs. On failure nothing
  // and failure holds the one Czech line.
  static std::unique_ptr<MaskFile> prepare(const std::string& path, const std::string& imageName,
                                           CodecSession& codecs, TerminationSignals* signals,
                                           std::string& failure);
  ~MaskFile();  // removes the temporary file unless it became the mask
  MaskFile(const MaskFile&) = delete;
  MaskFile& operator=(const MaskFile&) = delete;

  const std::string& path() const { return path_; }  // as named

  // Writes mask (CV_8UC1) into the temporary file through the confined
  // helper (CodecSession::encode), syncs it, gives it the mode (and the owner and
  // group, where permitted) of the file it replaces, and renames it over
  // the target, which so never holds a partial mask. Once. On false,
  // failure holds the Czech line naming the cause; the temporary file is
  // gone either way.
  bool write(const cv::Mat& mask, std::string& failure);

  // Removes the temporary file: no mask is written. Safe from an exit
  // handler.
  void discard();

 private:
  MaskFile(std::string path, MaskTarget target, int folder, CodecSession& codecs,
           TerminationSignals* signals);

  std::string path_;
  MaskTarget target_;
  int folder_;  // the target's folder, open (O_PATH)
  int file_ = -1;
  std::string temporary_;  // its name in the folder, while it exists
  CodecSession& codecs_;
  TerminationSignals* signals_;
};

}  // namespace tesmic
