#include "ui/status_readouts.h"

#include <cstdio>

#include "pass/stopwatch.h"

namespace tesmic {

std::string passReadout(double seconds, double markedShare) {
  char share[64];
  std::snprintf(share, sizeof share, " | oznaceno %.2f %% pixelu", 100.0 * markedShare);
  return timingMessage(seconds) + share;
}

std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked) {
  char text[96];
  std::snprintf(text, sizeof text, "x=%d y=%d | H=%d L=%d S=%d | %s", x, y, hls[0], hls[1],
                hls[2], marked ? "oznacen" : "neoznacen");
  return text;
}

}  // namespace tesmic
