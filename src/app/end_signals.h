// SIGTERM (logout, shutdown, kill), SIGINT (Ctrl+C in the terminal), SIGQUIT (Ctrl+\ there) and SIGHUP
// (that terminal closed) end the program the orderly way, as its close box does: a core dump would
// leave the motors driven. The handler does only what is safe in a
// signal handler: it writes to an eventfd that the GUI thread watches.
#pragma once

namespace velomat {

// Installs the handlers once per process and returns the eventfd they write to (readable once a
// signal came), or -1 when it could not be made.
int installEndSignals();

// Reads the eventfd empty and returns the last of the signals that came (0 for none).
int takeEndSignal();

}  // namespace velomat
