// The real binary against awkward files, images too large for memory and
// hostile surroundings (no screen, closed streams, a display that freezes or
// dies): every run ends within its time, never by a signal, with the
// documented exit code and its one Czech line.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/awkward_images.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "support/x_server.h"

namespace tesmic::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kRunTimeout = 30s;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// Whether process pid is gone, or a zombie, within the time.
bool endsWithin(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.find(") Z ") != std::string::npos) return true;
    std::this_thread::sleep_for(20ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

class HostileInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<XServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    runtimeDir_ = temp_.path() / "runtime";
    fs::create_directory(runtimeDir_);
    chmod(runtimeDir_.c_str(), 0700);
  }

  ChildOptions tesmicOn(const fs::path& image) const {
    ChildOptions options;
    options.argv = {TESMIC_BINARY, image.string(), "175", "30", "160", "240", "90", "0"};
    options.environment = {{"DISPLAY", server_->displayName()},
                           {"XDG_RUNTIME_DIR", runtimeDir_.string()},
                           {"QT_QPA_PLATFORM", "xcb"}};
    options.limits = {{RLIMIT_CORE, 0}};
    return options;
  }

  // Presses a key on "Vysledek" until the run ends: a key that arrives
  // before the run waits for one is lost, so one press may not be enough.
  // whileShown runs once, when the window is first seen.
  static ChildResult runUntilAKeyEndsIt(const ChildOptions& options,
                                        const std::function<void(pid_t)>& whileShown = {}) {
    ChildProcess child(options);
    Display* display = server_->display();
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
    bool seen = false;
    while (std::chrono::steady_clock::now() < deadline) {
      if (const auto mask = waitForMappedWindow(display, "Vysledek", 200ms)) {
        if (!seen && whileShown) whileShown(child.pid());
        seen = true;
        pressKeyOn(display, *mask, "q");
      }
      if (child.endsWithin(500ms)) break;
    }
    return child.wait(1s);
  }

  static void expectExit(const ChildResult& result, int code) {
    ASSERT_FALSE(result.timedOut) << describe(result);
    ASSERT_TRUE(result.exited) << "ended by a signal\n" << describe(result);
    EXPECT_EQ(result.exitCode, code) << describe(result);
  }

  static inline std::unique_ptr<XServer> server_;
  TemporaryDirectory temp_;
  fs::path runtimeDir_;
};

TEST_F(HostileInputTest, AwkwardFilesGiveTheirDocumentedOutcome) {
  for (const AwkwardImage& image : writeAwkwardImages(temp_.path())) {
    SCOPED_TRACE(image.what);
    if (image.outcome == Outcome::kShown) {
      const ChildResult result = runUntilAKeyEndsIt(tesmicOn(image.path));
      expectExit(result, 0);
      EXPECT_NE(("\n" + result.err).find("\nCas "), std::string::npos) << describe(result);
      // The decoders' own complaints (in English) become one Czech warning.
      EXPECT_TRUE(std::regex_match(result.err, std::regex("((Cas|Varovani:) [^\n]*\n)+")))
          << describe(result);
    } else {
      const ChildResult result = runChild(tesmicOn(image.path), kRunTimeout);
      expectExit(result, 1);
      EXPECT_EQ(result.err, "Chyba: obrazek \"" + image.printedAs + "\" nelze nacist.\n");
    }
  }
}

// The decoders run in the helper alone: the program that holds the display
// never maps them.
TEST_F(HostileInputTest, TheProgramNeverMapsTheDecoders) {
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  std::string maps;
  const ChildResult result = runUntilAKeyEndsIt(tesmicOn(image), [&maps](pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
    maps.assign(std::istreambuf_iterator<char>(in), {});
  });
  expectExit(result, 0);
  EXPECT_NE(maps.find("libopencv_highgui"), std::string::npos) << maps;
  EXPECT_EQ(maps.find("libopencv_imgcodecs"), std::string::npos) << maps;
}

// Each ends before the windows would open.
TEST_F(HostileInputTest, HostileImagesEndWithinTheDecodersLimits) {
  // 640 x 480 pixels in one 16384 x 16384 tile: its decoder asks for a
  // gigabyte.
  const fs::path tile = temp_.path() / "dlazdice.tif";
  std::ofstream(tile, std::ios::binary) << tiffWithOneTile(640, 480, 16384);
  if (!kUnderAddressSanitizer) {
    ChildOptions options = tesmicOn(tile);
    options.limits.push_back({RLIMIT_AS, rlim_t{900} << 20});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 3);
    EXPECT_EQ(result.err, "Chyba: nedostatek pameti pro obrazek.\n");
  }
  // Minutes of CPU time to decode: 64 megapixels would allow more than a
  // minute, the file's 0.6 MB allow 5 s.
  const fs::path scans = temp_.path() / "skeny.jpg";
  std::ofstream(scans, std::ios::binary) << jpegWithEmptyScans(8000, 8000, 60000);
  const ChildResult result = runChild(tesmicOn(scans), kRunTimeout);
  expectExit(result, 3);
  EXPECT_EQ(result.err,
            "Chyba: nacitani obrazku \"" + scans.string() + "\" prekrocilo casovy limit.\n");
  EXPECT_LT(result.cpuSeconds, 10) << "the decode was not held to the file's size";
}

// Where the helper is refused Landlock (an older kernel, a container's
// seccomp profile), every format still loads; with a limit on file sizes
// that its pixels would pass, the run says so.
TEST_F(HostileInputTest, TheHelperDecodesWithoutLandlockAndNamesAFileSizeLimit) {
  const cv::Mat colours = cv::imread(TESMIC_SAMPLE_IMAGE, cv::IMREAD_COLOR)(cv::Rect(0, 0, 64, 48));
  cv::Mat grey;
  cv::Mat floating;
  cv::cvtColor(colours, grey, cv::COLOR_BGR2GRAY);
  colours.convertTo(floating, CV_32F, 1.0 / 255);
  const fs::path masks = temp_.path() / "masky";
  fs::create_directory(masks);
  for (const char* extension : {".jpg", ".png", ".tif", ".webp", ".jp2", ".bmp", ".ppm", ".pgm",
                                ".pbm", ".pfm", ".ras", ".hdr"}) {
    SCOPED_TRACE(extension);
    const fs::path image = temp_.path() / (std::string("obrazek") + extension);
    const std::string_view kind(extension);
    const cv::Mat& pixels = kind == ".pgm" || kind == ".pbm" ? grey
                            : kind == ".pfm"                 ? floating
                                                             : colours;
    ASSERT_TRUE(cv::imwrite(image.string(), pixels));
    ChildOptions options = tesmicOn(image);
    options.argv.insert(options.argv.begin(), TESMIC_WITHOUT_LANDLOCK);
    options.environment.push_back({"DISPLAY", std::nullopt});
    options.environment.push_back({"TESMIC_MASK", (masks / "maska.png").string()});
    expectExit(runChild(options, kRunTimeout), 0);
  }
  ChildOptions options = tesmicOn(TESMIC_SAMPLE_IMAGE);  // 800 x 600: 1.44 MB of pixels
  options.limits.push_back({RLIMIT_FSIZE, rlim_t{1000} << 10});
  const ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 3);
  EXPECT_NE(result.err.find("(ulimit -f)"), std::string::npos) << describe(result);
}

// The helper runs the decoders with the user's rights until it confines
// itself: it is run only from where nobody else could have put it, holds
// no descriptor but its own, and dies with the program even while it is
// still starting.
TEST_F(HostileInputTest, OnlyATrustedHelperRunsAndItHoldsNothingOfTheProgramsAndEndsWithIt) {
  // A copy of the program in a prefix of its own, and a helper planted
  // where it would look, in a folder others may write to.
  const fs::path prefix = temp_.path() / "prefix";
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib" / "tesmic");
  fs::copy_file(TESMIC_BINARY, prefix / "bin" / "tesmic");
  const fs::path planted = prefix / "lib" / "tesmic" / "tesmic-codec";
  const fs::path ran = temp_.path() / "spusteno";
  std::ofstream(planted) << "#!/bin/sh\ntouch '" << ran.string() << "'\n";
  fs::permissions(planted, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(planted.parent_path(), fs::perms::all);
  ChildOptions options = tesmicOn(TESMIC_SAMPLE_IMAGE);
  options.argv[0] = (prefix / "bin" / "tesmic").string();
  ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 3);
  EXPECT_NE(result.err.find("\"" + planted.parent_path().string() +
                            "\" smi zapisovat i skupina nebo ostatni"),
            std::string::npos)
      << describe(result);
  EXPECT_FALSE(fs::exists(ran)) << "the planted helper ran";

  // A decode that takes seconds, started with a descriptor the helper must
  // not get: killed as soon as the helper runs, the program takes it along.
  const fs::path scans = temp_.path() / "skeny.jpg";
  std::ofstream(scans, std::ios::binary) << jpegWithEmptyScans(4000, 4000, 20000);
  const fs::path secret = temp_.path() / "tajne.txt";
  options = tesmicOn(scans);
  options.argv.insert(options.argv.begin(),
                      {"sh", "-c", "exec 7>>'" + secret.string() + "'; exec \"$0\" \"$@\""});
  ChildProcess child(options);
  const pid_t helper = awaitCodecHelper(child.pid(), {}, 5s);
  ASSERT_GT(helper, 0) << "no helper started";
  const std::vector<fs::path> held = descriptorTargets(helper);
  kill(child.pid(), SIGKILL);  // the program alone, not its process group
  EXPECT_EQ(std::count(held.begin(), held.end(), secret), 0) << "the helper holds the secret";
  EXPECT_TRUE(endsWithin(helper, 1s)) << "the helper outlived the program";
}

// Run without a display: the warning, if any, comes before exit 2.
TEST_F(HostileInputTest, OnlyDamagedPixelsGiveTheWarning) {
  for (const auto& [name, bytes] : pngsWithBadMetadata()) {
    SCOPED_TRACE(name);
    std::ofstream(temp_.path() / name, std::ios::binary) << bytes;
    ChildOptions options = tesmicOn(temp_.path() / name);
    options.environment.push_back({"DISPLAY", std::nullopt});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 2);
    EXPECT_EQ(result.err.find("Varovani"), std::string::npos) << describe(result);
  }
  // A JPEG cut off still warns with /tmp read-only (in a mount namespace of
  // its own, where the system allows one).
  cv::Mat noise(240, 320, CV_8UC3);
  cv::randu(noise, 0, 255);
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", noise, jpeg);
  const fs::path cut = temp_.path() / "pulka.jpg";
  std::ofstream(cut, std::ios::binary)
      .write(reinterpret_cast<const char*>(jpeg.data()),
             static_cast<std::streamsize>(jpeg.size() / 2));
  ChildOptions options = tesmicOn(cut);
  options.environment.push_back({"DISPLAY", std::nullopt});
  ChildOptions probe;
  probe.argv = {"unshare", "-m", "true"};
  const bool readOnlyTmp = geteuid() == 0 && runChild(probe, kRunTimeout).exitCode == 0;
  if (readOnlyTmp) {
    options.argv.insert(options.argv.begin(),
                        {"unshare", "-m", "--propagation", "private", "sh", "-c",
                         "mount -o bind,ro /tmp /tmp && ! touch /tmp/zapis 2>/dev/null && "
                         "exec \"$0\" \"$@\""});
  }
  const ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 2);
  EXPECT_EQ(result.err.rfind("Varovani: obrazek \"" + cut.string() + "\" je zrejme poskozeny", 0),
            0u)
      << describe(result);
  if (!readOnlyTmp) GTEST_SKIP() << "no mount namespace here: /tmp was writable";
}

TEST_F(HostileInputTest, AnImageWithoutReadPermissionIsUnreadable) {
  const fs::path locked = temp_.path() / "zamceny.png";
  cv::imwrite(locked.string(), cv::Mat(160, 240, CV_8UC3, cv::Scalar(0, 0, 255)));
  fs::permissions(locked, fs::perms::none);
  ChildOptions options = tesmicOn(locked);
  // Root reads every file: run as another user.
  if (geteuid() == 0) options = asUserOfItsOwn(options, temp_.path());
  const ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 1);
  EXPECT_EQ(result.err, "Chyba: obrazek \"" + locked.string() + "\" nelze nacist.\n");
}

// An image that does not fit in the memory the process may have ends with
// exit code 3 and a message, not with a crash, a core dump or the OOM
// killer, and is refused from its header, before its pixels take memory.
TEST_F(HostileInputTest, AnImageTooLargeForMemoryExitsWithThree) {
  if (kUnderAddressSanitizer) {
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
  }
  // 12000 x 12000 pixels need 432 MB as BGR; the file is small.
  const fs::path large = temp_.path() / "velky.png";
  cv::Mat image(12000, 12000, CV_8UC3, cv::Scalar(110, 110, 255));
  ASSERT_TRUE(cv::imwrite(large.string(), image));
  image.release();
  // A 16 x 16 JPEG whose header claims 16000 x 16000 (768 MB as BGR).
  const fs::path claims = temp_.path() / "tvrdi.jpg";
  std::ofstream(claims, std::ios::binary) << jpegDeclaringSize(16000, 16000);

  for (const auto& [file, limitMb] : {std::pair{large, 512}, std::pair{claims, 2048}}) {
    SCOPED_TRACE(file.filename());
    ChildOptions options = tesmicOn(file);
    options.limits.push_back({RLIMIT_AS, rlim_t(limitMb) << 20});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 3);
    EXPECT_EQ(result.err, "Chyba: nedostatek pameti pro obrazek.\n");
    EXPECT_LT(result.peakResidentKb, 300 * 1024) << "decoded before it was refused";
  }
}

// Whether a crash of a process started in this folder, with no limit on
// core files, would leave its core file there.
bool coresLandInTheWorkingDirectory() {
  std::ifstream patternFile("/proc/sys/kernel/core_pattern");
  std::string pattern;
  std::getline(patternFile, pattern);
  rlimit core{};
  return !pattern.empty() && pattern[0] != '|' && pattern.find('/') == std::string::npos &&
         getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_max == RLIM_INFINITY;
}

// Qt aborts the process when its platform cannot start, shows nothing on a
// platform without a screen and black windows on a screen with a palette;
// an X server that never answers would block. None of it may leave a core
// file, even where core files are allowed.
TEST_F(HostileInputTest, NoPlaceToShowTheWindowsExitsWithTwo) {
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  const fs::path workingDirectory = temp_.path() / "cores";
  fs::create_directory(workingDirectory);
  const bool coresLandHere = coresLandInTheWorkingDirectory();
  const auto withCores = [&](ChildOptions options) {
    options.workingDirectory = workingDirectory.string();
    if (coresLandHere) options.limits = {{RLIMIT_CORE, RLIM_INFINITY}};
    return options;
  };
  const std::string prefix = "Chyba: neni dostupny zadny displej, okna nelze otevrit (";
  for (const char* platform : {"wayland", "bogus", "linuxfb", "offscreen", "minimal"}) {
    SCOPED_TRACE(platform);
    ChildOptions options = withCores(tesmicOn(image));
    options.environment.push_back({"QT_QPA_PLATFORM", platform});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 2);
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << describe(result);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << describe(result);
  }

  // The X server answers, but Qt's xcb plugin cannot load: a library it
  // needs is an empty file. Qt's fatal error skips every exit handler; the
  // mask's temporary file goes all the same.
  const fs::path brokenLibraries = temp_.path() / "lib";
  fs::create_directory(brokenLibraries);
  std::ofstream(brokenLibraries / "libQt5XcbQpa.so.5").close();
  ChildOptions brokenPlugin = withCores(tesmicOn(image));
  brokenPlugin.environment.push_back({"LD_LIBRARY_PATH", brokenLibraries.string()});
  const fs::path masks = temp_.path() / "masky";
  fs::create_directory(masks);
  brokenPlugin.environment.push_back({"TESMIC_MASK", (masks / "maska.png").string()});
  const ChildResult withoutPlugin = runChild(brokenPlugin, kRunTimeout);
  expectExit(withoutPlugin, 2);
  EXPECT_EQ(withoutPlugin.err.rfind(prefix + "platformu Qt \"xcb\" se nepodarilo spustit", 0), 0u)
      << describe(withoutPlugin);
  EXPECT_TRUE(fs::is_empty(masks)) << "the mask's temporary file was left";

  XServer palette({800, 600}, {.depth = 8});
  ChildOptions onPalette = tesmicOn(image);
  onPalette.environment.push_back({"DISPLAY", palette.displayName()});
  const ChildResult paletteResult = runChild(onPalette, kRunTimeout);
  expectExit(paletteResult, 2);
  EXPECT_NE(paletteResult.err.find("barvy jen z palety"), std::string::npos)
      << describe(paletteResult);

  XServer frozen;
  frozen.freeze();
  ChildOptions options = tesmicOn(image);
  options.environment.push_back({"DISPLAY", frozen.displayName()});
  const ChildResult result = runChild(options, kRunTimeout);
  frozen.thaw();
  expectExit(result, 2);
  EXPECT_EQ(result.err, prefix + "zkontrolujte promennou DISPLAY).\n");

  if (coresLandHere) {
    EXPECT_TRUE(fs::is_empty(workingDirectory)) << "a core file was left";
  }
}

// An X server with no client but ours resets when the last one leaves, and
// drops a connection made in that moment. With another client coming and
// going, every run still reaches its windows and its pass.
TEST_F(HostileInputTest, AServerThatResetsWhenIdleStillShowsTheWindows) {
  XServer resetting({800, 600}, {.resetsWhenIdle = true});
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  ChildOptions options = tesmicOn(image);
  options.environment.push_back({"DISPLAY", resetting.displayName()});
  const ChurningClient other(resetting.displayName());
  for (int run = 0; run < 8; ++run) {
    SCOPED_TRACE(run);
    ChildProcess child(options);
    const bool passDone = child.awaitStderr("Cas ", kRunTimeout);
    child.kill();
    const ChildResult result = child.wait(1s);
    EXPECT_TRUE(passDone) << describe(result);
  }
  EXPECT_GT(other.visits(), 6) << "the other client did not come and go";
}

// Too few descriptors would hang Qt's start-up or fail as an unreadable
// image or a missing display; the run says what is missing instead.
TEST_F(HostileInputTest, TooFewFileDescriptorsExitWithThree) {
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  for (const rlim_t descriptors : {5, 6, 8, 16}) {
    // With five, UndefinedBehaviorSanitizer's own type check misfires in a
    // library's destructor at exit (libproj's); from six on it does not.
    if (kUnderAddressSanitizer && descriptors == 5) continue;
    SCOPED_TRACE(descriptors);
    ChildOptions options = tesmicOn(image);
    options.limits.push_back({RLIMIT_NOFILE, descriptors});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 3);
    const std::regex line(
        "Chyba: program smi otevrit jen [0-9]+ dalsich souboru, beh jich potrebuje [0-9]+ "
        "\\(zvyste limit, napriklad ulimit -n 1024\\)\\.\n");
    EXPECT_TRUE(std::regex_match(result.err, line)) << describe(result);
  }
}

// A thread the system refuses (ulimit -u) ends the run with 3 and a line
// that says so, and leaves nothing of the mask. Run as a user of its own, so
// that no other process counts against the limit.
TEST_F(HostileInputTest, AThreadTheSystemRefusesEndsWithThree) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can run tesmic as a user of its own";
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  const fs::path masks = temp_.path() / "masky";
  fs::create_directory(masks);
  fs::permissions(masks, fs::perms::all);
  ChildOptions options = asUserOfItsOwn(tesmicOn(image), temp_.path());
  options.environment.push_back({"DISPLAY", std::nullopt});
  options.environment.push_back({"TESMIC_MASK", (masks / "maska.png").string()});
  // The program and the thread of its pool: the pool's thread is refused.
  options.limits = {{RLIMIT_CORE, 0}, {RLIMIT_NPROC, 2}};
  const ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 3);
  EXPECT_EQ(result.err,
            "Chyba: nelze spustit dalsi vlakno, system jich vic nedovoli (limit poctu "
            "procesu, ulimit -u).\n");
  EXPECT_TRUE(fs::is_empty(masks));
}

// With standard error closed its number would go to the X connection; with
// no one left to read it a write would raise SIGPIPE. Either way the run
// goes on to its windows and ends with a key.
TEST_F(HostileInputTest, ClosedOrUnreadStandardErrorDoesNotStopTheRun) {
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  for (const OutputMode mode : {OutputMode::kClosed, OutputMode::kNoReader}) {
    ChildOptions options = tesmicOn(image);
    options.stderrMode = mode;
    expectExit(runUntilAKeyEndsIt(options), 0);
  }
}

// A save from the toolbar under a name the toolkit cannot save to throws out
// of the wait; the run reports it and goes on, until the X server dies,
// which still prints the bounds tuned meanwhile.
TEST_F(HostileInputTest, AFailedSaveIsReportedAndALostDisplayEndsTheRunWithTwo) {
  XServer server;
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(120, 160, CV_8UC3, cv::Scalar(0, 0, 255)));
  ChildOptions options = tesmicOn(image);
  options.environment.push_back({"DISPLAY", server.displayName()});
  ChildProcess child(options);
  const auto mask = waitForMappedWindow(server.display(), "Vysledek", kRunTimeout);
  ASSERT_TRUE(mask);
  std::this_thread::sleep_for(500ms);  // until the run waits for keys

  ASSERT_TRUE(pressKeyOn(server.display(), *mask, "ctrl+s"));
  ASSERT_TRUE(waitForMappedWindow(server.display(), "Save File", kRunTimeout, TitleMatch::kStart));
  typeText(server.display(), (temp_.path() / "snimek.txt").string());
  pressKeys(server.display(), "Return");
  EXPECT_FALSE(child.endsWithin(1500ms)) << "the failed save ended the run";

  // A bound tuned before the display goes is still printed.
  ASSERT_TRUE(pressKeyOn(server.display(), *mask, "ctrl+p"));
  ASSERT_TRUE(waitForFocusedWindow(server.display(), "tesmic - ovladaci panel", kRunTimeout));
  pressKeys(server.display(), "Tab");  // from HH's slider to its box
  pressKeys(server.display(), "ctrl+a");
  typeText(server.display(), "100");
  pressKeys(server.display(), "Return");
  std::this_thread::sleep_for(500ms);

  server.crash();
  const ChildResult result = child.wait(kRunTimeout);
  expectExit(result, 2);
  EXPECT_EQ(result.out,
            std::string(TESMIC_BINARY) + " " + image.string() + " 100 30 160 240 90 0\n");
  EXPECT_NE(result.err.find("Chyba: obrazek okna nelze ulozit"), std::string::npos)
      << describe(result);
  EXPECT_NE(result.err.find("Chyba: spojeni s displejem bylo ztraceno"), std::string::npos)
      << describe(result);
}

}  // namespace
}  // namespace tesmic::test
