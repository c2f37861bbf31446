#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <fstream>
#include <thread>
#include <utility>

extern char** environ;

namespace tesmic::test {
namespace {

using Clock = std::chrono::steady_clock;

// How long the output may stay open after the child has gone (a grandchild
// holding the pipes) before it is given up.
constexpr auto kOutputGrace = std::chrono::seconds(1);

std::string errnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool hasName(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
         entry[name.size()] == '=';
}

// Applied in order, so a later change to a variable wins.
std::vector<std::string> childEnvironment(const std::vector<EnvironmentChange>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) result.emplace_back(*entry);
  for (const EnvironmentChange& change : changes) {
    std::erase_if(result, [&](const std::string& entry) { return hasName(entry, change.name); });
    if (change.value) result.push_back(change.name + "=" + *change.value);
  }
  return result;
}

std::string resolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos) end = directories.size();
    std::string candidate = directories.substr(start, end - start);
    candidate = (candidate.empty() ? "." : candidate) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  throw std::runtime_error(program + " not found in PATH");
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

[[noreturn]] void failInChild(int errorFd) {
  const int error = errno;
  [[maybe_unused]] ssize_t ignored = write(errorFd, &error, sizeof error);
  _exit(127);
}

// Runs in the forked child, so only async-signal-safe calls: everything it
// needs was prepared before the fork. Reports a failure through errorFd.
[[noreturn]] void becomeChild(const char* program, char* const* argv, char* const* envp,
                              const char* workingDirectory,
                              const std::vector<ResourceLimit>& limits, pid_t parent,
                              int nullFd, int outFd, int errFd, int errorFd) {
  auto fail = [errorFd]() { failInChild(errorFd); };
  setpgid(0, 0);
  // Dies with the test process instead of outliving a crashed or killed test.
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) fail();
  if (getppid() != parent) _exit(127);
  // As a terminal starts a program: whatever ran the tests (a script's
  // background job ignores SIGINT and SIGQUIT) changes nothing.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (const int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE}) {
    sigaction(signal, &defaults, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (*workingDirectory != '\0' && chdir(workingDirectory) != 0) fail();
  for (const ResourceLimit& limit : limits) {
    const rlimit value{limit.value, limit.value};
    if (setrlimit(limit.resource, &value) != 0) fail();
  }
  if (dup2(nullFd, STDIN_FILENO) < 0) fail();
  for (const auto& [from, to] : {std::pair{outFd, STDOUT_FILENO}, std::pair{errFd, STDERR_FILENO}}) {
    if (from < 0) {
      close(to);
    } else if (dup2(from, to) < 0) {
      fail();
    }
  }
  execve(program, argv, envp);
  failInChild(errorFd);
}

}  // namespace

std::string describe(const ChildResult& result) {
  std::string text;
  if (result.timedOut) {
    text = "timed out and was killed";
  } else if (result.exited) {
    text = "exited with code " + std::to_string(result.exitCode);
  } else {
    text = "killed by signal " + std::to_string(result.signal) + " (" +
           strsignal(result.signal) + ")";
  }
  return text + "\n--- stdout ---\n" + result.out + "\n--- stderr ---\n" + result.err;
}

ChildProcess::ChildProcess(const ChildOptions& options) {
  if (options.argv.empty()) throw std::invalid_argument("no program to run");
  const std::string program = resolveProgram(options.argv.front());
  std::vector<std::string> argvStrings = options.argv;
  std::vector<std::string> envStrings = childEnvironment(options.environment);
  const std::vector<char*> argv = pointersTo(argvStrings);
  const std::vector<char*> envp = pointersTo(envStrings);

  int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  int execPipe[2] = {-1, -1};
  auto closeAll = [&]() {
    for (int* fd : {&nullFd, &outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1],
                    &execPipe[0], &execPipe[1]}) {
      closeFd(*fd);
    }
  };
  const auto needsPipe = [](OutputMode mode) {
    return mode == OutputMode::kCapture || mode == OutputMode::kNoReader;
  };
  if (nullFd < 0 || pipe2(execPipe, O_CLOEXEC) != 0 ||
      (needsPipe(options.stdoutMode) && pipe2(outPipe, O_CLOEXEC) != 0) ||
      (needsPipe(options.stderrMode) && pipe2(errPipe, O_CLOEXEC) != 0)) {
    const int error = errno;
    closeAll();
    throw std::runtime_error(errnoText("cannot create pipes", error));
  }

  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    const int error = errno;
    closeAll();
    throw std::runtime_error(errnoText("fork failed", error));
  }
  if (pid_ == 0) {
    const auto target = [nullFd](OutputMode mode, int pipeEnd) {
      return mode == OutputMode::kClosed ? -1 : pipeEnd >= 0 ? pipeEnd : nullFd;
    };
    becomeChild(program.c_str(), argv.data(), envp.data(), options.workingDirectory.c_str(),
                options.limits, parent, nullFd, target(options.stdoutMode, outPipe[1]),
                target(options.stderrMode, errPipe[1]), execPipe[1]);
  }
  // Also here, so that killing the group cannot race the child's own call.
  setpgid(pid_, pid_);

  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  outPipe[0] = errPipe[0] = -1;
  if (options.stdoutMode == OutputMode::kNoReader) closeFd(outFd_);
  if (options.stderrMode == OutputMode::kNoReader) closeFd(errFd_);
  closeFd(execPipe[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = read(execPipe[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  closeAll();
  if (got > 0) {
    reap(true);
    closeFd(outFd_);
    closeFd(errFd_);
    throw std::runtime_error(errnoText("cannot start " + program, childError));
  }
}

ChildProcess::~ChildProcess() {
  kill();
  closeFd(outFd_);
  closeFd(errFd_);
}

bool ChildProcess::readAvailable(int timeoutMs) {
  pollfd fds[2];
  int* owners[2];
  nfds_t count = 0;
  for (int* fd : {&outFd_, &errFd_}) {
    if (*fd < 0) continue;
    fds[count] = {*fd, POLLIN, 0};
    owners[count++] = fd;
  }
  if (count == 0) return false;
  if (poll(fds, count, timeoutMs) < 0) return true;  // EINTR: try again later
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[65536];
    const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      std::string& sink = owners[i] == &outFd_ ? collected_.out : collected_.err;
      sink.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      closeFd(*owners[i]);
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool ChildProcess::reap(bool block) {
  if (reaped_) return true;
  pid_t done;
  rusage usage{};
  do {
    done = wait4(pid_, &status_, block ? 0 : WNOHANG, &usage);
  } while (done < 0 && errno == EINTR);
  if (done == pid_) {
    peakResidentKb_ = usage.ru_maxrss;
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    cpuSeconds_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  if (done == pid_) {
    reaped_ = true;
    // Anything the child left behind in its group goes with it.
    ::kill(-pid_, SIGKILL);
  }
  return reaped_;
}

std::optional<std::string> ChildProcess::readFirstStdoutLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t newline = collected_.out.find('\n');
    if (newline != std::string::npos) return collected_.out.substr(0, newline);
    if (outFd_ < 0 || Clock::now() >= deadline) return std::nullopt;
    readAvailable(10);
  }
}

bool ChildProcess::awaitStderr(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (collected_.err.find(text) == std::string::npos) {
    if (!readAvailable(10)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (reap(false) || Clock::now() >= deadline) {
      readAvailable(0);
      return collected_.err.find(text) != std::string::npos;
    }
  }
  return true;
}

bool ChildProcess::endsWithin(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (!readAvailable(10)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (reap(false)) return true;
    if (Clock::now() >= deadline) return false;
  }
}

ChildResult ChildProcess::wait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::optional<Clock::time_point> endedAt;
  bool timedOut = false;
  for (;;) {
    const bool outputOpen = readAvailable(10);
    if (!outputOpen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (reap(false) && !endedAt) endedAt = Clock::now();
    if (endedAt && (!outputOpen || Clock::now() - *endedAt > kOutputGrace)) break;
    if (Clock::now() >= deadline) {
      timedOut = true;
      kill();
      break;
    }
  }
  closeFd(outFd_);
  closeFd(errFd_);

  ChildResult result = collected_;
  result.timedOut = timedOut;
  result.exited = WIFEXITED(status_);
  result.exitCode = result.exited ? WEXITSTATUS(status_) : -1;
  result.signal = WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
  result.peakResidentKb = peakResidentKb_;
  result.cpuSeconds = cpuSeconds_;
  return result;
}

void ChildProcess::kill() {
  if (pid_ <= 0 || reaped_) return;
  ::kill(-pid_, SIGKILL);
  reap(true);
}

void ChildProcess::terminate(std::chrono::milliseconds grace) {
  if (pid_ <= 0 || reaped_) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = Clock::now() + grace;
  while (!reap(false) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill();
}

ChildResult runChild(const ChildOptions& options, std::chrono::milliseconds timeout) {
  ChildProcess child(options);
  return child.wait(timeout);
}

ChildOptions asUserOfItsOwn(ChildOptions options, const std::string& folder) {
  namespace fs = std::filesystem;
  // Installed as under a prefix of its own: the program in bin/, where only
  // root may write, its helpers in lib/tesmic/.
  const fs::path program = options.argv.at(0);
  const fs::path bin = fs::path(folder) / "bin";
  const fs::path helpers = fs::path(folder) / "lib" / "tesmic";
  fs::create_directories(bin);
  fs::create_directories(helpers);
  fs::copy_file(program, bin / program.filename(), fs::copy_options::overwrite_existing);
  for (const char* helper : {"tesmic-codec", "tesmic-codec-opencv"}) {
    fs::copy_file(program.parent_path() / helper, helpers / helper,
                  fs::copy_options::overwrite_existing);
  }
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  options.argv[0] = (bin / program.filename()).string();
  const std::string user = std::to_string(3'000'000 + getpid() % 100'000);
  options.argv.insert(options.argv.begin(), {"setpriv", "--reuid=" + user, "--regid=" + user,
                                             "--clear-groups", "--"});
  return options;
}

std::vector<std::filesystem::path> descriptorTargets(pid_t pid) {
  namespace fs = std::filesystem;
  std::vector<fs::path> targets;
  std::error_code error;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    targets.push_back(fs::read_symlink(fd.path(), error));
  }
  return targets;
}

pid_t awaitCodecHelper(pid_t program,
                       const std::function<bool(const std::filesystem::path&)>& holding,
                       std::chrono::milliseconds timeout) {
  namespace fs = std::filesystem;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::string tasks = "/proc/" + std::to_string(program) + "/task";
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
      std::ifstream children(task.path() / "children");
      for (pid_t child = 0; children >> child;) {
        const fs::path exe = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", error);
        if (error || !exe.filename().string().starts_with("tesmic-codec")) continue;
        if (!holding) return child;
        for (const fs::path& target : descriptorTargets(child)) {
          if (holding(target)) return child;
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return -1;
}

}  // namespace tesmic::test
