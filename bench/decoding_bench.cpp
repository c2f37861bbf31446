#include "decoding_bench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "formats/image_decoding.h"

namespace tesmic::bench {
namespace {

using Clock = std::chrono::steady_clock;

class MatSink final : public PixelSink {
 public:
  std::uint8_t* pixels(int rows, int cols) override {
    image.create(rows, cols, CV_8UC3);
    return image.data;
  }
  cv::Mat image;
};

// What the light path starts from: the file's bytes.
cv::Mat decodeLight(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  MatSink sink;
  if (decodeImage(bytes, sink).outcome != DecodeOutcome::kDecoded) sink.image.release();
  return sink.image;
}

double secondsOf(const auto& decode, cv::Mat& image) {
  const auto begin = Clock::now();
  image = decode();
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

void decodeBothWays(benchmark::State& state, const std::string& path) {
  double opencvSeconds = 0;
  double lightSeconds = 0;
  double megapixels = 0;
  int turn = 0;
  for (auto _ : state) {
    cv::Mat light;
    cv::Mat opencv;
    const auto lightWay = [&] { return decodeLight(path); };
    const auto opencvWay = [&] { return cv::imread(path, cv::IMREAD_COLOR); };
    double other = turn % 2 == 0 ? secondsOf(opencvWay, opencv) : 0;
    const double seconds = secondsOf(lightWay, light);
    if (turn % 2 == 1) other = secondsOf(opencvWay, opencv);
    ++turn;
    if (light.empty() || light.size() != opencv.size() ||
        cv::norm(light, opencv, cv::NORM_INF) != 0) {
      state.SkipWithError("the light path's pixels differ from cv::imread's");
      return;
    }
    state.SetIterationTime(seconds);
    lightSeconds += seconds;
    opencvSeconds += other;
    megapixels = static_cast<double>(light.total()) / 1e6;
  }
  state.counters["opencv_ms"] = 1e3 * opencvSeconds / turn;
  state.counters["light_ms_per_mp"] = 1e3 * lightSeconds / turn / megapixels;
  state.counters["opencv_ms_per_mp"] = 1e3 * opencvSeconds / turn / megapixels;
}

// A 12-megapixel photo as a camera writes it: smooth colour with grain.
cv::Mat largePhoto() {
  cv::Mat photo(3000, 4000, CV_8UC3);
  cv::randu(photo, 0, 255);
  cv::GaussianBlur(photo, photo, cv::Size(0, 0), 8.0);
  cv::Mat grain(photo.size(), CV_8UC3);
  cv::randu(grain, 0, 24);
  return photo + grain;
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

void registerDecodingBenchmarks() {
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  const cv::Mat photo = largePhoto();
  std::vector<std::pair<std::string, std::string>> files = {
      {"decode/jpeg_12mp", (folder / "tesmic-bench-decode-12mp.jpg").string()},
      {"decode/png_12mp", (folder / "tesmic-bench-decode-12mp.png").string()}};
  cv::imwrite(files[0].second, photo, {cv::IMWRITE_JPEG_QUALITY, 92});
  cv::imwrite(files[1].second, photo, {cv::IMWRITE_PNG_COMPRESSION, 6});
  if (const char* named = std::getenv("TESMIC_BENCH_IMAGES")) {
    std::istringstream list(named);
    for (std::string path; std::getline(list, path, ':');) {
      if (!path.empty()) {
        files.emplace_back("decode/" + std::filesystem::path(path).filename().string(), path);
      }
    }
  }
  for (const auto& [name, path] : files) {
    benchmark::RegisterBenchmark(name.c_str(), decodeBothWays, path)
        ->Iterations(1)
        ->Repetitions(9)
        ->ComputeStatistics("min", minimum)
        ->ReportAggregatesOnly(true)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace tesmic::bench
