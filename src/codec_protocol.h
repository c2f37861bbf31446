// What the program and its image helper (tesmic-codec) agree on: how the
// helper is called, and the one report it sends back.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmic {

// The helper's file name: beside the program in the build tree, in
// lib/tesmic/ of the prefix once installed.
inline constexpr const char* kCodecHelperName = "tesmic-codec";

// argv[1] of the helper: what it is asked to do. Decoding takes the image's
// name, the bytes the run may still take (memoryHeadroom) in decimal, and
// answers on kReportDescriptor.
inline constexpr const char* kDecodeRole = "decode";

// The helper's end of a Unix socket pair: one DecodeReport goes back on it,
// with the pixels' sealed memfd attached when it decoded an image. The
// decoders' own messages go to its standard error, a pipe the program reads.
inline constexpr int kReportDescriptor = 3;

enum class DecodeOutcome : std::int32_t {
  kDecoded,     // rows x cols of type, in the attached memfd
  kUnreadable,  // not a regular file, not an image, or refused by its decoder
  kTooLarge,    // the image or its decoder's buffers would not fit in the memory
  kNotConfined, // the confinement could not be set up; nothing was parsed
};

struct DecodeReport {
  DecodeOutcome outcome;
  std::int32_t rows;
  std::int32_t cols;
  std::int32_t type;  // always CV_8UC3 when decoded
};

}  // namespace tesmic

namespace tesmic {

// Sends report on socket, with fd attached unless it is -1.
bool sendDecodeReport(int socket, const DecodeReport& report, int fd);

// Receives one report and the descriptor attached to it (-1 when none; the
// caller closes it). Nothing when the socket ended before a whole report.
std::optional<DecodeReport> receiveDecodeReport(int socket, int& fd);

}  // namespace tesmic
