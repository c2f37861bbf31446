// The toolkit's windows as Qt widgets, for what OpenCV's window functions
// do not offer.
#pragma once

class QWidget;

namespace tesmic {

// The window that cv::namedWindow made under this title; null when none.
QWidget* toolkitWindow(const char* title);

}  // namespace tesmic
