#include <windows.h>

#include "control/thread_priority.h"

namespace velomat {

// Windows has no steps between "normal" and "above normal" for a thread of a normal process: a run gets
// one step up, which an ordinary user is always granted, and nothing beyond it (the highest levels
// would starve the window and the system's own threads).

int currentThreadLevel() {
  const int level = ::GetThreadPriority(::GetCurrentThread());
  return level == THREAD_PRIORITY_ERROR_RETURN ? 0 : -level;
}

int raiseThreadLevel(int base, int boost) {
  if (boost > 0 && -base < THREAD_PRIORITY_ABOVE_NORMAL) {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  }
  return currentThreadLevel();
}

void restoreThreadLevel(int base) {
  ::SetThreadPriority(::GetCurrentThread(), -base);
}

}  // namespace velomat
