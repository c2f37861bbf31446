// A codec helper's side of the protocol (codec_protocol.h): it waits for
// the program's requests, confines itself before the first, and answers
// each with one report, until the program closes its end.
#pragma once

#include <cstdint>

#include "codec/codec_protocol.h"

namespace tesmic {

// The CPU time one request may take. RLIMIT_CPU counts the whole life of
// the process, so each request's allowance is added to what was spent
// before it; its signal (SIGXCPU) ends the helper, which the program
// reports as a decode out of time.
class CpuAllowance {
 public:
  // For an encode: enough for any header at first (pixelSecondsFor(0)).
  CpuAllowance();
  // For decoding the open file: the same at first, and for a JPEG never
  // more than its size can justify (jpegFileSecondsFor), whatever size the
  // file declares: a progressive JPEG decodes every block once per scan,
  // and a small file can hold a hundred thousand scans. The other formats
  // cost no more than their pixels do.
  explicit CpuAllowance(int file);

  // Raises the allowance for an image of so many pixels (pixelSecondsFor),
  // within the bound of a JPEG's size.
  void allowPixels(double pixels) const;

  // The bounds, in seconds: per megapixel about six times what the slowest
  // decoder here needs for an honest image; per megabyte of a JPEG enough
  // for the most compressible honest one of any size.
  static double pixelSecondsFor(double pixels);
  static double jpegFileSecondsFor(std::uint64_t fileBytes);

 private:
  double spentBefore_;
  double bound_;
};

// What a helper does with the requests it is sent.
class Codec {
 public:
  virtual ~Codec() = default;

  // Whether decoding opens the file once more by a name (/proc/self/fd/N),
  // which the confinement must then leave readable.
  virtual bool opensFileByName() const = 0;

  // Decodes the open file. On kDone, pixels is a sealed memfd holding the
  // image, which stays the codec's until the next request.
  virtual CodecReport decode(int file, std::uint64_t headroom, const CpuAllowance& cpu,
                             int& pixels) = 0;

  // Writes the image in the memfd pixels (as the request describes it) into
  // file, in the format of the request's extension.
  virtual CodecReport encode(const CodecRequest& request, int pixels, int file,
                             const CpuAllowance& cpu) = 0;

  // Lets go of what the last request left (the decoded image).
  virtual void release() = 0;
};

// Serves requests on kChannelDescriptor until the program closes its end,
// then ends the process. Before the first request is parsed the process is
// confined (confinement.h) for good: address space within the run's
// headroom, CPU time as CpuAllowance grants it, no new privileges, only the
// descriptors it holds (with Landlock, no file at all but the image, and
// that only for a codec that opens it by name), and the system calls
// decoding and encoding need.
[[noreturn]] void serveCodecRequests(Codec& codec);

// Makes the process ready to serve, first thing in the helper's main: any
// descriptor above the channel that whoever started it left open is closed,
// and the helper ends with the program that started it. False when it was
// not started as a helper (no channel).
bool prepareHelperProcess();

}  // namespace tesmic
