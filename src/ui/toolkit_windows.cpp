#include "ui/toolkit_windows.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace tesmic {
namespace {

void callOnActivation(QShortcut& shortcut, const std::function<void()>& command) {
  QObject::disconnect(&shortcut, nullptr, nullptr, nullptr);
  QObject::connect(&shortcut, &QShortcut::activated, [command] {
    if (command) command();
  });
}

}  // namespace

QWidget* toolkitWindow(const char* title) {
  const QString wanted = QString::fromUtf8(title);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("CvWindow") && widget->windowTitle() == wanted) return widget;
  }
  return nullptr;
}

QWidget* toolkitView(QWidget& window) {
  // The toolkit's view is a QGraphicsView; its viewport receives the pointer.
  auto* view = window.findChild<QAbstractScrollArea*>();
  return view == nullptr ? nullptr : view->viewport();
}

void takeOverCommands(QWidget& window, const WindowCommands& commands) {
  const QKeySequence panelKeys("Ctrl+P");
  const QKeySequence undoKeys("Ctrl+Z");
  for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
    if (shortcut->key() == panelKeys) callOnActivation(*shortcut, commands.togglePanel);
    if (shortcut->key() == undoKeys) callOnActivation(*shortcut, commands.undo);
  }
  callOnActivation(*new QShortcut(QKeySequence("Ctrl+Shift+Z"), &window),
                   commands.redo);
  for (QAction* action : window.findChildren<QAction*>()) {
    if (action->text().startsWith("Display properties window")) {
      // Disabled by the toolkit while its own panel is empty.
      QObject::disconnect(action, nullptr, &window, nullptr);
      QObject::connect(action, &QAction::triggered, [command = commands.togglePanel] {
        if (command) command();
      });
      action->setText("Ovladaci panel (Ctrl+P)");
      action->setEnabled(true);
    } else if (action->text().startsWith("Zoom x1")) {
      action->setText("Zoom x1");  // Ctrl+Z is undo now
    }
  }
}

}  // namespace tesmic
