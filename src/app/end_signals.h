// The ways the system asks the program to end besides its window's close box end it the orderly way, as
// the close box does: a plain exit would leave the motors driven.
//   POSIX: SIGTERM (logout, shutdown, kill), SIGINT (Ctrl+C in the terminal), SIGQUIT (Ctrl+\ there)
//   and SIGHUP (that terminal closed). The handler only writes to an eventfd the GUI thread watches.
//   Windows: the console's Ctrl+C, Ctrl+Break and closing where a console is attached, and the end of
//   the session (log-off, shut-down) through the window messages WM_QUERYENDSESSION/WM_ENDSESSION.
#pragma once

#include <functional>

class QObject;

namespace velomat {

// Calls `onEnd` on the thread of `owner` each time the system asks the program to end; `onEnd` does not
// return but ends the process. The handlers are installed once per process; the watch goes with `owner`.
void watchEndRequests(QObject& owner, std::function<void()> onEnd);

}  // namespace velomat
