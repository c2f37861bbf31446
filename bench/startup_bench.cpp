// How long tesmic takes to start: a run that fails at once (a missing file:
// little beyond loading the libraries) and, where there is a display, the
// time until both windows of the built-in example are on the screen.
#include "startup_bench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tesmic::bench {
namespace {

using Clock = std::chrono::steady_clock;

pid_t start(const char* directory, std::initializer_list<const char*> arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string command = std::string("cd '") + directory + "' && exec \"$0\" \"$@\"";
  std::vector<char*> argv = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                             const_cast<char*>(command.c_str())};
  for (const char* a : arguments) argv.push_back(const_cast<char*>(a));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "sh", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool viewable(Display* display, Window window, const char* title) {
  char* name = nullptr;
  bool match = XFetchName(display, window, &name) != 0 && name != nullptr &&
               std::string(name) == title;
  if (name != nullptr) XFree(name);
  XWindowAttributes attributes;
  return match && XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

// Whether both windows are on the screen (top-level windows only: without a
// window manager the toolkit's windows are children of the root).
bool bothShown(Display* display) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
    return false;
  }
  bool mask = false;
  bool picture = false;
  for (unsigned int i = 0; i < count; ++i) {
    mask = mask || viewable(display, children[i], "Vysledek");
    picture = picture || viewable(display, children[i], "ORIG");
  }
  if (children != nullptr) XFree(children);
  return mask && picture;
}

void timeMissingFile(benchmark::State& state) {
  for (auto _ : state) {
    const auto begin = Clock::now();
    const pid_t pid = start("/", {TESMIC_BINARY, "/nonexistent.jpg", "1", "2", "3", "4", "5", "6"});
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || WEXITSTATUS(status) != 1) {
      state.SkipWithError("tesmic did not end with exit code 1");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
  }
}

void timeToWindows(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    state.SkipWithError("needs a display (DISPLAY)");
    return;
  }
  for (auto _ : state) {
    const auto begin = Clock::now();
    const pid_t pid = start(TESMIC_SAMPLE_DIR, {TESMIC_BINARY});
    const auto deadline = begin + std::chrono::seconds(20);
    bool shown = false;
    while (pid > 0 && !(shown = bothShown(display)) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const auto end = Clock::now();
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (!shown) {
      state.SkipWithError("the windows did not appear");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    XSync(display, True);
  }
  XCloseDisplay(display);
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

void registerStartupBenchmarks() {
  using Timed = void (*)(benchmark::State&);
  const std::pair<const char*, Timed> benchmarks[] = {
      {"startup/missing_file", timeMissingFile},
      {"startup/to_windows_800x600", timeToWindows}};
  for (const auto& [name, function] : benchmarks) {
    benchmark::RegisterBenchmark(name, function)
        ->Iterations(1)->Repetitions(9)->ComputeStatistics("min", minimum)
        ->ReportAggregatesOnly(true)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
}

}  // namespace tesmic::bench
