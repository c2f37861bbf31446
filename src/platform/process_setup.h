// What the process puts right before it does anything else, so that a
// hostile start (closed descriptors, a reader that went away) cannot hurt it.
#pragma once

namespace tesmic {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (it also
// runs on its own before any library initialises, see the .cpp). Then: a
// write to a closed pipe fails instead of killing the process (the message is dropped), and Qt's own English warnings stay
// silent unless QT_LOGGING_RULES asks for them; each failure tesmic can meet
// has its own Czech line. Also spares Qt and OpenCV the start-up work that
// windows without OpenGL never use (see the .cpp).
void prepareProcess();

// What a run may need open at once, with room to spare (13 at the most,
// measured with the control panel and the save dialog open): the
// standard streams, the image file, the X connections, Qt's event and
// wake-up descriptors, fonts and icon caches, the save dialog's.
inline constexpr int kDescriptorsNeeded = 32;

// The descriptors the process may still open: the soft limit on open files
// less those open. Raises the soft limit towards the hard one first where
// fewer than kDescriptorsNeeded would be free. With too few, Qt hangs in
// its start-up or fails in ways it reports as something else (no display,
// an unreadable image): check this first.
int freeDescriptors();

}  // namespace tesmic
