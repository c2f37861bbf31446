// What the program and its image helper (tesmic-codec) agree on: how the
// helper is called, and the one report it sends back.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmic {

// The helper's file name: beside the program in the build tree, in
// lib/tesmic/ of the prefix once installed.
inline constexpr const char* kCodecHelperName = "tesmic-codec";

// argv[1] of the helper: what it is asked to do.
// Decoding takes the image's name and the bytes the run may still take
// (memoryHeadroom), in decimal; it answers with the pixels attached.
inline constexpr const char* kDecodeRole = "decode";
// Encoding takes the file name extension that picks the format (".png"),
// the image's rows, cols and type and the bytes the run may still take; it
// reads the image from a sealed memfd at kFirstPassedDescriptor and writes
// the file to the descriptor after it.
inline constexpr const char* kEncodeRole = "encode";

// The helper's end of a Unix socket pair: one CodecReport goes back on it,
// with the pixels' sealed memfd attached when it decoded an image. The
// codecs' own messages go to its standard error, a pipe the program reads.
inline constexpr int kReportDescriptor = 3;
// Descriptors a role is handed, from here on.
inline constexpr int kFirstPassedDescriptor = 4;

enum class CodecOutcome : std::int32_t {
  kDone,         // decoded: rows x cols of type, in the attached memfd
  kFailed,       // not a regular file, not an image, refused by its codec
  kTooLarge,     // the image or its codec's buffers would not fit in the memory
  kNotConfined,  // the confinement could not be set up; nothing was parsed
};

struct CodecReport {
  CodecOutcome outcome;
  std::int32_t rows;
  std::int32_t cols;
  std::int32_t type;       // always CV_8UC3 when decoded
  std::int32_t error = 0;  // encoding: the errno of the write that failed
};

}  // namespace tesmic

namespace tesmic {

// Sends report on socket, with fd attached unless it is -1.
bool sendCodecReport(int socket, const CodecReport& report, int fd);

// Receives one report and the descriptor attached to it (-1 when none; the
// caller closes it). Nothing when the socket ended before a whole report.
std::optional<CodecReport> receiveCodecReport(int socket, int& fd);

}  // namespace tesmic
