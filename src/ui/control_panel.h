// The program's control panel: the six bounds, the view of Vysledek, the
// channels' histograms, undo and redo, and saving the mask.
#pragma once

#include <functional>
#include <string>

#include <QPointer>

#include "pass/detection_bounds.h"
#include "pass/hls_histograms.h"
#include "pass/view_composition.h"

class QWidget;

namespace tesmic {

// The panel's title, by which a user (and a window manager) knows it.
inline constexpr char kPanelTitle[] = "tesmic - ovladaci panel";

// What the panel asks of the run. Each may be left empty.
struct PanelActions {
  // Bounds set on a slider or typed into a box. finished is false while a
  // slider is being dragged: the step is one, taken when it is let go.
  std::function<void(const DetectionBounds& bounds, bool finished)> boundsChosen;
  std::function<void(MaskView view)> viewChosen;
  std::function<void()> undo;   // Ctrl+Z
  std::function<void()> redo;   // Ctrl+Shift+Z
  std::function<void()> reset;  // "Puvodni": the command line's bounds
  std::function<void()> saveMask;  // "Ulozit masku", Ctrl+S
  std::function<void()> toggle;    // Ctrl+P: the panel opens and closes
};

class PanelWindow;

// One row per bound, in three groups by channel (hue, lightness,
// saturation): a label saying what passes, a slider and a box over exactly
// sliderRange(), and that range. A value typed beyond the range is moved
// to its nearer end, and the panel says so; arrow keys step 1, Page Up and
// Page Down 10, on the slider as in the box. Each group ends with its
// channel's histogram (histogram_image.h). Three buttons choose Vysledek's
// view. The panel is a window of owner (one of the toolkit's own
// windows): the toolkit's lookup of its windows takes every window without
// a parent for one of its own, so no widget of the panel is ever left
// without one. Hidden until shown; keys typed into it are its own.
class ControlPanel {
 public:
  ControlPanel(QWidget& owner, PanelActions actions);
  ~ControlPanel();
  ControlPanel(const ControlPanel&) = delete;
  ControlPanel& operator=(const ControlPanel&) = delete;

  // Sets the sliders and boxes without asking for anything.
  void showBounds(const DetectionBounds& bounds);
  void showView(MaskView view);
  void showHistograms(const HlsCounts& all, const HlsCounts& passingOthers,
                      const DetectionBounds& bounds);
  void showHistory(bool canUndo, bool canRedo);
  // What the bounds mark of the sample dragged out, a line of its own.
  void showSampleShares(const std::string& text);
  // One line at the panel's foot (what was clamped, where the mask went).
  void showMessage(const std::string& text);

  // The panel's window, to place, show and hide; null once the toolkit has
  // destroyed owner, which takes the panel with it.
  QWidget* window() const;
  bool isVisible() const;

 private:
  PanelWindow* panel() const;

  QPointer<QWidget> window_;  // a PanelWindow, owned by owner
};

}  // namespace tesmic
