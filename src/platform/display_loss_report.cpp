#include "platform/display_loss_report.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/exit_codes.h"

namespace tesmic {
namespace {

struct Armed {
  std::function<void()> endOfRun;
  std::thread::id thread;
};

std::atomic<const Armed*> armed{nullptr};

// exit() leaves the stack as it was, so what endOfRun refers to on the
// thread that armed the report is still there.
void reportLostDisplay() {
  const Armed* report = armed.exchange(nullptr);
  if (report == nullptr) return;
  if (report->thread == std::this_thread::get_id()) {
    try {
      report->endOfRun();
    } catch (...) {
    }
  }
  std::fflush(stdout);
  std::fputs("Chyba: spojeni s displejem bylo ztraceno, okna se zavrela.\n", stderr);
  std::fflush(stderr);
  _exit(kExitNoDisplay);
}

}  // namespace

DisplayLossReport::DisplayLossReport(std::function<void()> endOfRun) {
  // Registered after Qt's own set-up, so that at exit it runs before Qt's
  // clean-up.
  static const bool registered = std::atexit(reportLostDisplay) == 0;
  if (registered) armed.store(new Armed{std::move(endOfRun), std::this_thread::get_id()});
}

DisplayLossReport::~DisplayLossReport() { delete armed.exchange(nullptr); }

}  // namespace tesmic
