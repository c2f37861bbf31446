#include "codec/codec_service.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <vector>

#include "codec/confinement.h"
#include "platform/memory_budget.h"

namespace tesmic {
namespace {

// Per megapixel of a noisy 12-megapixel photo, CPU time needed: JPEG 2000
// 173 ms, WebP 50, PNG and TIFF 28, JPEG 18. A header takes next to none.
constexpr double kBaseSeconds = 2.0;
constexpr double kSecondsPerMegapixel = 1.0;
// The most compressible honest JPEG here, a flat 20000 x 20000 progressive
// one of 2.4 MB, takes 9.1 s of the 11.5 this allows; a file made to stall
// its decoder (a JPEG of 150,000 empty scans is 1.5 MB) ends within 10 s.
constexpr double kSecondsPerJpegMegabyte = 4.0;
// Never more for the helper's whole life, whatever it asks for.
constexpr rlim_t kCpuSecondsCeiling = 3600;

double cpuSpent() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::uint64_t addressSpaceFor(std::uint64_t headroom) {
#if defined(__SANITIZE_ADDRESS__)
  (void)headroom;
  return 0;  // AddressSanitizer's shadow memory alone exceeds any limit
#else
  if (headroom == std::numeric_limits<std::uint64_t>::max()) return 0;
  // What is mapped already (the libraries) plus the run's budget: the
  // codecs' buffers and the image count against what the run may take.
  return readMemoryReadings().addressSpaceUsed.value_or(0) + headroom;
#endif
}

void setAllowance(double spentBefore, double seconds) {
  setCpuLimit(static_cast<std::uint64_t>(std::ceil(spentBefore + seconds)));
}

// The bound a JPEG's size sets; none for any other file.
double fileBound(int file) {
  unsigned char start[3] = {};
  struct stat status {};
  const bool jpeg = pread(file, start, sizeof start, 0) == sizeof start && start[0] == 0xFF &&
                    start[1] == 0xD8 && start[2] == 0xFF && fstat(file, &status) == 0;
  return jpeg ? CpuAllowance::jpegFileSecondsFor(std::uint64_t(status.st_size))
              : std::numeric_limits<double>::infinity();
}

bool confineFor(const CodecRequest& first, const std::vector<int>& fds, const Codec& codec) {
  ConfinementLimits limits;
  if (first.kind == CodecRequestKind::kDecode && codec.opensFileByName() && fds.size() == 1) {
    limits.readableFile = fds[0];
  }
  limits.addressSpaceBytes = addressSpaceFor(first.headroom);
  limits.cpuSeconds = static_cast<std::uint64_t>(std::ceil(cpuSpent() + kBaseSeconds));
  limits.cpuSecondsCeiling = kCpuSecondsCeiling;
  return confineProcess(limits);
}

CodecReport serve(Codec& codec, const CodecRequest& request, const std::vector<int>& fds,
                  int& attach) {
  switch (request.kind) {
    case CodecRequestKind::kDecode:
      if (fds.size() != 1) break;
      return codec.decode(fds[0], request.headroom, CpuAllowance(fds[0]), attach);
    case CodecRequestKind::kEncode:
      if (fds.size() != 2 || request.extension[sizeof request.extension - 1] != '\0') break;
      return codec.encode(request, fds[0], fds[1], CpuAllowance());
  }
  return CodecReport{};
}

}  // namespace

CpuAllowance::CpuAllowance()
    : spentBefore_(cpuSpent()), bound_(std::numeric_limits<double>::infinity()) {
  setAllowance(spentBefore_, pixelSecondsFor(0));
}

CpuAllowance::CpuAllowance(int file) : spentBefore_(cpuSpent()), bound_(fileBound(file)) {
  setAllowance(spentBefore_, std::min(pixelSecondsFor(0), bound_));
}

void CpuAllowance::allowPixels(double pixels) const {
  setAllowance(spentBefore_, std::min(pixelSecondsFor(pixels), bound_));
}

double CpuAllowance::pixelSecondsFor(double pixels) {
  return kBaseSeconds + kSecondsPerMegapixel * pixels / 1e6;
}

double CpuAllowance::jpegFileSecondsFor(std::uint64_t fileBytes) {
  return kBaseSeconds + kSecondsPerJpegMegabyte * double(fileBytes) / 1e6;
}

bool prepareHelperProcess() {
  if (fcntl(kChannelDescriptor, F_GETFD) < 0) return false;
  close_range(kChannelDescriptor + 1, ~0U, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  return true;
}

void serveCodecRequests(Codec& codec) {
  bool confined = false;
  for (;;) {
    std::vector<int> fds;
    const std::optional<CodecRequest> request =
        receiveCodecMessage<CodecRequest>(kChannelDescriptor, fds);
    // The program closed its end, or sent what no program of ours sends.
    if (!request) _exit(0);
    CodecReport report;
    int attach = -1;
    if (!confined && !confineFor(*request, fds, codec)) {
      report.outcome = CodecOutcome::kNotConfined;
    } else {
      confined = true;
      report = serve(codec, *request, fds, attach);
    }
    const bool sent = sendCodecMessage(kChannelDescriptor, report,
                                       attach >= 0 ? std::span<const int>(&attach, 1)
                                                   : std::span<const int>());
    for (const int fd : fds) close(fd);
    codec.release();
    // Nothing may be parsed unconfined; nobody reads a helper that cannot answer.
    if (!confined || !sent) _exit(1);
  }
}

}  // namespace tesmic
