// The control worker's scheduling priority, in each system's own terms. Levels are given as nice
// values: lower runs sooner, 0 is the normal level (on Windows, minus the thread's priority level).
// Every call acts on the calling thread.
#pragma once

namespace velomat {

// The calling thread's level now; 0 when it cannot be read.
int currentThreadLevel();

// Raises the calling thread by up to `boost` levels above `base` where the system grants it, and
// returns the level it runs at now (`base` or the level it had when nothing was granted).
int raiseThreadLevel(int base, int boost);

// Puts the calling thread back to `base`, which a thread may always do after raiseThreadLevel.
void restoreThreadLevel(int base);

}  // namespace velomat
