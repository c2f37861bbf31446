// Which key presses in the two windows end the run.
#pragma once

class QKeyEvent;

namespace tesmic {

// Any key ends the run except: a modifier or lock key pressed alone (Shift,
// Ctrl, Alt, AltGr, Super/Meta, Hyper, Caps/Num/Scroll Lock), Print, and
// any key typed with Ctrl, Alt or Super held, which are the windows' own
// shortcuts (zoom, pan, save, the control panel) in every way they can be
// typed, or the window manager's (Alt+Tab, Alt+drag).
bool keyEndsRun(const QKeyEvent& event);

}  // namespace tesmic
