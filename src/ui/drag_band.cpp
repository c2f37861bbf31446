#include "ui/drag_band.h"

#include <QMouseEvent>
#include <QRect>
#include <QRubberBand>
#include <QWidget>

namespace tesmic {

DragBand::DragBand(QWidget& view)
    : view_(&view), band_(new QRubberBand(QRubberBand::Rectangle, &view)) {
  view.installEventFilter(this);
}

DragBand::~DragBand() {
  if (view_) view_->removeEventFilter(this);
  delete band_.data();
}

bool DragBand::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_ || !band_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ShiftModifier)) {
        dragging_ = true;
        from_ = mouse->pos();
        band_->setGeometry(QRect(from_, QSize(1, 1)));
        band_->show();
      }
      return false;
    }
    case QEvent::MouseMove:
      if (!dragging_) return false;
      band_->setGeometry(QRect(from_, static_cast<QMouseEvent*>(event)->pos()).normalized());
      return true;
    case QEvent::MouseButtonRelease:
      if (dragging_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        dragging_ = false;
        band_->hide();
      }
      return false;
    default:
      return false;
  }
}

}  // namespace tesmic
