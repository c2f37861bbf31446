// The real tesmic binary on a private Xvfb display: its windows, what they
// show, how a run ends, what it prints, and how it fails.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "run/command_line.h"
#include "support/child_process.h"
#include "reference_rule.h"
#include "support/temporary_directory.h"
#include "support/x_server.h"

#include <X11/Xatom.h>

namespace tesmic::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kMaskTitle[] = "Vysledek";
constexpr char kImageTitle[] = "ORIG";

// Generous for a loaded machine, short enough to keep a hang cheap.
constexpr auto kRunTimeout = 25s;
constexpr auto kWindowTimeout = 15s;

// One server for the whole binary: starting Xvfb costs more than a run.
class XServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    try {
      server_ = std::make_unique<XServer>();
    } catch (const std::exception& e) {
      FAIL() << "cannot start Xvfb: " << e.what();
    }
  }
  void TearDown() override { server_.reset(); }
  static XServer& server() { return *server_; }

 private:
  static inline std::unique_ptr<XServer> server_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new XServerEnvironment);

// The six bounds in command-line order.
struct Bounds {
  int hh, hl, sh, sl, vh, vl;

  std::vector<std::string> arguments() const {
    return {std::to_string(hh), std::to_string(hl), std::to_string(sh),
            std::to_string(sl), std::to_string(vh), std::to_string(vl)};
  }
};

// The rule applied to the colours of a BGR image, apart from the program.
cv::Mat expectedMask(const cv::Mat& bgr, const Bounds& b) {
  cv::Mat hls;
  cv::cvtColor(bgr, hls, cv::COLOR_BGR2HLS);
  return reference::referenceMask(hls, {b.hh, b.hl, b.sh, b.sl, b.vh, b.vl});
}

// What "Vysledek" shows in the cut-out and tinted views (1 and 2): the smoothed
// picture where the mask marks it and black elsewhere, or the picture with
// the marked pixels blended half with green.
cv::Mat expectedView(const cv::Mat& picture, const cv::Mat& mask, int view) {
  cv::Mat shown = picture.clone();
  for (int y = 0; y < picture.rows; ++y) {
    for (int x = 0; x < picture.cols; ++x) {
      if (mask.at<uchar>(y, x) != 0 && view == 1) continue;
      if (mask.at<uchar>(y, x) == 0 && view == 2) continue;
      cv::Vec3b& p = shown.at<cv::Vec3b>(y, x);
      p = view == 1 ? cv::Vec3b(0, 0, 0)
                    : cv::Vec3b(static_cast<uchar>((p[0] + 1) / 2), static_cast<uchar>((p[1] + 256) / 2),
                                static_cast<uchar>((p[2] + 1) / 2));
    }
  }
  return shown;
}

cv::Mat bgrFromHls(const cv::Mat& hls) {
  cv::Mat bgr;
  cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
  return bgr;
}

// 320x200, large enough to be shown unscaled. Ramps of lightness, hue and
// saturation around pure red put every bound to work; blocks of colours just
// outside the sought ones, an asymmetric L of red and single-pixel specks
// (which the smoothed picture blurs away) make the mask unique in the window.
cv::Mat craftedImage() {
  cv::Mat image(200, 320, CV_8UC3, cv::Scalar(128, 128, 128));

  cv::Mat ramps(60, 320, CV_8UC3);
  for (int x = 0; x < ramps.cols; ++x) {
    const auto step = [x](int top) { return static_cast<uchar>(x * top / 319); };
    ramps.col(x).rowRange(0, 20).setTo(cv::Vec3b(0, step(255), 255));
    ramps.col(x).rowRange(20, 40).setTo(cv::Vec3b(step(179), 128, 255));
    ramps.col(x).rowRange(40, 60).setTo(cv::Vec3b(0, 128, step(255)));
  }
  bgrFromHls(ramps).copyTo(image.rowRange(0, 60));

  const cv::Scalar red(0, 0, 255);
  cv::rectangle(image, cv::Rect(10, 70, 60, 120), red, cv::FILLED);
  cv::rectangle(image, cv::Rect(70, 170, 70, 20), red, cv::FILLED);
  cv::rectangle(image, cv::Rect(90, 70, 40, 40), cv::Scalar(255, 0, 0), cv::FILLED);
  cv::rectangle(image, cv::Rect(140, 70, 30, 40), cv::Scalar(0, 0, 70), cv::FILLED);
  cv::rectangle(image, cv::Rect(180, 70, 30, 40), cv::Scalar(200, 200, 255), cv::FILLED);
  cv::rectangle(image, cv::Rect(220, 70, 30, 40), cv::Scalar(100, 100, 160), cv::FILLED);
  cv::rectangle(image, cv::Rect(260, 70, 30, 40), cv::Scalar(40, 0, 255), cv::FILLED);
  cv::rectangle(image, cv::Rect(260, 120, 30, 40), cv::Scalar(0, 128, 255), cv::FILLED);

  for (int k = 0; k < 8; ++k) {
    image.at<cv::Vec3b>(125 + 7 * k, 160 + 11 * k) = cv::Vec3b(0, 0, 255);
  }
  image.at<cv::Vec3b>(100, 30) = cv::Vec3b(128, 128, 128);
  image.at<cv::Vec3b>(140, 45) = cv::Vec3b(128, 128, 128);
  return image;
}

cv::Mat smoothed(const cv::Mat& image) {
  cv::Mat result;
  cv::GaussianBlur(image, result, cv::Size(3, 3), 0.0, 0.0, cv::BORDER_REPLICATE);
  return result;
}

cv::Mat asBgr(const cv::Mat& image) {
  if (image.channels() == 3) return image;
  cv::Mat bgr;
  cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
  return bgr;
}

// Every offset at which the window's pixels hold the picture exactly.
std::vector<cv::Point> offsetsShowing(const cv::Mat& window, const cv::Mat& picture) {
  std::vector<cv::Point> found;
  if (window.empty() || window.cols < picture.cols || window.rows < picture.rows) return found;
  const cv::Mat firstRow = picture.row(0);
  for (int y = 0; y + picture.rows <= window.rows; ++y) {
    for (int x = 0; x + picture.cols <= window.cols; ++x) {
      if (window.at<cv::Vec3b>(y, x) != picture.at<cv::Vec3b>(0, 0)) continue;
      const cv::Rect area(x, y, picture.cols, picture.rows);
      if (cv::norm(window(area).row(0), firstRow, cv::NORM_INF) != 0) continue;
      if (cv::norm(window(area), picture, cv::NORM_INF) == 0) found.emplace_back(x, y);
    }
  }
  return found;
}

// Raises the window and reads it until the picture appears in it: the
// toolkit repaints after the raise in its own time.
std::vector<cv::Point> waitUntilShown(Display* display, Window window, const cv::Mat& picture) {
  raiseWindow(display, window);
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  std::vector<cv::Point> found;
  while (found.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
    found = offsetsShowing(readWindowPixels(display, window), asBgr(picture));
  }
  return found;
}

// The "Cas" lines on standard error, each with the number as printed.
std::vector<std::string> timingNumbers(const std::string& err) {
  static const std::regex line("(^|\n)Cas ( *[0-9]+\\.[0-9]{8})(?=\n)");
  std::vector<std::string> numbers;
  for (auto it = std::sregex_iterator(err.begin(), err.end(), line);
       it != std::sregex_iterator(); ++it) {
    numbers.push_back((*it)[2]);
  }
  return numbers;
}

void expectOneTimingLine(const ChildResult& result) {
  const std::vector<std::string> numbers = timingNumbers(result.err);
  ASSERT_EQ(numbers.size(), 1u) << describe(result);
  EXPECT_EQ(numbers[0].size(), 12u) << "not %12.8f: '" << numbers[0] << "'";
}

void expectEndedWithExitCode(const ChildResult& result, int code) {
  ASSERT_FALSE(result.timedOut) << describe(result);
  ASSERT_TRUE(result.exited) << describe(result);
  EXPECT_EQ(result.exitCode, code) << describe(result);
}

// The mask's temporary files (.tesmic-XXXXXX.EXT) anywhere under folder.
std::vector<fs::path> temporaryMaskFiles(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".tesmic-")) found.push_back(entry.path());
  }
  return found;
}

// What a run with TESMIC_MASK left: the mask of these bounds, whole, and
// no temporary file.
void expectMaskKept(const fs::path& file, const cv::Mat& image, const Bounds& bounds,
                    const fs::path& folder) {
  const cv::Mat kept = cv::imread(file.string(), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(kept.type(), CV_8UC1) << file;
  EXPECT_EQ(cv::norm(kept, expectedMask(image, bounds), cv::NORM_INF), 0) << "the mask file differs";
  EXPECT_TRUE(temporaryMaskFiles(folder).empty()) << "a temporary file was left";
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Qt wants a private runtime directory and complains on stderr without.
    runtimeDir_ = temp_.path() / "runtime";
    fs::create_directory(runtimeDir_);
    chmod(runtimeDir_.c_str(), 0700);
  }

  Display* display() const { return XServerEnvironment::server().display(); }

  fs::path writeImage(const std::string& name, const cv::Mat& image) const {
    const fs::path path = temp_.path() / name;
    if (!cv::imwrite(path.string(), image)) throw std::runtime_error("cannot write " + name);
    return path;
  }

  ChildOptions tesmic(const std::vector<std::string>& arguments) const {
    ChildOptions options;
    options.argv = {TESMIC_BINARY};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.environment = {{"DISPLAY", XServerEnvironment::server().displayName()},
                           {"XDG_RUNTIME_DIR", runtimeDir_.string()},
                           {"QT_QPA_PLATFORM", "xcb"},
                           {"WAYLAND_DISPLAY", std::nullopt}};
    options.limits = {{RLIMIT_CORE, 0}};
    return options;
  }

  ChildOptions tesmicOnImage(const fs::path& image, const Bounds& bounds) const {
    std::vector<std::string> arguments = {image.string()};
    const std::vector<std::string> rest = bounds.arguments();
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    return tesmic(arguments);
  }

  // Waits for both windows and for "ORIG" to show the smoothed source, so
  // that the run has reached its wait for a key. Acting earlier races the
  // toolkit, faster than any user could: a key pressed before the images
  // are shown is dropped, and showing an image reopens a window closed
  // before it.
  // origin, when given, receives where the image's top left corner lies in
  // "ORIG".
  void awaitRunShowing(const cv::Mat& source, Window& mask, Window& picture,
                       cv::Point* origin = nullptr) const {
    const std::optional<Window> maskWindow =
        waitForMappedWindow(display(), kMaskTitle, kWindowTimeout);
    const std::optional<Window> pictureWindow =
        waitForMappedWindow(display(), kImageTitle, kWindowTimeout);
    ASSERT_TRUE(maskWindow) << "no window \"" << kMaskTitle << "\"";
    ASSERT_TRUE(pictureWindow) << "no window \"" << kImageTitle << "\"";
    mask = *maskWindow;
    picture = *pictureWindow;

    // The border is left out: how it is smoothed is the library's choice.
    const cv::Rect inner(1, 1, source.cols - 2, source.rows - 2);
    const std::vector<cv::Point> found =
        waitUntilShown(display(), picture, smoothed(source)(inner).clone());
    ASSERT_EQ(found.size(), 1u) << "\"" << kImageTitle << "\" does not show the smoothed picture";
    if (origin != nullptr) *origin = found[0] - cv::Point(1, 1);
  }

  TemporaryDirectory temp_;
  fs::path runtimeDir_;
};

const Bounds kCraftedBounds{170, 10, 60, 200, 100, 40};
const Bounds kExampleRun{175, 30, 160, 240, 90, 0};  // the built-in example's

TEST_F(WindowTest, BothWindowsOpenMaskFirstAndAKeyEndsTheRunQuietly) {
  const cv::Mat crafted = craftedImage();
  WindowCreationWatch watch(display());
  ChildProcess child(tesmicOnImage(writeImage("crafted.png", crafted), kCraftedBounds));

  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));
  const std::vector<Window>& created = watch.created();
  const auto maskAt = std::find(created.begin(), created.end(), mask);
  const auto pictureAt = std::find(created.begin(), created.end(), picture);
  ASSERT_NE(maskAt, created.end());
  ASSERT_NE(pictureAt, created.end());
  EXPECT_LT(maskAt, pictureAt) << "\"" << kMaskTitle << "\" was not created first";
  // An image that fits: ORIG to the left, the two apart (and 1:1, as the
  // picture was found whole above).
  const cv::Rect maskRect = windowRect(display(), mask);
  const cv::Rect pictureRect = windowRect(display(), picture);
  EXPECT_LT(pictureRect.x, maskRect.x);
  EXPECT_TRUE((maskRect & pictureRect).empty()) << maskRect << " and " << pictureRect;

  ASSERT_TRUE(pressKeyOn(display(), mask, "q"));
  const ChildResult result = child.wait(kRunTimeout);
  expectEndedWithExitCode(result, 0);
  EXPECT_EQ(result.out, "") << "seven arguments, no bound changed: nothing on standard output";
  expectOneTimingLine(result);
}

// The text of a window's status bar. It is painted, so read by OCR
// (tesseract), enlarged and limited to the characters of a pixel readout.
std::string statusBarText(Display* display, Window window, const fs::path& scratch) {
  const cv::Mat pixels = readWindowPixels(display, window);
  if (pixels.rows < 20) return "";
  cv::Mat bar;
  cv::resize(pixels.rowRange(pixels.rows - 20, pixels.rows), bar, {}, 3, 3, cv::INTER_CUBIC);
  cv::imwrite(scratch.string(), bar);
  ChildOptions ocr;
  ocr.argv = {"tesseract", scratch.string(), "stdout", "--psm", "7",
              "-c", "tessedit_char_whitelist=0123456789xyHLS=| "};
  ocr.stderrMode = OutputMode::kDiscard;
  return runChild(ocr, 20s).out;
}

constexpr char kPanelTitle[] = "tesmic - ovladaci panel";

// One run tuned the way a user tunes: the readout under the pointer, Ctrl+P
// for the control panel, a value beyond its range typed into HH's box
// (clamped, not cut short), Page Down, undo and redo, the two other views,
// "Puvodni" and its undo, the mask shown anew at each step, and at its end
// the command that repeats the run and the mask kept in the file
// TESMIC_MASK names.
TEST_F(WindowTest, TuningThroughTheControlPanel) {
  const cv::Mat crafted = craftedImage();
  const fs::path image = writeImage("crafted.png", crafted);
  const fs::path maskFile = temp_.path() / "maska.png";
  ChildOptions options = tesmicOnImage(image, kCraftedBounds);
  options.environment.push_back({"TESMIC_MASK", maskFile.string()});
  ChildProcess child(options);
  Window mask = 0;
  Window picture = 0;
  cv::Point origin;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture, &origin));

  // On the hue ramp, where H, L and S all differ from their neighbours' text.
  const cv::Point pixel(200, 30);
  cv::Mat hls;
  cv::cvtColor(crafted, hls, cv::COLOR_BGR2HLS);
  const cv::Vec3b colour = hls.at<cv::Vec3b>(pixel);
  const std::string readout = "H=" + std::to_string(colour[0]) + " L=" +
                              std::to_string(colour[1]) + " S=" + std::to_string(colour[2]);
  pointAt(display(), picture, origin + pixel);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  while (text.find(readout) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(200ms);
    text = statusBarText(display(), picture, temp_.path() / "status.png");
  }
  EXPECT_NE(text.find(readout), std::string::npos) << "the status bar reads: " << text;

  ASSERT_TRUE(pressKeyOn(display(), mask, "ctrl+p"));
  ASSERT_TRUE(waitForFocusedWindow(display(), kPanelTitle, kWindowTimeout))
      << "Ctrl+P did not open the control panel";
  // The focus starts on HH's slider, followed by its box.
  const auto hhShown = [&](int hh) {
    Bounds b = kCraftedBounds;
    b.hh = hh;
    return waitUntilShown(display(), mask, expectedMask(crafted, b)).size() == 1;
  };
  pressKeys(display(), "Tab");
  pressKeys(display(), "ctrl+a");
  typeText(display(), "300");
  pressKeys(display(), "Return");
  EXPECT_TRUE(hhShown(180)) << "HH typed as 300 is not 180, the top of its range";
  for (int step = 0; step < 8; ++step) pressKeys(display(), "Page_Down");
  EXPECT_TRUE(hhShown(100)) << "eight times Page Down from 180 is not 100";
  pressKeys(display(), "ctrl+z");
  EXPECT_TRUE(hhShown(110)) << "Ctrl+Z did not undo the last step";
  pressKeys(display(), "ctrl+shift+z");

  Bounds tuned = kCraftedBounds;
  tuned.hh = 100;
  const cv::Mat tunedMask = expectedMask(crafted, tuned);
  // The border is left out, as where ORIG is read.
  const cv::Rect inner(1, 1, crafted.cols - 2, crafted.rows - 2);
  const auto viewShown = [&](const cv::Mat& maskShown, int view) {
    const cv::Mat shown = expectedView(smoothed(crafted), maskShown, view)(inner).clone();
    return waitUntilShown(display(), mask, shown).size() == 1;
  };
  pressKeys(display(), "alt+v");
  EXPECT_TRUE(viewShown(tunedMask, 1)) << "\"" << kMaskTitle << "\" does not show the cut-out of HH=100";
  pressKeys(display(), "alt+z");
  EXPECT_TRUE(viewShown(tunedMask, 2)) << "\"" << kMaskTitle << "\" does not show the tint";
  // "Puvodni" is a step of its own, undone like any other.
  pressKeys(display(), "alt+p");
  EXPECT_TRUE(viewShown(expectedMask(crafted, kCraftedBounds), 2))
      << "Puvodni did not bring back the command line's bounds";
  pressKeys(display(), "ctrl+z");
  EXPECT_TRUE(viewShown(tunedMask, 2)) << "Ctrl+Z did not undo Puvodni";

  // Ended by a signal, the run still prints the tuned bounds and keeps the
  // mask, then ends as that signal's default would; with the X server
  // stopped (a frozen desktop), within two seconds, touching no window.
  XServerEnvironment::server().freeze();
  ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
  const bool endedInTime = child.endsWithin(2s);
  XServerEnvironment::server().thaw();
  EXPECT_TRUE(endedInTime) << "the run waited for the frozen X server";
  const ChildResult result = child.wait(kRunTimeout);
  ASSERT_FALSE(result.timedOut) << describe(result);
  EXPECT_EQ(result.signal, SIGTERM) << describe(result);
  EXPECT_EQ(result.out, "TESMIC_MASK=" + maskFile.string() + " " + TESMIC_BINARY + " " +
                            image.string() + " 100 10 60 200 100 40\n");
  expectOneTimingLine(result);
  // The mask, not the view shown last, at the image's full size.
  expectMaskKept(maskFile, crafted, tuned, temp_.path());
}

// Endings that come from outside the windows. Another client may destroy
// the windows outright (xdotool windowclose, a session's clean-up): the run
// ends as if the user had closed them. A modal dialog runs an event loop of
// its own: a signal that comes while the toolbar's save dialog is open ends
// the run there and then, rather than once the dialog closes (a logout
// sends SIGKILL soon after SIGTERM). Either way the mask is kept.
TEST_F(WindowTest, EndingsFromOutsideTheWindowsKeepTheMask) {
  const cv::Mat crafted = craftedImage();
  const fs::path maskFile = temp_.path() / "maska.png";
  ChildOptions options = tesmicOnImage(writeImage("crafted.png", crafted), kCraftedBounds);
  options.environment.push_back({"TESMIC_MASK", maskFile.string()});
  for (const bool inDialog : {false, true}) {
    SCOPED_TRACE(inDialog ? "SIGTERM in the save dialog" : "windows destroyed");
    ChildProcess child(options);
    Window mask = 0;
    Window picture = 0;
    ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));
    if (inDialog) {
      ASSERT_TRUE(pressKeyOn(display(), picture, "ctrl+s"));
      ASSERT_TRUE(waitForMappedWindow(display(), "Save File", kWindowTimeout, TitleMatch::kStart));
      ASSERT_EQ(kill(child.pid(), SIGTERM), 0);
      EXPECT_TRUE(child.endsWithin(2s)) << "the signal waited for the dialog";
      const ChildResult result = child.wait(kRunTimeout);
      ASSERT_FALSE(result.timedOut) << describe(result);
      EXPECT_EQ(result.signal, SIGTERM) << describe(result);
    } else {
      XDestroyWindow(display(), mask);
      XDestroyWindow(display(), picture);
      XFlush(display());
      expectEndedWithExitCode(child.wait(kRunTimeout), 0);
    }
    expectMaskKept(maskFile, crafted, kCraftedBounds, temp_.path());
    fs::remove(maskFile);
  }
}

// A failure while the bounds are tuned (here the memory for Vysledek's view
// 1, refused once the run's address space is cut to what it holds) ends the
// run with 3 and one line, after it has written the tuned bounds and mask.
TEST_F(WindowTest, AFailureWhileTuningStillWritesWhatWasTuned) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#endif
  // 1.2 megapixels: the view needs 3.7 MB, the mask 1.2 MB.
  cv::Mat image;
  cv::resize(craftedImage(), image, {1280, 960}, 0, 0, cv::INTER_NEAREST);
  const fs::path file = writeImage("velky.png", image);
  const fs::path maskFile = temp_.path() / "maska.png";
  ChildOptions options = tesmicOnImage(file, kCraftedBounds);
  options.environment.push_back({"TESMIC_MASK", maskFile.string()});
  ChildProcess child(options);
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(image, mask, picture));
  ASSERT_TRUE(pressKeyOn(display(), mask, "ctrl+p"));
  ASSERT_TRUE(waitForFocusedWindow(display(), kPanelTitle, kWindowTimeout));
  // HH's box follows the slider that has the focus.
  pressKeys(display(), "Tab");
  pressKeys(display(), "ctrl+a");
  typeText(display(), "100");
  pressKeys(display(), "Return");
  Bounds tuned = kCraftedBounds;
  tuned.hh = 100;
  ASSERT_EQ(waitUntilShown(display(), mask, expectedMask(image, tuned)).size(), 1u);

  std::ifstream status("/proc/" + std::to_string(child.pid()) + "/status");
  rlimit limit{};
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmSize:")) limit.rlim_cur = (std::stoull(line.substr(7)) + 2560) << 10;
  }
  limit.rlim_max = RLIM_INFINITY;
  ASSERT_EQ(prlimit(child.pid(), RLIMIT_AS, &limit, nullptr), 0);
  pressKeys(display(), "alt+v");  // the cut-out needs a picture's worth more

  const ChildResult result = child.wait(kRunTimeout);
  expectEndedWithExitCode(result, 3);
  EXPECT_EQ(result.out, "TESMIC_MASK=" + maskFile.string() + " " + TESMIC_BINARY + " " +
                            file.string() + " 100 10 60 200 100 40\n");
  EXPECT_NE(result.err.find("Chyba: nedostatek pameti"), std::string::npos) << describe(result);
  expectMaskKept(maskFile, image, tuned, temp_.path());
}

// SIGINT, SIGTERM, SIGHUP and SIGQUIT where no event loop takes them: while
// a run without windows decodes or encodes, and during the final encode of
// a run with windows, its helper stopped so that the encode is surely under
// way. Each ends the run by that signal and leaves neither a mask nor the
// temporary file it was being written into. The image is noise, large
// enough that its decode and the encode of its mask last long enough to be
// caught.
TEST_F(WindowTest, ASignalDuringAnEncodeOrARunWithoutWindowsLeavesNoTemporaryFile) {
  cv::Mat noise(2000, 3000, CV_8UC3);
  cv::randu(noise, 0, 256);
  const fs::path image = writeImage("sum.png", noise);
  const fs::path maskFile = temp_.path() / "maska.png";
  const struct {
    bool windows;
    bool encoding;
    int signal;
  } runs[] = {{false, false, SIGINT}, {false, true, SIGTERM}, {false, true, SIGHUP},
              {true, true, SIGQUIT}};
  for (const auto& run : runs) {
    const char* const role = run.encoding ? "encode" : "decode";
    SCOPED_TRACE(std::string(role) + " " + strsignal(run.signal));
    ChildOptions options = tesmicOnImage(image, kCraftedBounds);
    options.environment.push_back({"TESMIC_MASK", maskFile.string()});
    if (!run.windows) options.environment.push_back({"DISPLAY", std::nullopt});
    ChildProcess child(options);
    if (run.windows) {
      const std::optional<Window> mask = waitForMappedWindow(display(), kMaskTitle, kWindowTimeout);
      ASSERT_TRUE(mask);
      std::this_thread::sleep_for(500ms);  // until the run waits for keys
      ASSERT_TRUE(pressKeyOn(display(), *mask, "q"));
    }
    // The helper has the request once it holds the file: the image, or the
    // temporary file it encodes into.
    const pid_t helper = awaitCodecHelper(
        child.pid(),
        [&](const fs::path& held) {
          return run.encoding ? held.filename().string().starts_with(".tesmic-") : held == image;
        },
        kRunTimeout);
    ASSERT_GT(helper, 0) << "no helper to " << role;
    ASSERT_EQ(kill(helper, SIGSTOP), 0);
    ASSERT_EQ(kill(child.pid(), run.signal), 0);
    const ChildResult result = child.wait(kRunTimeout);
    ASSERT_FALSE(result.timedOut) << describe(result);
    EXPECT_EQ(result.signal, run.signal) << describe(result);
    EXPECT_FALSE(fs::exists(maskFile));
    EXPECT_EQ(temporaryMaskFiles(temp_.path()), std::vector<fs::path>{});
  }
}

// Keys that a user presses without meaning to end the run: modifiers and
// lock keys alone, Print, the windows' own shortcuts in the ways they can be
// typed, and a save from the toolbar to where nothing can be written, which
// is reported. Then a plain key ends the run.
TEST_F(WindowTest, StrayKeysAndShortcutsDoNotEndTheRun) {
  const cv::Mat crafted = craftedImage();
  ChildProcess child(tesmicOnImage(writeImage("crafted.png", crafted), kCraftedBounds));
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));

  // Lock keys twice, so that the server's state is as it was.
  const char* const stray[] = {
      "shift", "ctrl", "alt", "ctrl+shift", "ISO_Level3_Shift", "super", "Caps_Lock",
      "Caps_Lock", "Num_Lock", "Num_Lock", "Scroll_Lock", "Scroll_Lock", "Print",
      "ctrl+shift+equal", "ctrl+plus", "ctrl+KP_Add", "ctrl+minus", "ctrl+z", "ctrl+Left",
      "ctrl+Down", "alt+Tab", "super+q"};
  for (std::size_t i = 0; i < std::size(stray); ++i) {
    ASSERT_TRUE(pressKeyOn(display(), i % 2 == 0 ? mask : picture, stray[i]));
  }
  EXPECT_FALSE(child.endsWithin(1s)) << "one of the stray keys ended the run";

  ASSERT_TRUE(pressKeyOn(display(), picture, "ctrl+s"));
  ASSERT_TRUE(waitForMappedWindow(display(), "Save File", kWindowTimeout, TitleMatch::kStart))
      << "Ctrl+S did not open the save dialog";
  std::this_thread::sleep_for(300ms);  // until its name box takes keys
  pressKeys(display(), "ctrl+a");
  typeText(display(), "/proc/nope.png");
  pressKeys(display(), "Return");
  EXPECT_FALSE(child.endsWithin(2s)) << "the failed save ended the run";

  ASSERT_TRUE(pressKeyOn(display(), mask, "Escape"));
  const ChildResult result = child.wait(kRunTimeout);
  expectEndedWithExitCode(result, 0);
  // A slow dialog may lose the leading slash; the folder is missing either way.
  const std::regex failedSave(
      "(^|\n)Chyba: obrazek okna nelze ulozit do \"[^\"\n]*proc/nope\\.png\"\\.\n");
  EXPECT_TRUE(std::regex_search(result.err, failedSave)) << describe(result);
}

// Blocks of colour, every other one of the sought colour, too large for a
// small screen.
cv::Mat blocksImage(cv::Size blocks, int side) {
  cv::Mat image(blocks.height * side, blocks.width * side, CV_8UC3);
  for (int y = 0; y < blocks.height; ++y) {
    for (int x = 0; x < blocks.width; ++x) {
      const cv::Scalar colour = (x + y) % 2 == 0 ? cv::Scalar(20, 20, 230)  // sought red
                                                 : cv::Scalar(200, 60 + 20 * y, 30 * x);
      image(cv::Rect(x * side, y * side, side, side)).setTo(colour);
    }
  }
  return image;
}

// Where the image lies in a window that shows it scaled to fit the area
// between the toolbar and the status bar, its aspect kept.
cv::Rect2d shownImageArea(cv::Size window, cv::Size image) {
  const cv::Size view(window.width, window.height - 48);
  const double scale = std::min(double(view.width) / image.width, double(view.height) / image.height);
  const cv::Size2d shown(image.width * scale, image.height * scale);
  return {(view.width - shown.width) / 2, 28 + (view.height - shown.height) / 2, shown.width,
          shown.height};
}

// The mean colour of the middle of each block, as a window shows it.
std::vector<cv::Scalar> blockMeans(const cv::Mat& pixels, cv::Size blocks, cv::Size image) {
  const cv::Rect2d area = shownImageArea(pixels.size(), image);
  std::vector<cv::Scalar> means;
  for (int y = 0; y < blocks.height; ++y) {
    for (int x = 0; x < blocks.width; ++x) {
      const cv::Point centre(int(area.x + (x + 0.5) * area.width / blocks.width),
                             int(area.y + (y + 0.5) * area.height / blocks.height));
      const cv::Rect middle(centre - cv::Point(4, 4), cv::Size(9, 9));
      if ((middle & cv::Rect({}, pixels.size())) != middle) return {};
      means.push_back(cv::mean(pixels(middle)));
    }
  }
  return means;
}

// Whether a window shows the blocks of this image (or mask) whole, scaled:
// the middle of each block as the image's colour there.
bool showsBlocks(const cv::Mat& pixels, cv::Size blocks, const cv::Mat& expected) {
  const std::vector<cv::Scalar> means = blockMeans(pixels, blocks, expected.size());
  if (means.size() != std::size_t(blocks.area())) return false;
  const cv::Mat bgr = asBgr(expected);
  const cv::Size side(expected.cols / blocks.width, expected.rows / blocks.height);
  for (int i = 0; i < blocks.area(); ++i) {
    const cv::Point corner((i % blocks.width) * side.width, (i / blocks.width) * side.height);
    if (cv::norm(means[i] - cv::Scalar(bgr.at<cv::Vec3b>(corner)), cv::NORM_INF) > 3) return false;
  }
  return true;
}

// A screen smaller than the image: both windows on it, apart, each showing
// the whole image at the same scale.
TEST_F(WindowTest, AnImageLargerThanTheScreenIsShownWholeInBothWindows) {
  XServer smallScreen({1024, 768});
  const cv::Size blocks(8, 5);
  const cv::Mat image = blocksImage(blocks, 200);
  ChildOptions options = tesmicOnImage(writeImage("bloky.png", image), kCraftedBounds);
  options.environment.push_back({"DISPLAY", smallScreen.displayName()});
  ChildProcess child(options);
  Display* small = smallScreen.display();
  const auto mask = waitForMappedWindow(small, kMaskTitle, kWindowTimeout);
  const auto picture = waitForMappedWindow(small, kImageTitle, kWindowTimeout);
  ASSERT_TRUE(mask && picture);

  const cv::Mat expectedMaskBlocks = expectedMask(image, kCraftedBounds);
  bool maskShown = false;
  bool pictureShown = false;
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  while (!(maskShown && pictureShown) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
    maskShown = showsBlocks(readWindowPixels(small, *mask), blocks, expectedMaskBlocks);
    pictureShown = showsBlocks(readWindowPixels(small, *picture), blocks, image);
  }
  EXPECT_TRUE(maskShown) << "\"" << kMaskTitle << "\" does not show the whole mask";
  EXPECT_TRUE(pictureShown) << "\"" << kImageTitle << "\" does not show the whole image";
  const cv::Rect screen(0, 0, 1024, 768);
  const cv::Rect maskRect = windowRect(small, *mask);
  const cv::Rect pictureRect = windowRect(small, *picture);
  EXPECT_EQ(maskRect & screen, maskRect);
  EXPECT_EQ(pictureRect & screen, pictureRect);
  EXPECT_TRUE((maskRect & pictureRect).empty()) << maskRect << " and " << pictureRect;
  EXPECT_EQ(maskRect.size(), pictureRect.size());

  ASSERT_TRUE(pressKeyOn(small, *mask, "q"));
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

// Both windows of a run on another server, once mapped and placed.
struct PlacedRun {
  cv::Rect mask;  // frames, title bars included
  cv::Rect picture;
};

// Waits until both windows are mapped and the frames have held still for a
// moment (a window manager places them in steps), then reads them.
std::optional<PlacedRun> awaitPlacedRun(Display* display) {
  const auto mask = waitForMappedWindow(display, kMaskTitle, kWindowTimeout);
  const auto picture = waitForMappedWindow(display, kImageTitle, kWindowTimeout);
  if (!mask || !picture) return std::nullopt;
  PlacedRun last{frameRect(display, *mask), frameRect(display, *picture)};
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  int still = 0;
  while (still < 5 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
    const PlacedRun now{frameRect(display, *mask), frameRect(display, *picture)};
    still = now.mask == last.mask && now.picture == last.picture ? still + 1 : 0;
    last = now;
  }
  return last;
}

void expectInside(const PlacedRun& run, const cv::Rect& area) {
  EXPECT_EQ(run.mask & area, run.mask) << "\"" << kMaskTitle << "\" leaves " << area;
  EXPECT_EQ(run.picture & area, run.picture) << "\"" << kImageTitle << "\" leaves " << area;
}

// Under a window manager with a panel, every launch places both frames in
// the work area as laid out: a 1400x900 image and a 1600x1000 one, both
// scaled alike side by side. Repeated, as the window manager races the
// program. The last run opens the control panel, which leaves both windows
// whole (they shrink to make room for it), and fits the bounds to a red
// block dragged out with Shift over ORIG.
TEST_F(WindowTest, UnderAWindowManagerEveryLaunchIsPlacedAsLaidOut) {
  XServer screen({1920, 1080});
  Desktop desktop(screen);
  Display* d = screen.display();
  const cv::Rect workArea(0, 0, 1920, 1080 - 30);  // tint2's panel along the bottom
  const cv::Mat large = blocksImage({16, 10}, 100);
  const fs::path fitting = writeImage("fitting.png", blocksImage({14, 9}, 100));
  const fs::path sideBySide = writeImage("side.png", large);
  for (int launch = 0; launch < 6; ++launch) {
    SCOPED_TRACE("launch " + std::to_string(launch));
    const fs::path& image = launch % 2 == 0 ? fitting : sideBySide;
    // The last starts with bounds that leave the red unmarked.
    ChildOptions options = tesmicOnImage(image, launch < 5 ? kCraftedBounds : kExampleRun);
    options.environment.push_back({"DISPLAY", screen.displayName()});
    ChildProcess child(options);
    const std::optional<PlacedRun> run = awaitPlacedRun(d);
    ASSERT_TRUE(run);
    expectInside(*run, workArea);
    EXPECT_TRUE((run->mask & run->picture).empty()) << run->mask << " and " << run->picture;
    EXPECT_EQ(run->picture.tl(), workArea.tl());
    EXPECT_EQ(run->mask.size(), run->picture.size());
    const auto mask = waitForMappedWindow(d, kMaskTitle, kWindowTimeout);
    ASSERT_TRUE(mask);
    if (launch < 5) {
      ASSERT_TRUE(pressKeyOn(d, *mask, "q"));
      expectEndedWithExitCode(child.wait(kRunTimeout), 0);
      continue;
    }

    ASSERT_TRUE(pressKeyOn(d, *mask, "ctrl+p"));
    const auto panel = waitForMappedWindow(d, kPanelTitle, kWindowTimeout);
    ASSERT_TRUE(panel);
    const std::optional<PlacedRun> shrunk = awaitPlacedRun(d);
    ASSERT_TRUE(shrunk);
    const cv::Rect panelFrame = frameRect(d, *panel);
    expectInside(*shrunk, workArea);
    EXPECT_EQ(panelFrame & workArea, panelFrame);
    EXPECT_TRUE((panelFrame & shrunk->mask).empty()) << panelFrame << " covers " << shrunk->mask;
    EXPECT_TRUE((panelFrame & shrunk->picture).empty()) << panelFrame << " covers " << shrunk->picture;

    // Across the middle of the top left block, a red one.
    const auto picture = waitForMappedWindow(d, kImageTitle, kWindowTimeout);
    ASSERT_TRUE(picture);
    const cv::Rect2d shown = shownImageArea(windowRect(d, *picture).size(), large.size());
    const auto at = [&](double x, double y) {
      return cv::Point(int(shown.x + x * shown.width / large.cols),
                       int(shown.y + y * shown.height / large.rows));
    };
    ASSERT_FALSE(expectedMask(large, kExampleRun).at<uchar>(50, 50));
    dragOver(d, *picture, at(30, 30), at(70, 70), "shift");
    // Vysledek once the block shows marked.
    cv::Mat maskShown;
    const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
    for (bool marked = false; !marked && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(100ms);
      maskShown = readWindowPixels(d, *mask);
      const std::vector<cv::Scalar> means = blockMeans(maskShown, {16, 10}, large.size());
      marked = !means.empty() && means[0][0] > 250;
    }
    ASSERT_TRUE(pressKeyOn(d, *mask, "q"));
    const ChildResult result = child.wait(kRunTimeout);
    expectEndedWithExitCode(result, 0);
    // The fitted bounds, which the window shows and which mark the block.
    std::smatch words;
    ASSERT_TRUE(std::regex_search(result.out, words,
                                  std::regex(" (-?\\d+) (-?\\d+) (-?\\d+) (-?\\d+) (-?\\d+) (-?\\d+)\n$")))
        << "the bounds did not change\n" << describe(result);
    const Bounds fitted{std::stoi(words[1]), std::stoi(words[2]), std::stoi(words[3]),
                        std::stoi(words[4]), std::stoi(words[5]), std::stoi(words[6])};
    const cv::Mat fittedMask = expectedMask(large, fitted);
    EXPECT_EQ(fittedMask.at<uchar>(50, 50), 255) << "the dragged block is not marked";
    EXPECT_TRUE(showsBlocks(maskShown, {16, 10}, fittedMask))
        << "\"" << kMaskTitle << "\" does not show the mask of the fitted bounds";
  }
}

// QT_SCALE_FACTOR=2 on a 1920x1080 screen: a 4000x3000 photo's windows,
// status bars included, lie on the screen, apart.
TEST_F(WindowTest, AScaledScreenKeepsBothWindowsOnIt) {
  XServer screen({1920, 1080});
  ChildOptions options = tesmicOnImage(writeImage("photo.png", blocksImage({8, 6}, 500)),
                                       kCraftedBounds);
  options.environment.push_back({"DISPLAY", screen.displayName()});
  options.environment.push_back({"QT_SCALE_FACTOR", "2"});
  ChildProcess child(options);
  const std::optional<PlacedRun> run = awaitPlacedRun(screen.display());
  ASSERT_TRUE(run);
  expectInside(*run, {0, 0, 1920, 1080});
  EXPECT_TRUE((run->mask & run->picture).empty()) << run->mask << " and " << run->picture;
  child.terminate(5s);
}

// A screen of two monitors side by side, 1920x1080 and 1280x1024, with the
// pointer on the second: both windows lie on that one. Root properties that
// another client wrote wrong (a desktop number beyond all, a work area of
// five huge values, a window manager's check of the wrong type) change
// nothing.
TEST_F(WindowTest, WindowsGoOnTheMonitorUnderThePointer) {
  XServer screen({3200, 1080});
  Display* d = screen.display();
  setMonitors(d, {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}});
  setRootProperty(d, "_NET_CURRENT_DESKTOP", "CARDINAL", {0xFFFFFFFFul});
  setRootProperty(d, "_NET_WORKAREA", "CARDINAL",
                  {0xFFFFFFF0ul, 5, 0xFFFFFFFFul, 0x7FFFFFFFul, 0x80000000ul});
  setRootProperty(d, "_NET_SUPPORTING_WM_CHECK", "STRING", {0x41414141ul});
  pointAt(d, DefaultRootWindow(d), {2500, 500});
  ChildOptions options = tesmicOnImage(writeImage("photo.png", blocksImage({16, 10}, 100)),
                                       kCraftedBounds);
  options.environment.push_back({"DISPLAY", screen.displayName()});
  ChildProcess child(options);
  const std::optional<PlacedRun> run = awaitPlacedRun(d);
  ASSERT_TRUE(run);
  expectInside(*run, {1920, 0, 1280, 1024});
  EXPECT_TRUE((run->mask & run->picture).empty()) << run->mask << " and " << run->picture;
  const auto mask = waitForMappedWindow(d, kMaskTitle, kWindowTimeout);
  ASSERT_TRUE(mask && pressKeyOn(d, *mask, "q"));
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

// Any client may write a window's _NET_FRAME_EXTENTS: a window manager
// that announces itself but whose frames another client set to 1000 pixels
// on each side would put both windows off the screen. Frames wider than a
// quarter of the monitor are taken for none reported.
TEST_F(WindowTest, FramesWiderThanAQuarterOfTheMonitorAreIgnored) {
  XServer screen({1920, 1080});
  Display* d = screen.display();
  const Window check = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  setRootProperty(d, "_NET_SUPPORTING_WM_CHECK", "WINDOW", {check});
  ChildOptions options = tesmicOnImage(writeImage("photo.png", blocksImage({8, 5}, 100)),
                                       kCraftedBounds);
  options.environment.push_back({"DISPLAY", screen.displayName()});
  ChildProcess child(options);
  const Atom extents = XInternAtom(d, "_NET_FRAME_EXTENTS", False);
  std::vector<Window> windows;
  for (const char* title : {kMaskTitle, kImageTitle}) {
    const auto window = waitForMappedWindow(d, title, kWindowTimeout);
    ASSERT_TRUE(window) << "no window \"" << title << "\"";
    const long wide[4] = {1000, 1000, 1000, 1000};
    XChangeProperty(d, *window, extents, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(wide), 4);
    windows.push_back(*window);
  }
  XFlush(d);
  // Placed before the first pass: then both lie on the screen, apart.
  ASSERT_TRUE(child.awaitStderr("Cas ", kRunTimeout));
  const cv::Rect screenRect(0, 0, 1920, 1080);
  cv::Rect mask;
  cv::Rect picture;
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  do {
    std::this_thread::sleep_for(100ms);
    mask = windowRect(d, windows[0]);
    picture = windowRect(d, windows[1]);
  } while (((mask & screenRect) != mask || (picture & screenRect) != picture) &&
           std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(mask & screenRect, mask);
  EXPECT_EQ(picture & screenRect, picture);
  EXPECT_TRUE((mask & picture).empty()) << mask << " and " << picture;
  ASSERT_TRUE(pressKeyOn(d, windows[0], "q"));
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

class MaskWindowTest : public WindowTest, public ::testing::WithParamInterface<Bounds> {};

// The mask read back from the server equals the rule applied to the colours
// as loaded, not to the smoothed ones "ORIG" shows.
TEST_P(MaskWindowTest, ShowsTheMaskOfTheUnsmoothedColours) {
  const Bounds bounds = GetParam();
  const cv::Mat crafted = craftedImage();
  const cv::Mat expected = expectedMask(crafted, bounds);
  // The crafted image must be able to tell a right mask from a wrong one.
  ASSERT_GT(cv::countNonZero(expected), 0);
  ASSERT_GT(cv::countNonZero(expected == 0), 0);
  ASSERT_GT(cv::norm(expected, expectedMask(smoothed(crafted), bounds), cv::NORM_INF), 0)
      << "the specks must not survive smoothing";

  ChildProcess child(tesmicOnImage(writeImage("crafted.png", crafted), bounds));
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));

  EXPECT_EQ(waitUntilShown(display(), mask, expected).size(), 1u)
      << "the expected mask is not shown exactly once in \"" << kMaskTitle << "\"";

  ASSERT_TRUE(pressKeyOn(display(), picture, "q"));
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

// The first leaves the lower lightness bound SH in charge, the second VL.
INSTANTIATE_TEST_SUITE_P(Bounds, MaskWindowTest,
                         ::testing::Values(kCraftedBounds, Bounds{175, 30, 20, 230, 60, 100}));

class CloseWindowTest : public WindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CloseWindowTest, ClosingEitherWindowEndsTheRun) {
  const cv::Mat crafted = craftedImage();
  ChildProcess child(tesmicOnImage(writeImage("crafted.png", crafted), kCraftedBounds));
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));

  ASSERT_TRUE(requestClose(display(), GetParam() == std::string(kMaskTitle) ? mask : picture));
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, CloseWindowTest, ::testing::Values(kMaskTitle, kImageTitle),
                         [](const auto& param) { return std::string(param.param); });

TEST_F(WindowTest, ClosingBothWindowsThenAStrayKeyLeavesNothingHanging) {
  const cv::Mat crafted = craftedImage();
  ChildProcess child(tesmicOnImage(writeImage("crafted.png", crafted), kCraftedBounds));
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(crafted, mask, picture));

  // The second request may find its window gone already; that is fine.
  ASSERT_TRUE(requestClose(display(), mask));
  requestClose(display(), picture);
  pressKeyOnNothing(display(), "q");
  expectEndedWithExitCode(child.wait(kRunTimeout), 0);
}

// The program and its sample installed by the build's own install rules
// into a folder of this test binary, once.
fs::path installedBinary() {
  static const TemporaryDirectory prefix;
  static const bool installed = [] {
    ChildOptions install;
    install.argv = {TESMIC_CMAKE, "--install", TESMIC_BUILD_DIR, "--prefix", prefix.path().string()};
    return runChild(install, 60s).exitCode == 0;
  }();
  return installed ? prefix.path() / "bin" / "tesmic" : fs::path();
}

// Any argument count but seven prints the usage and runs the example with
// 175 30 160 240 90 0 on cerven.jpg: the working directory's, even where
// the program is installed with its sample. Which counts those are is the
// unit tests' to check; here one count past seven, whose first seven would
// make a run of their own if they were taken, and none in the test below.
TEST_F(WindowTest, OneArgumentTooManyPrintsTheUsageAndRunsTheExample) {
  const fs::path program = installedBinary();
  ASSERT_FALSE(program.empty()) << "cmake --install failed";
  // Not the installed sample, so that the window tells which one was read.
  writeImage("cerven.jpg", craftedImage());
  writeImage("crafted.png", craftedImage());

  ChildOptions options = tesmic({"crafted.png", "170", "10", "60", "200", "100", "40", "7"});
  options.argv[0] = program.string();
  options.workingDirectory = temp_.path().string();
  ChildProcess child(options);
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(cv::imread((temp_.path() / "cerven.jpg").string()),
                                          mask, picture));

  ASSERT_TRUE(pressKeyOn(display(), picture, "q"));
  const ChildResult result = child.wait(kRunTimeout);
  expectEndedWithExitCode(result, 0);
  EXPECT_EQ(result.out, std::string(kUsageText));
  expectOneTimingLine(result);
}

// From a folder without cerven.jpg the example reads the installed sample,
// and says nothing more than it would anywhere else.
TEST_F(WindowTest, TheExampleRunsFromAnyFolderOnTheInstalledSample) {
  const fs::path program = installedBinary();
  ASSERT_FALSE(program.empty()) << "cmake --install failed";
  ChildOptions options = tesmic({});
  options.argv[0] = program.string();
  options.workingDirectory = temp_.path().string();
  ChildProcess child(options);
  const cv::Mat example = cv::imread(TESMIC_SAMPLE_IMAGE);
  Window mask = 0;
  Window picture = 0;
  ASSERT_NO_FATAL_FAILURE(awaitRunShowing(example, mask, picture));
  const cv::Mat expected = expectedMask(example, kExampleRun);
  EXPECT_EQ(waitUntilShown(display(), mask, expected).size(), 1u)
      << "\"" << kMaskTitle << "\" does not show the example's mask";

  ASSERT_TRUE(pressKeyOn(display(), picture, "q"));
  const ChildResult result = child.wait(kRunTimeout);
  expectEndedWithExitCode(result, 0);
  EXPECT_EQ(result.out, std::string(kUsageText));
  expectOneTimingLine(result);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << describe(result);
}

// Failures end with their exit code and one Czech line, before any window.
class FailureTest : public WindowTest {
 protected:
  // The image is valid unless a test passes another.
  ChildResult expectFailure(ChildOptions options, int code, const std::string& namedFile = "") {
    WindowCreationWatch watch(display());
    const ChildResult result = runChild(options, kRunTimeout);
    expectEndedWithExitCode(result, code);
    EXPECT_EQ(result.out, "") << describe(result);
    EXPECT_TRUE(std::regex_search(result.err, std::regex("(^|\n)Chyba: [^\n]+\n")))
        << describe(result);
    if (!namedFile.empty()) {
      EXPECT_NE(result.err.find("\"" + namedFile + "\""), std::string::npos)
          << "the message does not name the file\n" << describe(result);
    }
    // Qt may have started (it does while the image is decoded), but shows
    // nothing.
    EXPECT_TRUE(watch.shown().empty()) << "a window was shown";
    return result;
  }

  ChildOptions onImage(const fs::path& image) const {
    return tesmicOnImage(image, kCraftedBounds);
  }

  fs::path validImage() const { return writeImage("crafted.png", craftedImage()); }
};

TEST_F(FailureTest, UnreadableImagesExitWithOne) {
  const fs::path missing = temp_.path() / "chybi.png";
  expectFailure(onImage(missing), 1, missing.string());

  const fs::path folder = temp_.path() / "slozka.png";
  fs::create_directory(folder);
  expectFailure(onImage(folder), 1, folder.string());

  const fs::path text = temp_.path() / "text.png";
  std::ofstream(text) << "this is not a picture\n";
  expectFailure(onImage(text), 1, text.string());
}

// A display name that no X server answers; empty when none was found.
std::string unservedDisplay() {
  for (int number = 4000; number < 4100; ++number) {
    const std::string digits = std::to_string(number);
    if (!fs::exists(fs::path("/tmp/.X11-unix") / ("X" + digits)) &&
        !displayReachable(std::string(":").append(digits))) {
      return std::string(":").append(digits);
    }
  }
  return "";
}

TEST_F(FailureTest, NoDisplayExitsWithTwo) {
  ChildOptions unset = onImage(validImage());
  unset.environment.push_back({"DISPLAY", std::nullopt});
  expectFailure(unset, 2);

  const std::string unserved = unservedDisplay();
  ASSERT_FALSE(unserved.empty()) << "every display number probed is in use";
  ChildOptions nobody = onImage(validImage());
  nobody.environment.push_back({"DISPLAY", unserved});
  expectFailure(nobody, 2);
}

// With TESMIC_MASK and no display the mask is written without windows, in
// the format of its extension; a name that cannot be written ends the run
// with 3 before any window and leaves no file.
TEST_F(FailureTest, TesmicMaskWithoutDisplayWritesTheMask) {
  const cv::Mat crafted = craftedImage();
  const fs::path image = writeImage("crafted.png", crafted);
  const std::string unserved = unservedDisplay();
  ASSERT_FALSE(unserved.empty()) << "every display number probed is in use";
  const struct {
    std::optional<std::string> display;
    const char* file;
  } headless[] = {{std::nullopt, "maska.png"}, {"", "maska.tif"}, {unserved, "maska.pgm"}};
  for (const auto& run : headless) {
    SCOPED_TRACE(run.file);
    const fs::path file = temp_.path() / run.file;
    ChildOptions options = onImage(image);
    options.environment.push_back({"DISPLAY", run.display});
    options.environment.push_back({"TESMIC_MASK", file.string()});
    WindowCreationWatch watch(display());
    const ChildResult result = runChild(options, kRunTimeout);
    expectEndedWithExitCode(result, 0);
    EXPECT_EQ(result.out, "") << describe(result);
    expectOneTimingLine(result);
    EXPECT_TRUE(watch.created().empty()) << "a window was opened";
    const cv::Mat kept = cv::imread(file.string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(kept.type(), CV_8UC1);
    EXPECT_EQ(cv::norm(kept, expectedMask(crafted, kCraftedBounds), cv::NORM_INF), 0);
  }

  // Each told before any work (no pass timed) with its real cause.
  const fs::path fifo = temp_.path() / "fronta.png";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_hard_link(image, temp_.path() / "odkaz.png");
  const struct {
    fs::path name;
    std::string cause;
  } unwritable[] = {
      {temp_.path() / "maska.xyz", "pripona nazvu neurcuje format"},
      {temp_.path() / "maska.jp2", "format \".jp2\" nelze zapsat"},
      {temp_.path() / "chybi" / "maska.png",
       "slozka \"" + (temp_.path() / "chybi").string() + "\" neexistuje"},
      {image, "je to nacitany obrazek"},
      {temp_.path() / "odkaz.png", "je to nacitany obrazek"},
      {fifo, "neni to obycejny soubor"},
      {temp_.path() / (std::string(5000, 'a') + ".png"), "nazev je prilis dlouhy"},
      {"/proc/maska.png", "ve slozce \"/proc\" nelze vytvorit soubor"},
  };
  for (const auto& [name, cause] : unwritable) {
    SCOPED_TRACE(cause);
    ChildOptions options = onImage(image);
    options.environment.push_back({"TESMIC_MASK", name.string()});
    const ChildResult result = expectFailure(options, 3, name.string());
    EXPECT_NE(result.err.find(cause), std::string::npos) << describe(result);
    EXPECT_EQ(result.err.find("Cas "), std::string::npos) << "refused only after the pass";
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(cv::norm(cv::imread(image.string()), crafted, cv::NORM_INF), 0) << "the image was overwritten";

  // With TESMIC_MASK a wrong argument count in a script's loop would write
  // the example's mask under the name meant for another image: the usage,
  // and nothing else.
  writeImage("cerven.jpg", crafted);
  ChildOptions wrongCount = tesmic({image.string(), "170", "10", "60", "200", "100"});
  wrongCount.workingDirectory = temp_.path().string();
  wrongCount.environment.push_back({"DISPLAY", std::nullopt});
  wrongCount.environment.push_back({"TESMIC_MASK", "priklad.png"});
  const ChildResult usage = runChild(wrongCount, kRunTimeout);
  expectEndedWithExitCode(usage, 3);
  EXPECT_EQ(usage.out, std::string(kUsageText));
  EXPECT_EQ(usage.err.rfind("Chyba: s promennou TESMIC_MASK", 0), 0u) << describe(usage);
  fs::remove(temp_.path() / "cerven.jpg");

  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(temp_.path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<fs::path>{"crafted.png", "fronta.png", "maska.pgm", "maska.png",
                                         "maska.tif", "odkaz.png", "runtime"}))
      << "a temporary file was left behind";

  // Another user's file in a folder with the sticky bit (as /tmp) cannot be
  // replaced: told before the work, not after the tuning.
  if (geteuid() != 0) GTEST_SKIP() << "only root can run tesmic as another user";
  const fs::path shared = temp_.path() / "sdilena";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  std::ofstream(shared / "cizi.png") << "not the run's user's";
  ChildOptions stranger = asUserOfItsOwn(onImage(image), temp_.path());
  stranger.environment.push_back({"TESMIC_MASK", (shared / "cizi.png").string()});
  const ChildResult refused = expectFailure(stranger, 3, (shared / "cizi.png").string());
  EXPECT_NE(refused.err.find("sticky bit"), std::string::npos) << describe(refused);
  EXPECT_EQ(refused.err.find("Cas "), std::string::npos) << "refused only after the pass";
}

// A mask written over a file keeps what the file was: its mode, its owner
// and group (where the user may give them; here as root), and a symbolic
// link stays a link with the file it points to written, also where that
// file does not exist yet. A new file gets the mode the umask leaves.
TEST_F(FailureTest, AMaskWrittenOverAFileKeepsWhatTheFileWas) {
  const cv::Mat crafted = craftedImage();
  const fs::path image = writeImage("crafted.png", crafted);
  const bool root = geteuid() == 0;
  const fs::path own = temp_.path() / "vlastni.png";
  std::ofstream(own) << "an older mask";
  fs::permissions(own, fs::perms::owner_read | fs::perms::owner_write);
  if (root) {
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
  }
  const fs::path elsewhere = temp_.path() / "jinde";
  fs::create_directory(elsewhere);
  std::ofstream(elsewhere / "skutecna.tif") << "an older mask";
  fs::permissions(elsewhere / "skutecna.tif", fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read);
  fs::create_symlink("jinde/skutecna.tif", temp_.path() / "odkaz.tif");
  fs::create_symlink("jinde/nova.png", temp_.path() / "nikam.png");
  for (const char* name : {"vlastni.png", "odkaz.tif", "nikam.png"}) {
    SCOPED_TRACE(name);
    ChildOptions options = onImage(image);
    options.environment.push_back({"DISPLAY", std::nullopt});
    options.environment.push_back({"TESMIC_MASK", (temp_.path() / name).string()});
    options.argv.insert(options.argv.begin(), {"sh", "-c", "umask 027 && exec \"$0\" \"$@\""});
    expectEndedWithExitCode(runChild(options, kRunTimeout), 0);
    expectMaskKept(temp_.path() / name, crafted, kCraftedBounds, temp_.path());
  }
  struct stat status {};
  ASSERT_EQ(stat(own.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
  }
  EXPECT_TRUE(fs::is_symlink(temp_.path() / "odkaz.tif"));
  EXPECT_TRUE(fs::is_symlink(temp_.path() / "nikam.png"));
  ASSERT_EQ(stat((elsewhere / "skutecna.tif").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  ASSERT_EQ(stat((elsewhere / "nova.png").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u) << "not the mode the umask leaves";
}

TEST_F(FailureTest, TheImageIsCheckedBeforeTheDisplay) {
  const fs::path missing = temp_.path() / "chybi.png";
  ChildOptions options = onImage(missing);
  options.environment.push_back({"DISPLAY", std::nullopt});
  expectFailure(options, 1, missing.string());
}

}  // namespace
}  // namespace tesmic::test
