// The toolkit's windows as Qt widgets, for what OpenCV's window functions
// do not offer.
#pragma once

#include <functional>

class QWidget;

namespace tesmic {

// The window that cv::namedWindow made under this title; null when none.
QWidget* toolkitWindow(const char* title);

// The image area inside such a window, which the pointer's events reach;
// null when there is none.
QWidget* toolkitView(QWidget& window);

// What the run does for keys and a button of the toolkit's windows.
struct WindowCommands {
  std::function<void()> togglePanel;  // Ctrl+P, and the toolbar's properties button
  std::function<void()> undo;         // Ctrl+Z
  std::function<void()> redo;         // Ctrl+Shift+Z
};

// Points the window's own Ctrl+P and its toolbar button "Display
// properties window", which would show the toolkit's empty control panel,
// at commands.togglePanel, and its Ctrl+Z (the toolkit's zoom to 1:1, which
// keeps its toolbar button) at commands.undo, and adds Ctrl+Shift+Z for
// commands.redo.
void takeOverCommands(QWidget& window, const WindowCommands& commands);

}  // namespace tesmic
