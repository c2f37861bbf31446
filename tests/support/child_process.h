// Running another program under test control: its own process group, a
// chosen environment and working directory, output captured, time bounded.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tesmic::test {

struct ResourceLimit {
  int resource;  // RLIMIT_AS, RLIMIT_CORE, ...
  rlim_t value;  // both the soft and the hard limit
};

// A change to the inherited environment: a value sets the variable, no value
// removes it. Changes apply in order.
struct EnvironmentChange {
  std::string name;
  std::optional<std::string> value;
};

enum class OutputMode {
  kCapture,
  kDiscard,
  kClosed,      // the descriptor is not open at all in the child
  kNoReader,    // a pipe whose reading end is already closed
};

struct ChildOptions {
  // argv[0] is the program; without a slash it is looked up in PATH.
  std::vector<std::string> argv;
  std::string workingDirectory;  // empty: the test's own
  std::vector<EnvironmentChange> environment;
  std::vector<ResourceLimit> limits;
  OutputMode stdoutMode = OutputMode::kCapture;
  OutputMode stderrMode = OutputMode::kCapture;
};

struct ChildResult {
  bool timedOut = false;  // killed by us, so exitCode and signal say nothing
  bool exited = false;    // ended through exit(); exitCode is valid
  int exitCode = -1;
  int signal = 0;  // the signal that ended it, 0 when it exited
  long peakResidentKb = 0;  // the most memory the child held at once
  double cpuSeconds = 0;    // its CPU time, with that of the children it reaped
  std::string out;
  std::string err;
};

// Describes a result for a failure message: how it ended and what it said.
std::string describe(const ChildResult& result);

// The child runs in a process group of its own and dies with the test
// process, so a crashed test leaves nothing behind. Whatever is still running
// when the object goes is killed with its whole group.
class ChildProcess {
 public:
  // Throws std::runtime_error when the program cannot be started.
  explicit ChildProcess(const ChildOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Reads standard output until it holds a complete first line and returns
  // that line without its newline; nothing when the time runs out or the
  // output ends first. Only for a captured standard output.
  std::optional<std::string> readFirstStdoutLine(std::chrono::milliseconds timeout);

  // Collects output until standard error holds the text, the child ends or
  // the time runs out; true when it holds the text. Never kills.
  bool awaitStderr(const std::string& text, std::chrono::milliseconds timeout);

  // Collects output for up to the given time and tells whether the child has
  // ended by then. Unlike wait(), it never kills.
  bool endsWithin(std::chrono::milliseconds timeout);

  // Waits for the end, collecting the output. On time-out the process group
  // is killed and the result says timedOut.
  ChildResult wait(std::chrono::milliseconds timeout);

  // Kills the whole process group and reaps the child.
  void kill();

  // Asks the group to end (SIGTERM) and kills it if it has not within grace.
  void terminate(std::chrono::milliseconds grace);

 private:
  bool readAvailable(int timeoutMs);  // false once both pipes have ended
  bool reap(bool block);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  long peakResidentKb_ = 0;
  double cpuSeconds_ = 0;
  ChildResult collected_;
};

// Starts, waits and returns the result in one go.
ChildResult runChild(const ChildOptions& options, std::chrono::milliseconds timeout);

// The options changed to run as a user of its own, whom no file belongs to
// and no other process counts against: from copies of the program
// (options.argv[0]) and of the helpers beside it, laid out in folder as
// installed (bin/, lib/tesmic/), which every user may enter. Only root may
// run them.
ChildOptions asUserOfItsOwn(ChildOptions options, const std::string& folder);

// What the descriptors of process pid point at.
std::vector<std::filesystem::path> descriptorTargets(pid_t pid);

// A codec helper (tesmic-codec...) that program started, once it holds a
// descriptor whose target holding accepts (any helper, when holding is
// empty): the file it decodes, the temporary file it encodes into. -1 when
// none does within the time.
pid_t awaitCodecHelper(pid_t program,
                       const std::function<bool(const std::filesystem::path&)>& holding,
                       std::chrono::milliseconds timeout);

}  // namespace tesmic::test
