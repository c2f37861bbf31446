#include "ui/histogram_image.h"

#include <algorithm>
#include <cmath>

#include <QColor>

namespace tesmic {
namespace {

constexpr int kScaleStrip = 6;  // pixels along the bottom

const QRgb kBackground = qRgb(255, 255, 255);
const QRgb kPassingBackground = qRgb(214, 240, 206);
const QRgb kWholeImage = qRgb(200, 200, 200);
const QRgb kMarked = qRgb(30, 120, 30);
const QRgb kCutOff = qRgb(70, 70, 70);

// The colour of a value on the channel's scale.
QRgb scaleColour(int channel, int value) {
  switch (channel) {
    case 0:  // the hue at full saturation and mid lightness; OpenCV's hue is half the angle
      return QColor::fromHsl(std::min(2 * value, 359), 255, 128).rgb();
    case 1:
      return qRgb(value, value, value);
    default:  // from grey to a saturated red at mid lightness
      return QColor::fromHsl(0, value, 128).rgb();
  }
}

}  // namespace

QImage histogramImage(int channel, const ChannelCounts& all, const ChannelCounts& passingOthers,
                      const std::bitset<256>& passing, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  const int width = size.width();
  const int bars = std::max(size.height() - kScaleStrip, 1);
  const int values = kChannelTop[channel] + 1;
  const std::uint32_t highest = *std::max_element(all.begin(), all.begin() + values);
  const double unit = highest == 0 ? 0.0 : bars / std::sqrt(static_cast<double>(highest));
  const auto barHeight = [&](std::uint32_t count) {
    return static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)) * unit));
  };
  for (int x = 0; x < width; ++x) {
    const int value = x * values / width;
    const int whole = barHeight(all[value]);
    const int passes = barHeight(passingOthers[value]);
    const QRgb background = passing[value] ? kPassingBackground : kBackground;
    const QRgb bar = passing[value] ? kMarked : kCutOff;
    for (int y = 0; y < size.height(); ++y) {
      const int fromBottom = bars - y;  // 1 at the lowest row of the bars
      QRgb colour = background;
      if (y >= bars) {
        colour = scaleColour(channel, value);
      } else if (fromBottom <= passes) {
        colour = bar;
      } else if (fromBottom <= whole) {
        colour = kWholeImage;
      }
      reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
    }
  }
  return image;
}

}  // namespace tesmic
