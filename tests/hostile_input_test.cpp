// The real binary against awkward files and images too large for memory:
// every run ends within its time, never by a signal, with the documented
// outcome.
#include <sys/stat.h>
#include <unistd.h>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

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
        pressKeyOn(display, *mask, XK_q);
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
    } else {
      const ChildResult result = runChild(tesmicOn(image.path), kRunTimeout);
      expectExit(result, 1);
      EXPECT_NE(result.err.find("Chyba: obrazek \"" + image.path.string() + "\" nelze nacist."),
                std::string::npos)
          << describe(result);
    }
  }
}

TEST_F(HostileInputTest, AnImageWithoutReadPermissionIsUnreadable) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const fs::path locked = temp_.path() / "zamceny.png";
  cv::imwrite(locked.string(), cv::Mat(160, 240, CV_8UC3, cv::Scalar(0, 0, 255)));
  fs::permissions(locked, fs::perms::none);
  const ChildResult result = runChild(tesmicOn(locked), kRunTimeout);
  expectExit(result, 1);
}

// An image that does not fit in the memory the process may have ends with
// exit code 3 and a message, not with a crash or a core dump.
TEST_F(HostileInputTest, AnImageTooLargeForMemoryExitsWithThree) {
  if (kUnderAddressSanitizer) {
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
  }
  // 12000 x 12000 pixels need 432 MB as BGR; the file is small.
  const fs::path large = temp_.path() / "velky.png";
  cv::Mat image(12000, 12000, CV_8UC3, cv::Scalar(110, 110, 255));
  ASSERT_TRUE(cv::imwrite(large.string(), image));
  image.release();

  ChildOptions options = tesmicOn(large);
  options.limits.push_back({RLIMIT_AS, rlim_t{512} << 20});
  const ChildResult result = runChild(options, kRunTimeout);
  expectExit(result, 3);
  EXPECT_NE(result.err.find("Chyba: nedostatek pameti pro obrazek."), std::string::npos)
      << describe(result);
}

}  // namespace
}  // namespace tesmic::test
