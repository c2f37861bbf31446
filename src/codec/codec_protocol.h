// What the program and its codec helpers agree on: which helpers there are,
// the requests the program sends and the one report that answers each.
//
// A helper is started with no arguments and serves requests on a socket
// until the program closes its end: it confines itself when the first
// request comes (the limits depend on it) and parses nothing before.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tesmic {

// The helper started first in every run: JPEG, PNG, TIFF and WebP through
// their own libraries, and PNG written.
inline constexpr const char* kLightHelperName = "tesmic-codec";
// The helper with OpenCV's codecs, started only for a file or a mask format
// the light one leaves to it.
inline constexpr const char* kOpenCvHelperName = "tesmic-codec-opencv";

// The helper's end of a SOCK_SEQPACKET socket pair: one message a request,
// one a report.
inline constexpr int kChannelDescriptor = 3;

enum class CodecRequestKind : std::int32_t {
  kDecode,  // attached: the image file, open for reading
  kEncode,  // attached: the image in a sealed memfd, then the file to write
};

struct CodecRequest {
  CodecRequestKind kind = CodecRequestKind::kDecode;
  std::int32_t rows = 0;  // encode: the image in the memfd, rows one after
  std::int32_t cols = 0;  // the other, of OpenCV's type
  std::int32_t type = 0;
  // The bytes the run may still take (memoryHeadroom): the helper's address
  // space is limited by it and an image whose run would not fit is refused.
  std::uint64_t headroom = 0;
  char extension[16] = {};  // encode: the format, as a file name ends (".png")
};

enum class CodecOutcome : std::int32_t {
  kDone,           // decoded (rows x cols of type, the memfd attached), or written
  kFailed,         // not an image, refused by its codec, or not written (error)
  kTooLarge,       // the image or its codec's buffers would not fit in the memory
  kNotConfined,    // the confinement could not be set up; nothing was parsed
  kNotMine,        // a format or variant this helper leaves to the OpenCV one
  kFileSizeLimit,  // the pixels would pass the limit on file sizes (ulimit -f)
};

struct CodecReport {
  CodecOutcome outcome = CodecOutcome::kFailed;
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::int32_t type = 0;     // always CV_8UC3 when decoded
  std::int32_t damaged = 0;  // decoded, but the decoder reported damage to the pixels
  std::int32_t error = 0;    // encode: the errno of the failed write, else 0
};

// Sends one message with the descriptors attached (at most two).
bool sendCodecMessage(int socket, const void* data, std::size_t size, std::span<const int> fds);

// Receives one whole message of exactly size bytes into data, and the
// descriptors attached to it (the caller closes them). False when the
// socket ended or the message was of another size; then none are kept.
bool receiveCodecMessage(int socket, void* data, std::size_t size, std::vector<int>& fds);

template <typename Message>
bool sendCodecMessage(int socket, const Message& message, std::span<const int> fds = {}) {
  return sendCodecMessage(socket, &message, sizeof message, fds);
}

template <typename Message>
std::optional<Message> receiveCodecMessage(int socket, std::vector<int>& fds) {
  Message message{};
  if (!receiveCodecMessage(socket, &message, sizeof message, fds)) return std::nullopt;
  return message;
}

}  // namespace tesmic
