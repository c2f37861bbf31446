// The control panel against the toolkit's lookup of its own windows, which
// takes every window without a parent for one of its own and reads its
// type just past the end of a plain Qt widget (48 bytes), where whatever
// the heap left there is found. The heap is primed so that this read finds
// "a window": OpenCV's own control panel, whose sliders are parentless
// widgets while it builds them, crashes on it; the program's panel does not.
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <QApplication>
#include <QWidget>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/highgui/highgui_c.h>

#include "support/x_server.h"
#include "ui/control_panel.h"
#include "ui/toolkit_windows.h"

namespace tesmic::test {
namespace {

// Frees a few hundred blocks of malloc's size class of a plain Qt widget,
// each holding 1 (the toolkit's type of a window) at offset 48: the next
// widgets are made in them.
void primeHeap() {
  std::vector<void*> blocks;
  for (int i = 0; i < 400; ++i) {
    auto* block = static_cast<int*>(std::malloc(56));
    block[12] = 1;
    blocks.push_back(block);
  }
  for (void* block : blocks) std::free(block);
}

bool failed(int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }

// AddressSanitizer's allocator holds freed blocks back from reuse, so the
// primed blocks never reach the toolkit there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPrimedBlocksAreReused = false;
#else
constexpr bool kPrimedBlocksAreReused = true;
#endif

class PanelHeapTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("DISPLAY", server_.displayName().c_str(), 1); }

  XServer server_{cv::Size(1280, 1024)};
};

TEST_F(PanelHeapTest, TheToolkitsPanelCrashesOnAPrimedHeapTheProgramsDoesNot) {
  // Unprimed, it runs through; primed, it crashes or, taking garbage for a
  // window, throws (std::bad_alloc, say).
  if (kPrimedBlocksAreReused) {
    EXPECT_EXIT(
        {
          try {
            cv::namedWindow("Vysledek", cv::WINDOW_NORMAL);
            primeHeap();
            cv::createTrackbar("HH: H >", "", nullptr, 180, [](int, void*) {}, nullptr);
          } catch (...) {
            std::abort();
          }
          std::exit(0);
        },
        failed, "");
  }

  EXPECT_EXIT(
      {
        cv::namedWindow("Vysledek", cv::WINDOW_NORMAL);
        primeHeap();
        ControlPanel panel(*toolkitWindow("Vysledek"), {});
        panel.window()->show();
        QApplication::processEvents();
        cv::imshow("Vysledek", cv::Mat(20, 20, CV_8UC1, cv::Scalar(255)));
        // The lookup by the empty name finds any parentless plain widget.
        std::exit(cvGetWindowHandle("") == nullptr ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tesmic::test
