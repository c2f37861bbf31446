// One codec helper process, from the program's side: starting it, sending
// it a request and waiting for the report, ending it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/codec_protocol.h"
#include "codec/decoder_messages.h"

namespace tesmic {

// How a request ended.
struct CodecReply {
  std::optional<CodecReport> report;  // nothing when the helper died first
  std::vector<int> attached;          // the descriptors sent with it; the caller's to close
  int status = 0;                     // how the helper ended (waitpid), when it died
};

class CodecProcess {
 public:
  CodecProcess() = default;
  ~CodecProcess();  // ends a helper still running
  CodecProcess(CodecProcess&& other) noexcept;
  CodecProcess& operator=(CodecProcess&& other) noexcept;
  CodecProcess(const CodecProcess&) = delete;
  CodecProcess& operator=(const CodecProcess&) = delete;

  // Starts the helper of this name (codec_protocol.h) from helperPath(),
  // refusing one that whyHelperIsUntrusted() rejects; on failure, why, in
  // Czech. The helper holds its end of the socket at kChannelDescriptor,
  // /dev/null for input and output, a pipe for its messages and nothing
  // else: whatever else the program has open is closed in it before it
  // runs. It is killed when the thread that started it ends (the
  // parent-death signal is armed before it runs a single instruction of its
  // own, and the start fails if the parent had already gone), and ignores
  // the signals a terminal sends its whole process group, so that Ctrl+C
  // ends the run through the program, which may still need the helper.
  static std::optional<CodecProcess> start(const char* name, std::string& why);

  bool running() const { return pid_ > 0; }

  // Sends one request with its descriptors (they stay the caller's).
  bool send(const CodecRequest& request, std::span<const int> fds);

  // Waits for the report to the request sent, collecting the helper's
  // messages into messages meanwhile. When the helper died instead, it is
  // reaped and the reply says how it ended; it no longer runs.
  CodecReply awaitReport(DecoderMessages& messages);

  // Kills and reaps the helper; closes what is open.
  void stop();

 private:
  bool readMessages(DecoderMessages& messages);  // false at the end of the pipe

  pid_t pid_ = -1;
  int channel_ = -1;   // our end of the socket pair
  int messages_ = -1;  // the helper's standard error
};

}  // namespace tesmic
