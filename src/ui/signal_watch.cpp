#include "ui/signal_watch.h"

#include <QSocketNotifier>

namespace tesmic {

SignalWatch::SignalWatch(int fd, std::function<void()> onReadable) {
  if (fd < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, std::move(onReadable));
}

SignalWatch::~SignalWatch() = default;

}  // namespace tesmic
