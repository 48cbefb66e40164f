#include <windows.h>

#include "system_end.h"

namespace velomat::testing {

// Windows asks each top-level window of the program whether the session may end, then tells it that it
// ends. On the offscreen platform the program has no windows of Windows' own: the messages come through
// the GUI thread's queue, where the toolkit hands every message to the native event filters.
std::vector<SystemEnd> systemEnds() {
  const auto sessionEnd = [](LPARAM why) {
    return [why] {
      const DWORD gui = ::GetCurrentThreadId();
      ::PostThreadMessageW(gui, WM_QUERYENDSESSION, 0, why);
      ::PostThreadMessageW(gui, WM_ENDSESSION, TRUE, why);
    };
  };
  return {{"log-off (WM_QUERYENDSESSION, WM_ENDSESSION)", sessionEnd(ENDSESSION_LOGOFF)},
          {"shut-down (WM_QUERYENDSESSION, WM_ENDSESSION)", sessionEnd(0)}};
}

}  // namespace velomat::testing
