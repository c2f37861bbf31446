// Starting tesmic-codec and collecting what it answers, for either role.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "codec/codec_protocol.h"
#include "codec/decoder_messages.h"

namespace tesmic {

struct CodecHelper {
  pid_t pid = -1;
  int report = -1;    // our end of the report socket
  int messages = -1;  // the helper's standard error
};

// Starts the helper with arguments after its name (the role first), the
// report socket at kReportDescriptor, standard error a pipe, and passed[i]
// at kFirstPassedDescriptor + i. The helper lies in TESMIC_CODEC_DIR beside
// the program's bin/ once installed, beside the program in the build tree.
// Nothing when it cannot be found or started.
std::optional<CodecHelper> startCodecHelper(const std::vector<std::string>& arguments,
                                            const std::vector<int>& passed = {});

struct CodecEnd {
  std::optional<CodecReport> report;  // nothing when it ended without one
  int attached = -1;                  // the descriptor sent with it; ours to close
  int status = 0;                     // as waitpid() tells it
};

// Reads the helper's standard error into messages and its report until
// both end, then reaps it. The helper never blocks on a full pipe.
CodecEnd finishCodecHelper(CodecHelper& helper, DecoderMessages& messages);

// Kills and reaps a helper that is still running; closes what is open.
void stopCodecHelper(CodecHelper& helper);

}  // namespace tesmic
