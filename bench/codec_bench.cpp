#include "codec_bench.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "baseline_classifiers.h"
#include "codec/codec_protocol.h"
#include "run/command_line.h"

extern char** environ;

namespace tesmic::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A photo as a camera writes it: smooth colour with grain.
cv::Mat cameraLike(cv::Size size, unsigned seed) {
  cv::theRNG().state = seed;
  cv::Mat photo(size, CV_8UC3);
  cv::randu(photo, 0, 255);
  cv::GaussianBlur(photo, photo, cv::Size(0, 0), 8.0);
  cv::Mat grain(size, CV_8UC3);
  cv::randu(grain, 0, 24);
  return photo + grain;
}

fs::path benchFolder(const char* name) {
  const fs::path folder = fs::temp_directory_path() / name;
  fs::create_directories(folder);
  return folder;
}

// The shared libraries process pid has mapped.
int librariesMapped(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::set<std::string> libraries;
  for (std::string line; std::getline(maps, line);) {
    const std::size_t slash = line.find('/');
    if (slash != std::string::npos && line.find(".so", slash) != std::string::npos) {
      libraries.insert(line.substr(slash));
    }
  }
  return static_cast<int>(libraries.size());
}

// Starts the helper at path as the program does (its end of a socket pair
// at kChannelDescriptor), without the program's checks of where it lies.
pid_t startHelper(const std::string& path, int& channel) {
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], kChannelDescriptor);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(sockets[1]);
  channel = sockets[0];
  return pid;
}

void helperStart(benchmark::State& state, const std::string& helper, const std::string& image) {
  int libraries = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    int channel = -1;
    const pid_t pid = startHelper(helper, channel);
    const int file = open(image.c_str(), O_RDONLY | O_CLOEXEC);
    CodecRequest request;
    request.headroom = std::uint64_t{1} << 32;
    std::vector<int> attached;
    const bool sent = pid > 0 && file >= 0 && sendCodecMessage(channel, request, {&file, 1});
    const std::optional<CodecReport> report =
        sent ? receiveCodecMessage<CodecReport>(channel, attached) : std::nullopt;
    if (report) libraries = librariesMapped(pid);
    close(channel);  // the helper ends when the program closes its end
    if (pid > 0) waitpid(pid, nullptr, 0);
    state.SetIterationTime(secondsSince(start));
    close(file);
    for (const int fd : attached) close(fd);
    if (!report || report->outcome != CodecOutcome::kDone) {
      state.SkipWithError(("the helper did not decode the image: " + helper).c_str());
      break;
    }
  }
  state.counters["libraries"] = libraries;
}

std::vector<fs::path> photos() {
  std::vector<fs::path> found;
  if (const char* folder = std::getenv("TESMIC_BENCH_PHOTOS")) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".jpg" || extension == ".png") found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  const fs::path folder = benchFolder("tesmic-bench-photos");
  unsigned seed = 1;
  for (const cv::Size size : {cv::Size(1500, 1000), cv::Size(1500, 1000), cv::Size(4000, 3000)}) {
    const cv::Mat photo = cameraLike(size, seed);
    for (const char* extension : {".jpg", ".png"}) {
      const fs::path path = folder / ("foto" + std::to_string(seed) + extension);
      if (!fs::exists(path)) cv::imwrite(path.string(), photo, {cv::IMWRITE_JPEG_QUALITY, 92});
      found.push_back(path);
    }
    ++seed;
  }
  return found;
}

// One headless tesmic a photo, its mask beside the others in masks.
bool maskEachInItsOwnProcess(const std::vector<fs::path>& images, const fs::path& masks) {
  const DetectionBounds b = kExampleBounds;
  for (const fs::path& image : images) {
    const std::string mask = "TESMIC_MASK=" + (masks / image.stem()).string() + ".png";
    std::vector<std::string> arguments = {
        "env", "-u", "DISPLAY", mask, TESMIC_BINARY, image.string(),
        std::to_string(b.HH), std::to_string(b.HL), std::to_string(b.SH),
        std::to_string(b.SL), std::to_string(b.VH), std::to_string(b.VL)};
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool started =
        posix_spawnp(&pid, "env", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      return false;
    }
  }
  return true;
}

// What the shortest OpenCV program does for the same masks, in one process.
bool maskEachInOneOpenCvProcess(const std::vector<fs::path>& images, const fs::path& masks) {
  InRangeScratch scratch;
  for (const fs::path& image : images) {
    cv::Mat hls;
    cv::cvtColor(cv::imread(image.string(), cv::IMREAD_COLOR), hls, cv::COLOR_BGR2HLS);
    cv::Mat mask(hls.size(), CV_8UC1);
    classifyWithInRange(hls, mask, kExampleBounds, scratch);
    if (!cv::imwrite((masks / image.stem()).string() + ".png", mask)) return false;
  }
  return true;
}

void batch(benchmark::State& state, const std::vector<fs::path>& images) {
  const fs::path masks = benchFolder("tesmic-bench-masks");
  double openCvSeconds = 0;
  double tesmicSeconds = 0;
  int turn = 0;
  for (auto _ : state) {
    const auto timeOpenCv = [&] {
      const auto start = Clock::now();
      const bool ok = maskEachInOneOpenCvProcess(images, masks);
      openCvSeconds += secondsSince(start);
      return ok;
    };
    bool ok = turn % 2 == 1 || timeOpenCv();
    const auto start = Clock::now();
    ok = ok && maskEachInItsOwnProcess(images, masks);
    const double seconds = secondsSince(start);
    ok = ok && (turn % 2 == 0 || timeOpenCv());
    ++turn;
    if (!ok) {
      state.SkipWithError("a mask was not written");
      return;
    }
    state.SetIterationTime(seconds);
    tesmicSeconds += seconds;
  }
  state.counters["opencv_ms"] = 1e3 * openCvSeconds / turn;
  state.counters["x_opencv"] = tesmicSeconds / openCvSeconds;
}

}  // namespace

void registerCodecBenchmarks() {
  const fs::path folder = benchFolder("tesmic-bench-formats");
  const cv::Mat small = cameraLike({64, 48}, 7);
  for (const char* extension : {".jpg", ".png", ".tif", ".webp"}) {
    const std::string image = (folder / (std::string("maly") + extension)).string();
    cv::imwrite(image, small);
    for (const char* helper : {TESMIC_LIGHT_HELPER, TESMIC_OPENCV_HELPER}) {
      const std::string name = "helper_start/" + fs::path(helper).filename().string() + "/" +
                               (extension + 1);
      benchmark::RegisterBenchmark(name.c_str(), helperStart, std::string(helper), image)
          ->Iterations(1)->Repetitions(25)->ReportAggregatesOnly(true)->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  std::vector<fs::path> all = photos();
  const auto partition = std::stable_partition(all.begin(), all.end(), [](const fs::path& p) {
    const cv::Size size = cv::imread(p.string(), cv::IMREAD_REDUCED_GRAYSCALE_8).size() * 8;
    return size.area() < 4'000'000;
  });
  const std::vector<fs::path> smaller(all.begin(), partition);
  const std::vector<fs::path> larger(partition, all.end());
  for (const auto& [name, images] : {std::pair{"batch/up_to_4mp", smaller},
                                     std::pair{"batch/from_4mp", larger},
                                     std::pair{"batch/all", all}}) {
    if (images.empty()) continue;
    benchmark::RegisterBenchmark(name, batch, images)
        ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace tesmic::bench
