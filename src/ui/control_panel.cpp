#include "ui/control_panel.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <utility>
#include <vector>

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/histogram_image.h"
#include "ui/slider_ranges.h"

namespace tesmic {
namespace {

// The groups of the panel: each channel's bounds (by their index in
// command-line order) above its histogram.
struct ChannelGroup {
  const char* title;
  int channel;
  std::array<int, 3> bounds;
  int boundCount;
};
constexpr ChannelGroup kGroups[] = {
    {"H - odstin (0..180)", 0, {0, 1, 0}, 2},        // HH, HL
    {"L - svetlost (0..255)", 1, {2, 3, 5}, 3},      // SH, SL, VL
    {"S - sytost (0..255)", 2, {4, 0, 0}, 1},        // VH
};

// Alt and the underlined letter picks each.
constexpr const char* kViewLabels[kViewCount] = {"&maska", "&vyrez", "&zvyrazneni"};

constexpr int kSliderWidth = kHistogramWidth;  // about a pixel a step over 0..256

// An integer as typed, however many digits, saturated to int.
std::optional<int> typedInteger(const QString& text) {
  const QString t = text.trimmed();
  int digitsFrom = t.startsWith('-') || t.startsWith('+') ? 1 : 0;
  if (t.size() <= digitsFrom) return std::nullopt;
  long long value = 0;
  for (int i = digitsFrom; i < t.size(); ++i) {
    if (!t[i].isDigit()) return std::nullopt;
    value = std::min<long long>(value * 10 + t[i].digitValue(), INT_MAX + 1LL);
  }
  if (t.startsWith('-')) value = -value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// An offer to override Ctrl+Z or Ctrl+Shift+Z, declined.
bool isUndoOrRedo(QEvent& event) {
  if (event.type() != QEvent::ShortcutOverride) return false;
  const auto& key = static_cast<QKeyEvent&>(event);
  if (!key.matches(QKeySequence::Undo) && !key.matches(QKeySequence::Redo)) return false;
  event.ignore();
  return true;
}

// A box that takes any whole number while it is typed and, when it is
// entered, moves one beyond its range to the nearer end, where a plain
// QSpinBox refuses the keystroke that leaves the range (300 typed into
// 0..180 stays 30).
class BoundBox : public QSpinBox {
 public:
  BoundBox(QWidget* parent, std::function<void(int typed, int clamped)> clamped)
      : QSpinBox(parent), clamped_(std::move(clamped)) {
    setKeyboardTracking(false);  // a value counts once entered, not per digit
    setAccelerated(true);
    lineEdit()->installEventFilter(this);
  }

 protected:
  QValidator::State validate(QString& text, int&) const override {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == "-" || t == "+") return QValidator::Intermediate;
    const std::optional<int> value = typedInteger(t);
    if (!value) return QValidator::Invalid;
    return *value >= minimum() && *value <= maximum() ? QValidator::Acceptable
                                                      : QValidator::Intermediate;
  }

  void fixup(QString& text) const override {
    const std::optional<int> value = typedInteger(text);
    if (!value) return;  // the box goes back to its value
    const int nearest = std::clamp(*value, minimum(), maximum());
    if (nearest != *value && clamped_) clamped_(*value, nearest);
    text = QString::number(nearest);
  }

  // The text's own undo would take Ctrl+Z and Ctrl+Shift+Z from the panel:
  // a shortcut is the text's when the text, or the box that hands the keys
  // on to it, accepts the offer to override it.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == lineEdit() && isUndoOrRedo(*event)) return true;
    return QSpinBox::eventFilter(watched, event);
  }

  bool event(QEvent* event) override {
    if (isUndoOrRedo(*event)) return true;
    return QSpinBox::event(event);
  }

 private:
  std::function<void(int, int)> clamped_;
};

// A channel's histogram, drawn at whatever size the panel gives it.
class HistogramView : public QWidget {
 public:
  HistogramView(QWidget* parent, int channel) : QWidget(parent), channel_(channel) {
    setMinimumSize(kSliderWidth, kHistogramHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }

  void show(const ChannelCounts& all, const ChannelCounts& passingOthers,
            const std::bitset<256>& passing) {
    all_ = all;
    passingOthers_ = passingOthers;
    passing_ = passing;
    drawn_ = true;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!drawn_) return;
    QPainter painter(this);
    painter.drawImage(0, 0, histogramImage(channel_, all_, passingOthers_, passing_, size()));
  }

 private:
  int channel_;
  bool drawn_ = false;
  ChannelCounts all_{};
  ChannelCounts passingOthers_{};
  std::bitset<256> passing_;
};

}  // namespace

class PanelWindow : public QWidget {
 public:
  PanelWindow(QWidget& owner, PanelActions actions)
      // A window of its own, not a tool window: the shortcuts of a tool
      // window's parent work in it too, and two for one key cancel out.
      : QWidget(&owner, Qt::Window), actions_(std::move(actions)) {
    setWindowTitle(QString::fromUtf8(kPanelTitle));
    auto* layout = new QVBoxLayout(this);
    for (const ChannelGroup& group : kGroups) layout->addWidget(channelGroup(group));
    alignColumns();
    layout->addLayout(viewChoice());
    layout->addLayout(buttons());
    auto* hint = new QLabel(
        "Shift+tazeni mysi pres cast objektu v okne: meze z tohoto vzorku.\n"
        "Ctrl+Shift+tazeni: pridat oblast, ktera ma zustat neoznacena.",
        this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    shares_ = new QLabel(this);
    layout->addWidget(shares_);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    layout->addWidget(message_);
    shortcut(QKeySequence("Ctrl+Z"), actions_.undo);
    shortcut(QKeySequence("Ctrl+Shift+Z"), actions_.redo);
    shortcut(QKeySequence("Ctrl+S"), actions_.saveMask);
    shortcut(QKeySequence("Ctrl+P"), actions_.toggle);
    // On HH's slider, whose keys act at once; a box's blinking cursor would
    // wake the program twice a second for as long as the panel is open.
    setFocusProxy(sliders_[0]);
  }

  void showBounds(const DetectionBounds& bounds) {
    shown_ = bounds;
    for (int i = 0; i < kBoundCount; ++i) {
      const QSignalBlocker sliderQuiet(sliders_[i]);
      const QSignalBlocker boxQuiet(boxes_[i]);
      const SliderRange range = sliderRange(i);
      const int value = std::clamp(boundAt(bounds, i), range.min, range.max);
      sliders_[i]->setValue(value);
      boxes_[i]->setValue(value);
    }
  }

  void showView(MaskView view) {
    const QSignalBlocker quiet(views_);
    views_->button(static_cast<int>(view))->setChecked(true);
  }

  void showHistograms(const HlsCounts& all, const HlsCounts& passingOthers,
                      const DetectionBounds& bounds) {
    const auto passing = passingValues(bounds);
    for (int c = 0; c < kHlsChannels; ++c) {
      histograms_[c]->show(all[c], passingOthers[c], passing[c]);
    }
  }

  void showHistory(bool canUndo, bool canRedo) {
    undo_->setEnabled(canUndo);
    redo_->setEnabled(canRedo);
  }

  void showMessage(const QString& text) { message_->setText(text); }
  void showSampleShares(const QString& text) { shares_->setText(text); }

 private:
  static void call(const std::function<void()>& action) {
    if (action) action();
  }

  void shortcut(const QKeySequence& keys, const std::function<void()>& action) {
    QObject::connect(new QShortcut(keys, this), &QShortcut::activated, [action] { call(action); });
  }

  // The groups' columns as wide as the widest, so that their sliders and
  // histograms line up.
  void alignColumns() {
    for (const int column : {0, 2, 3}) {
      int widest = 0;
      for (const QGridLayout* grid : grids_) {
        for (int row = 0; row < grid->rowCount(); ++row) {
          if (const QLayoutItem* item = grid->itemAtPosition(row, column)) {
            widest = std::max(widest, item->sizeHint().width());
          }
        }
      }
      for (QGridLayout* grid : grids_) grid->setColumnMinimumWidth(column, widest);
    }
  }

  QGroupBox* channelGroup(const ChannelGroup& group) {
    auto* box = new QGroupBox(group.title, this);
    auto* grid = new QGridLayout(box);
    grids_.push_back(grid);
    for (int row = 0; row < group.boundCount; ++row) addBoundRow(*box, *grid, row, group.bounds[row]);
    histograms_[group.channel] = new HistogramView(box, group.channel);
    grid->addWidget(histograms_[group.channel], group.boundCount, 1);
    grid->setColumnStretch(1, 1);
    return box;
  }

  void addBoundRow(QWidget& parent, QGridLayout& grid, int row, int index) {
    const SliderRange range = sliderRange(index);
    auto* label = new QLabel(kSliderLabels[index], &parent);
    auto* slider = new QSlider(Qt::Horizontal, &parent);
    slider->setRange(range.min, range.max);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setMinimumWidth(kSliderWidth);
    auto* box = new BoundBox(&parent, [this, index](int typed, int clamped) {
      showMessage(QString("%1: %2 je mimo rozsah %3..%4, nastaveno %5")
                      .arg(kBoundNames[index])
                      .arg(typed)
                      .arg(sliderRange(index).min)
                      .arg(sliderRange(index).max)
                      .arg(clamped));
    });
    box->setRange(range.min, range.max);
    auto* extent = new QLabel(QString("%1..%2").arg(range.min).arg(range.max), &parent);
    extent->setEnabled(false);  // greyed: a note, not a control
    label->setBuddy(box);
    grid.addWidget(label, row, 0);
    grid.addWidget(slider, row, 1);
    grid.addWidget(box, row, 2);
    grid.addWidget(extent, row, 3);
    sliders_[index] = slider;
    boxes_[index] = box;

    QObject::connect(slider, &QSlider::valueChanged, [this, index, slider, box](int value) {
      const QSignalBlocker quiet(box);
      box->setValue(value);
      choose(index, value, !slider->isSliderDown());
    });
    QObject::connect(slider, &QSlider::sliderReleased,
                     [this, index, slider] { choose(index, slider->value(), true); });
    QObject::connect(box, QOverload<int>::of(&QSpinBox::valueChanged), [this, index, slider](int value) {
      const QSignalBlocker quiet(slider);
      slider->setValue(value);
      choose(index, value, true);
    });
  }

  void choose(int index, int value, bool finished) {
    boundAt(shown_, index) = value;
    if (actions_.boundsChosen) actions_.boundsChosen(shown_, finished);
  }

  QHBoxLayout* viewChoice() {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Vysledek ukazuje:", this));
    views_ = new QButtonGroup(this);
    for (int v = 0; v < kViewCount; ++v) {
      auto* button = new QRadioButton(kViewLabels[v], this);
      views_->addButton(button, v);
      row->addWidget(button);
    }
    views_->button(0)->setChecked(true);
    QObject::connect(views_, &QButtonGroup::idToggled,
                     [this](int id, bool checked) {
                       if (checked && actions_.viewChosen) actions_.viewChosen(static_cast<MaskView>(id));
                     });
    row->addStretch();
    return row;
  }

  QHBoxLayout* buttons() {
    auto* row = new QHBoxLayout;
    const auto button = [&](const char* text, const char* tip, const std::function<void()>& action) {
      auto* b = new QPushButton(text, this);
      b->setToolTip(tip);
      b->setAutoDefault(false);
      QObject::connect(b, &QPushButton::clicked, [action] { call(action); });
      row->addWidget(b);
      return b;
    };
    undo_ = button("Zpet", "Vratit posledni zmenu mezi (Ctrl+Z)", actions_.undo);
    redo_ = button("Znovu", "Zopakovat vracenou zmenu (Ctrl+Shift+Z)", actions_.redo);
    button("&Puvodni", "Meze z prikazove radky (Alt+P)", actions_.reset);
    button("&Ulozit masku...", "Ulozit masku v plnem rozliseni (Ctrl+S)", actions_.saveMask);
    undo_->setEnabled(false);
    redo_->setEnabled(false);
    return row;
  }

  PanelActions actions_;
  DetectionBounds shown_;
  std::array<QSlider*, kBoundCount> sliders_{};
  std::array<QSpinBox*, kBoundCount> boxes_{};
  std::array<HistogramView*, kHlsChannels> histograms_{};
  std::vector<QGridLayout*> grids_;
  QButtonGroup* views_ = nullptr;
  QPushButton* undo_ = nullptr;
  QPushButton* redo_ = nullptr;
  QLabel* shares_ = nullptr;
  QLabel* message_ = nullptr;
};

ControlPanel::ControlPanel(QWidget& owner, PanelActions actions)
    : window_(new PanelWindow(owner, std::move(actions))) {}

ControlPanel::~ControlPanel() { delete window_.data(); }

PanelWindow* ControlPanel::panel() const { return static_cast<PanelWindow*>(window_.data()); }

void ControlPanel::showBounds(const DetectionBounds& bounds) {
  if (PanelWindow* p = panel()) p->showBounds(bounds);
}

void ControlPanel::showView(MaskView view) {
  if (PanelWindow* p = panel()) p->showView(view);
}

void ControlPanel::showHistograms(const HlsCounts& all, const HlsCounts& passingOthers,
                                  const DetectionBounds& bounds) {
  if (PanelWindow* p = panel()) p->showHistograms(all, passingOthers, bounds);
}

void ControlPanel::showHistory(bool canUndo, bool canRedo) {
  if (PanelWindow* p = panel()) p->showHistory(canUndo, canRedo);
}

void ControlPanel::showMessage(const std::string& text) {
  if (PanelWindow* p = panel()) p->showMessage(QString::fromStdString(text));
}

void ControlPanel::showSampleShares(const std::string& text) {
  if (PanelWindow* p = panel()) p->showSampleShares(QString::fromStdString(text));
}

QWidget* ControlPanel::window() const { return window_.data(); }

bool ControlPanel::isVisible() const { return window_ && window_->isVisible(); }

}  // namespace tesmic
