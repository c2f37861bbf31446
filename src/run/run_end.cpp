#include "run/run_end.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include <opencv2/core.hpp>

#include "platform/exit_codes.h"
#include "run/repeat_command.h"
#include "ui/signal_watch.h"

namespace tesmic {
namespace {

constexpr char kNoMemory[] = "Chyba: nedostatek pameti pro obrazek.";
constexpr char kNoThread[] =
    "Chyba: nelze spustit dalsi vlakno, system jich vic nedovoli (limit poctu procesu, "
    "ulimit -u).";
constexpr char kDisplayLost[] = "Chyba: spojeni s displejem bylo ztraceno, okna se zavrela.";

// The run whose windows are open, for the exit handler: Qt calls exit()
// when its connection to the X server breaks.
std::atomic<RunEnd*> armedForExit{nullptr};
std::atomic<std::terminate_handler> previousTerminate{nullptr};

// std::thread's failure, or a library's worker pool's (oneTBB's text).
bool isThreadFailure(const std::exception_ptr& failure) {
  if (!failure) return false;
  try {
    std::rethrow_exception(failure);
  } catch (const std::system_error& e) {
    return e.code() == std::errc::resource_unavailable_try_again;
  } catch (const std::exception& e) {
    return std::string_view(e.what()).starts_with("pthread_create");
  } catch (...) {
  }
  return false;
}

std::string failureLine(const std::exception_ptr& failure) {
  if (isThreadFailure(failure)) return kNoThread;
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const cv::Exception& e) {
    // e.what() spans several lines with source paths; err is the reason.
    return e.code == cv::Error::StsNoMem ? kNoMemory : "Chyba: detekce selhala: " + e.err;
  } catch (const std::exception& e) {
    return std::string("Chyba: detekce selhala: ") + e.what();
  } catch (...) {
  }
  return "Chyba: detekce selhala.";
}

void printLine(const std::string& line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

RunEnd::Tracking::~Tracking() {
  if (end_.outcome_) end_.kept_ = end_.outcome_();
  end_.outcome_ = nullptr;
}

RunEnd::RunEnd(const RunSettings& settings, std::unique_ptr<MaskFile> maskFile,
               TerminationSignals& signals)
    : programName_(settings.programName),
      imageName_(settings.imageName),
      maskFile_(std::move(maskFile)),
      signals_(signals) {
  previousTerminate.store(std::set_terminate(onTerminate));
}

RunEnd::~RunEnd() {
  RunEnd* self = this;
  armedForExit.compare_exchange_strong(self, nullptr);
  signals_.deferToEventLoop(false);
  std::set_terminate(previousTerminate.load());
}

RunEnd::Tracking RunEnd::track(std::function<Outcome()> outcome) {
  outcome_ = std::move(outcome);
  kept_.reset();
  return Tracking(*this);
}

void RunEnd::windowsOpened() {
  windowsThread_ = std::this_thread::get_id();
  signalWatch_ = std::make_unique<SignalWatch>(signals_.readFd(), [this] { takeNotedSignal(); });
  signals_.deferToEventLoop(true);
  // Registered after Qt's own set-up, so that at exit it runs before Qt's
  // clean-up.
  static const bool registered = std::atexit(onExit) == 0;
  if (registered) armedForExit.store(this);
}

void RunEnd::takeNotedSignal() {
  if (const int signal = signals_.takeSignal(); signal != 0) endBySignal(signal);
}

int RunEnd::finish() {
  if (started_) return code_;
  started_ = true;
  // From here on a signal ends the process at once: no event loop runs.
  signals_.deferToEventLoop(false);
  std::optional<Outcome> outcome = kept_;
  if (!outcome && outcome_) outcome = outcome_();
  if (outcome && outcome->boundsChanged) {
    std::string command(afterInterrupt_ ? 1 : 0, '\n');
    command += repeatCommand(programName_, imageName_, outcome->bounds,
                             maskFile_ ? maskFile_->path() : std::string());
    command += '\n';
    // A full device or a closed pipe would lose the bounds found: say so.
    const bool written = std::fwrite(command.data(), 1, command.size(), stdout) ==
                             command.size() &&
                         std::fflush(stdout) == 0;
    if (!written) {
      printLine("Chyba: prikaz, ktery beh opakuje, nelze vypsat na standardni vystup.");
      code_ = kExitRunFailed;
    }
  }
  if (maskFile_ != nullptr) {
    std::string failure;
    if (!outcome || outcome->mask.empty()) {
      maskFile_->discard();  // nothing was computed to keep
    } else if (!maskFile_->write(outcome->mask, failure)) {
      printLine(failure);
      code_ = kExitRunFailed;
    }
  }
  // A signal noted just before the end began still ends the process.
  takeNotedSignal();
  return code_;
}

void RunEnd::endBySignal(int signal) {
  // Ctrl+C in a terminal: the "^C" it echoed stands where the cursor was.
  afterInterrupt_ = signal == SIGINT && isatty(STDOUT_FILENO) == 1;
  finish();
  std::fflush(stdout);
  ::tesmic::endBySignal(signal);
}

int RunEnd::fail(std::exception_ptr failure) {
  const std::string line = failureLine(failure);
  finish();
  printLine(line);
  return kExitRunFailed;
}

void RunEnd::onExit() {
  if (RunEnd* end = armedForExit.exchange(nullptr)) end->endForLostDisplay();
}

void RunEnd::endForLostDisplay() {
  // exit() leaves the stack as it was, so what the outcome refers to on the
  // windows' thread is still there; another thread only removes the
  // temporary file, as the windows' thread may be using the rest.
  if (std::this_thread::get_id() == windowsThread_) {
    try {
      finish();
    } catch (...) {
    }
  } else {
    TerminationSignals::removeFileNow();
  }
  printLine(kDisplayLost);
  _exit(kExitNoDisplay);
}

void RunEnd::onTerminate() {
  TerminationSignals::removeFileNow();
  if (isThreadFailure(std::current_exception())) {
    printLine(kNoThread);
    _exit(kExitRunFailed);
  }
  if (const std::terminate_handler previous = previousTerminate.load()) previous();
  std::abort();
}

}  // namespace tesmic
