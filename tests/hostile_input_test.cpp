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
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

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
  static ChildResult runUntilAKeyEndsIt(const ChildOptions& options) {
    ChildProcess child(options);
    Display* display = server_->display();
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (const auto mask = waitForMappedWindow(display, "Vysledek", 200ms)) {
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

TEST_F(HostileInputTest, AnImageWithoutReadPermissionIsUnreadable) {
  const fs::path locked = temp_.path() / "zamceny.png";
  cv::imwrite(locked.string(), cv::Mat(160, 240, CV_8UC3, cv::Scalar(0, 0, 255)));
  fs::permissions(locked, fs::perms::none);
  ChildOptions options = tesmicOn(locked);
  if (geteuid() == 0) {
    // Root reads every file: run as nobody, from a copy that nobody may
    // run, in a folder that nobody may enter.
    const fs::path copy = temp_.path() / "tesmic";
    fs::copy_file(TESMIC_BINARY, copy);
    fs::permissions(temp_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                      fs::perms::others_exec);
    options.argv[0] = copy.string();
    options.argv.insert(options.argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                               "--clear-groups", "--"});
  }
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

// Qt aborts the process when its platform cannot start and shows nothing on
// a platform without a screen; an X server that never answers would block.
TEST_F(HostileInputTest, NoPlaceToShowTheWindowsExitsWithTwo) {
  const fs::path image = temp_.path() / "obrazek.png";
  cv::imwrite(image.string(), cv::Mat(40, 60, CV_8UC3, cv::Scalar(0, 0, 255)));
  const std::string prefix = "Chyba: neni dostupny zadny displej, okna nelze otevrit (";
  for (const char* platform : {"wayland", "bogus", "linuxfb", "offscreen", "minimal"}) {
    SCOPED_TRACE(platform);
    ChildOptions options = tesmicOn(image);
    options.environment.push_back({"QT_QPA_PLATFORM", platform});
    const ChildResult result = runChild(options, kRunTimeout);
    expectExit(result, 2);
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << describe(result);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << describe(result);
  }

  XServer frozen;
  frozen.freeze();
  ChildOptions options = tesmicOn(image);
  options.environment.push_back({"DISPLAY", frozen.displayName()});
  const ChildResult result = runChild(options, kRunTimeout);
  frozen.thaw();
  expectExit(result, 2);
  EXPECT_EQ(result.err, prefix + "zkontrolujte promennou DISPLAY).\n");
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
  const auto panel = waitForMappedWindow(server.display(), "tesmic settings", kRunTimeout);
  ASSERT_TRUE(panel);
  pointAt(server.display(), *panel, {20, windowRect(server.display(), *panel).height / 12}, 1);
  ASSERT_TRUE(waitForMappedWindow(server.display(), "Slider HH", kRunTimeout));
  typeText(server.display(), "100");
  pressKeys(server.display(), "Return");
  std::this_thread::sleep_for(500ms);

  server.crash();
  const ChildResult result = child.wait(kRunTimeout);
  expectExit(result, 2);
  EXPECT_EQ(result.out, "tesmic " + image.string() + " 100 30 160 240 90 0\n");
  EXPECT_NE(result.err.find("Chyba: obrazek okna nelze ulozit"), std::string::npos)
      << describe(result);
  EXPECT_NE(result.err.find("Chyba: spojeni s displejem bylo ztraceno"), std::string::npos)
      << describe(result);
}

}  // namespace
}  // namespace tesmic::test
