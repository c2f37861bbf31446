// What the process puts right before it does anything else, so that a
// hostile start (closed descriptors, a reader that went away) cannot hurt it.
#pragma once

namespace tesmic {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. With one
// closed, the next file or connection opened would take its number, and the
// text meant for standard error would go into it (the X connection, say).
// Also runs on its own before any library initialises (see the .cpp).
void reopenClosedStandardStreams();

// The above, then: a write to a closed pipe fails instead of killing the
// process (the message is dropped), and Qt's own English warnings stay
// silent unless QT_LOGGING_RULES asks for them; each failure tesmic can meet
// has its own Czech line. Also spares Qt and OpenCV the start-up work that
// windows without OpenGL never use (see the .cpp).
void prepareProcess();

}  // namespace tesmic
