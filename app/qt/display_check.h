#pragma once
// Whether the dialog can be shown at all. QApplication ends the process
// (qFatal, then abort) when none of its platform plugins can start: no X
// server behind DISPLAY, a refused authorisation, a plugin whose libraries
// are missing. Only Qt knows which plugins it would try and why one fails,
// so the question is put to Qt itself, in a throw-away process.

namespace app::qt {

// Starts the platform in a child process with the same arguments and
// environment as the QApplication to come would, and reports whether it
// started. The child's messages are dropped and it leaves no core dump; the
// caller says in its own words what happens instead. Call it before any
// thread has been started (it forks).
bool DisplayOpens(int argc, char** argv);

}  // namespace app::qt
