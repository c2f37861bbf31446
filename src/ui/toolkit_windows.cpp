#include "ui/toolkit_windows.h"

#include <QApplication>
#include <QWidget>

namespace tesmic {

QWidget* toolkitWindow(const char* title) {
  const QString wanted = QString::fromUtf8(title);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("CvWindow") && widget->windowTitle() == wanted) return widget;
  }
  return nullptr;
}

}  // namespace tesmic
