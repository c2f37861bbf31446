#include "ui/run_wait.h"

#include <cstdio>
#include <optional>
#include <string>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <opencv2/core.hpp>
#include <xcb/xproto.h>

#include "ui/key_rule.h"
#include "platform/terminal_text.h"
#include "ui/toolkit_windows.h"
#include "ui/window_titles.h"

namespace tesmic {
namespace {

// The toolkit saves a window's picture under a name ending in one of these
// and throws for any other.
bool savedByToolkit(const QString& name) {
  const QString suffix = QFileInfo(name).suffix().toLower();
  return suffix == "png" || suffix == "jpg" || suffix == "jpeg" || suffix == "bmp";
}

// The toolkit's save throws its own error for a name it does not save; it
// is the one exception a window's toolbar throws.
bool isFailedSave(const cv::Exception& e) {
  return e.code == cv::Error::StsNullPtr && e.func.find("saveView") != std::string::npos;
}

}  // namespace

class RunWaitFilter : public QObject, public QAbstractNativeEventFilter {
 public:
  explicit RunWaitFilter(std::function<void()> work)
      : mask_(toolkitWindow(kMaskWindow)), image_(toolkitWindow(kImageWindow)) {
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    QObject::connect(&pending_, &QTimer::timeout, std::move(work));
    qApp->installEventFilter(this);
    qApp->installNativeEventFilter(this);
  }

  ~RunWaitFilter() override {
    qApp->removeNativeEventFilter(this);
    qApp->removeEventFilter(this);
  }

  void workPending() {
    if (!pending_.isActive()) pending_.start();
  }

  WaitEnding run() {
    if (!open(mask_) || !open(image_)) return {EndingKind::kWindowClosed};
    for (;;) {
      try {
        if (!ending_) loop_.exec();
        return *ending_;
      } catch (const cv::Exception& e) {
        if (!isFailedSave(e)) throw;
        std::fputs("Chyba: obrazek okna nelze ulozit, nazev souboru musi koncit "
                   ".png, .jpg, .jpeg nebo .bmp.\n",
                   stderr);
      }
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (inOurWindows(watched) && keyEndsRun(*static_cast<QKeyEvent*>(event))) {
          finish({EndingKind::kKey});
          return true;
        }
        break;
      case QEvent::Hide:
        // A minimised window is hidden by the window system yet stays visible
        // to the toolkit; a closed one does not.
        if ((watched == mask_ || watched == image_) &&
            !static_cast<QWidget*>(watched)->isVisible()) {
          finish({EndingKind::kWindowClosed});
        }
        onSaveDialogHidden(watched);
        break;
      default:
        break;
    }
    return false;
  }

  // Another client may destroy a window outright (xdotool windowclose):
  // the toolkit is not told, and the window is gone as if closed.
  bool nativeEventFilter(const QByteArray& type, void* message, long*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
    const xcb_window_t window = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
    for (const QPointer<QWidget>& ours : {mask_, image_}) {
      if (ours && ours->internalWinId() == window) finish({EndingKind::kWindowClosed});
    }
    return false;
  }

 private:
  static bool open(const QPointer<QWidget>& window) { return window && window->isVisible(); }

  bool inOurWindows(QObject* watched) const {
    const QWidget* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    const QWidget* window = widget->window();
    return window != nullptr && (window == mask_ || window == image_);
  }

  // The toolkit ignores whether a save from a window's toolbar worked: look
  // for the file once the save has run. (The control panel's own dialog
  // saves the mask, and says itself how that went.)
  void onSaveDialogHidden(QObject* watched) {
    const auto* files = qobject_cast<QFileDialog*>(watched);
    if (files == nullptr || !inOurWindows(files->parentWidget()) ||
        files->acceptMode() != QFileDialog::AcceptSave ||
        files->result() != QDialog::Accepted || files->selectedFiles().isEmpty()) {
      return;
    }
    const QString name = files->selectedFiles().constFirst();
    if (!savedByToolkit(name)) return;  // the toolkit reports that one itself
    const QDateTime chosen = QDateTime::currentDateTime().addSecs(-1);
    QTimer::singleShot(0, this, [name, chosen] {
      const QFileInfo saved(name);
      if (saved.exists() && saved.lastModified() >= chosen) return;
      std::fprintf(stderr, "Chyba: obrazek okna nelze ulozit do \"%s\".\n",
                   escapeControlCharacters(name.toStdString()).c_str());
    });
  }

  void finish(WaitEnding ending) {
    if (ending_) return;
    ending_ = ending;
    loop_.exit();
  }

  QPointer<QWidget> mask_;
  QPointer<QWidget> image_;
  QEventLoop loop_;
  QTimer pending_;
  std::optional<WaitEnding> ending_;
};

RunWait::RunWait(std::function<void()> work)
    : filter_(std::make_unique<RunWaitFilter>(std::move(work))) {}

RunWait::~RunWait() = default;

void RunWait::workPending() { filter_->workPending(); }

WaitEnding RunWait::run() { return filter_->run(); }

}  // namespace tesmic
