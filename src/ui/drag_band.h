// The rectangle drawn while the user drags out a sample over an image.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QRubberBand;
class QWidget;

namespace tesmic {

// Over a toolkit window's view (toolkitView()): a drag with Shift held and
// the left button shows the rectangle from where it began to the pointer,
// until the button is let go. While it lasts, the view does not pan under
// it (a zoomed view would). The press and the release still reach the
// toolkit, and with them its mouse callback, which gets them in image
// pixels.
class DragBand : public QObject {
 public:
  explicit DragBand(QWidget& view);
  ~DragBand() override;
  DragBand(const DragBand&) = delete;
  DragBand& operator=(const DragBand&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> view_;
  QPointer<QRubberBand> band_;
  QPoint from_;
  bool dragging_ = false;
};

}  // namespace tesmic
