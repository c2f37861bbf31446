#include "codec/codec_session.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "codec/mask_formats.h"
#include "codec/shared_pixels.h"
#include "platform/memory_budget.h"

namespace tesmic {
namespace {

// The image's rows, one after the other, in a memfd sealed against
// resizing; -1 with errno set when it cannot be made.
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
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

bool isPng(std::string_view extension) {
  return extension.size() == 4 && std::equal(extension.begin(), extension.end(), ".png",
                                             [](char a, char b) {
                                               return std::tolower(static_cast<unsigned char>(a)) == b;
                                             });
}

CodecRequest request(CodecRequestKind kind) {
  CodecRequest r;
  r.kind = kind;
  r.headroom = memoryHeadroom(readMemoryReadings());
  return r;
}

}  // namespace

CodecSession::CodecSession() {
  std::string ignored;
  helper(light_, kLightHelperName, ignored);
}

CodecSession::~CodecSession() {
  if (file_ >= 0) close(file_);
}

CodecProcess* CodecSession::helper(std::optional<CodecProcess>& slot, const char* name,
                                   std::string& why) {
  if (!slot || !slot->running()) slot = CodecProcess::start(name, why);
  return slot ? &*slot : nullptr;
}

void CodecSession::startDecoding(int file) {
  if (file_ >= 0) close(file_);
  file_ = file;
  std::string ignored;
  CodecProcess* light = helper(light_, kLightHelperName, ignored);
  sentToLight_ = light != nullptr && light->send(request(CodecRequestKind::kDecode), {&file_, 1});
}

DecodeEnd CodecSession::decodeIn(std::optional<CodecProcess>& slot, const char* name, bool sent) {
  DecodeEnd end;
  CodecProcess* process = helper(slot, name, end.helperFailure);
  if (process == nullptr) return end;
  // A helper that cannot take the request has died: its reply tells how.
  if (!sent) process->send(request(CodecRequestKind::kDecode), {&file_, 1});
  DecoderMessages messages;
  CodecReply reply = process->awaitReport(messages);
  end.report = reply.report;
  end.status = reply.status;
  if (end.report && end.report->outcome == CodecOutcome::kDone && reply.attached.size() == 1) {
    end.image = mapSharedPixels(reply.attached[0], end.report->rows, end.report->cols,
                                end.report->type);
  }
  end.damaged = messages.damage() || (end.report && end.report->damaged != 0);
  for (const int fd : reply.attached) close(fd);
  return end;
}

DecodeEnd CodecSession::awaitDecoded() {
  DecodeEnd end = decodeIn(light_, kLightHelperName, sentToLight_);
  if (end.report && end.report->outcome == CodecOutcome::kNotMine) {
    end = decodeIn(openCv_, kOpenCvHelperName, false);
  }
  close(file_);
  file_ = -1;
  return end;
}

int CodecSession::encode(int file, const cv::Mat& image, std::string_view extension) {
  if (image.empty() || image.dims != 2 || image.type() != CV_8UC1 ||
      maskFormatOf(extension) != MaskFormat::kWritable) {
    return EINVAL;
  }
  const int pixels = pixelsInMemfd(image);
  if (pixels < 0) return errno == EFBIG ? EFBIG : ENOMEM;
  CodecRequest encode = request(CodecRequestKind::kEncode);
  encode.rows = image.rows;
  encode.cols = image.cols;
  encode.type = image.type();
  std::memcpy(encode.extension, extension.data(), extension.size());
  const bool light = isPng(extension);
  std::string why;
  CodecProcess* process = light ? helper(light_, kLightHelperName, why)
                                : helper(openCv_, kOpenCvHelperName, why);
  const int fds[] = {pixels, file};
  int error = ECHILD;
  if (process != nullptr && process->send(encode, fds)) {
    DecoderMessages ignored;
    CodecReply reply = process->awaitReport(ignored);
    for (const int fd : reply.attached) close(fd);
    if (reply.report) {
      error = reply.report->outcome == CodecOutcome::kDone       ? 0
              : reply.report->error != 0                         ? reply.report->error
              : reply.report->outcome == CodecOutcome::kTooLarge ? ENOMEM
                                                                 : EINVAL;
    }
  }
  close(pixels);
  return error;
}

}  // namespace tesmic
