// How long tesmic takes to start: a run that fails at once (a missing file:
// little beyond loading the libraries) and, where there is a display, the
// time until both windows are on the screen, for the built-in example and
// for a 12-megapixel JPEG.
#include "startup_bench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <X11/Xlib.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace tesmic::bench {
namespace {

using Clock = std::chrono::steady_clock;

pid_t start(const std::string& directory, const std::vector<std::string>& arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string command = "cd '" + directory + "' && exec \"$0\" \"$@\"";
  std::vector<char*> argv = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                             const_cast<char*>(command.c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
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

// Seconds from launch to the exit with code 1; negative when it ends otherwise.
double secondsOnMissingFile(const std::string& program) {
  const auto begin = Clock::now();
  const pid_t pid = start("/", {program, "/nonexistent.jpg", "1", "2", "3", "4", "5", "6"});
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || WEXITSTATUS(status) != 1) return -1;
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// Seconds from launch until both windows are on the screen; negative when
// they do not appear.
double secondsToWindows(Display* display, const std::string& program, const std::string& image) {
  const auto begin = Clock::now();
  const pid_t pid = start(TESMIC_SAMPLE_DIR, {program, image, "175", "30", "160", "240", "90", "0"});
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
  XSync(display, True);
  return shown ? std::chrono::duration<double>(end - begin).count() : -1;
}

// Times run(program) per iteration; with a baseline program, runs that one
// too in each iteration, taking turns at going first, and reports its time
// as the counter baseline_ms, so that both see the same moments of a noisy
// machine.
template <typename Run>
void timeAgainstBaseline(benchmark::State& state, const std::string& program,
                         const std::optional<std::string>& baseline, Run run) {
  double baselineSeconds = 0;
  int turn = 0;
  for (auto _ : state) {
    double seconds = -1;
    double other = 0;
    if (baseline && turn % 2 == 0) other = run(*baseline);
    seconds = run(program);
    if (baseline && turn % 2 == 1) other = run(*baseline);
    ++turn;
    if (seconds < 0 || other < 0) {
      state.SkipWithError("a run did not end as expected");
      return;
    }
    state.SetIterationTime(seconds);
    baselineSeconds += other;
  }
  if (baseline) state.counters["baseline_ms"] = 1e3 * baselineSeconds / turn;
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// A 12-megapixel photo as a camera writes it: smooth colour with grain.
std::string writeLargeJpeg() {
  const std::string path = (std::filesystem::temp_directory_path() / "tesmic-bench-12mp.jpg").string();
  cv::Mat photo(3000, 4000, CV_8UC3);
  cv::randu(photo, 0, 255);
  cv::GaussianBlur(photo, photo, cv::Size(0, 0), 8.0);
  cv::Mat grain(photo.size(), CV_8UC3);
  cv::randu(grain, 0, 24);
  photo += grain;
  cv::imwrite(path, photo, {cv::IMWRITE_JPEG_QUALITY, 92});
  return path;
}

}  // namespace

void registerStartupBenchmarks() {
  // Another build of the program, timed in the same iterations (before and
  // after a change): TESMIC_STARTUP_BASELINE=/path/to/tesmic.
  std::optional<std::string> baseline;
  if (const char* path = std::getenv("TESMIC_STARTUP_BASELINE")) baseline = path;
  const std::string program = TESMIC_BINARY;
  const std::string sample = std::string(TESMIC_SAMPLE_DIR) + "/cerven.jpg";
  const std::string large = writeLargeJpeg();
  // From launch to both windows: this program, that one timed in the same
  // iterations.
  const auto windowsOf = [](std::string timed, std::optional<std::string> against) {
    return [timed, against](benchmark::State& state, const std::string& image) {
      Display* display = XOpenDisplay(nullptr);
      if (display == nullptr) {
        state.SkipWithError("needs a display (DISPLAY)");
        return;
      }
      timeAgainstBaseline(state, timed, against, [display, &image](const std::string& p) {
        return secondsToWindows(display, p, image);
      });
      XCloseDisplay(display);
    };
  };
  const auto toWindows = windowsOf(program, baseline);
  // The toolkit's floor, with tesmic as its baseline.
  const auto floorToWindows = windowsOf(TESMIC_QT_FLOOR, program);
  const auto missingFile = [program, baseline](benchmark::State& state) {
    timeAgainstBaseline(state, program, baseline, secondsOnMissingFile);
  };
  for (auto* b :
       {benchmark::RegisterBenchmark("startup/missing_file", missingFile),
        benchmark::RegisterBenchmark("startup/to_windows_800x600", toWindows, sample),
        benchmark::RegisterBenchmark("startup/to_windows_12mp", toWindows, large),
        benchmark::RegisterBenchmark("startup/qt_floor_800x600", floorToWindows, sample),
        benchmark::RegisterBenchmark("startup/qt_floor_12mp", floorToWindows, large)}) {
    b->Iterations(1)->Repetitions(9)->ComputeStatistics("min", minimum)
        ->ReportAggregatesOnly(true)->UseManualTime()->Unit(benchmark::kMillisecond);
  }
}

}  // namespace tesmic::bench
