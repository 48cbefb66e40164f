#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "control/thread_priority.h"

namespace velomat {

namespace {

// On Linux a thread has its own nice value, named by its thread id.
id_t self() {
  return static_cast<id_t>(::syscall(SYS_gettid));
}

}  // namespace

int currentThreadLevel() {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, self());
  return nice == -1 && errno != 0 ? 0 : nice;
}

int raiseThreadLevel(int base, int boost) {
  const id_t thread = self();
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, thread);
  if (now == -1 && errno != 0) return base;
  // Where the system refuses the full boost, RLIMIT_NICE may still allow part of it.
  int wanted = base - boost;
  if (setpriority(PRIO_PROCESS, thread, wanted) != 0) {
    rlimit limit{};
    wanted = base;
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      const int floor = 20 - static_cast<int>(limit.rlim_cur);
      if (floor < base) wanted = std::max(floor, base - boost);
    }
    if (wanted == base || setpriority(PRIO_PROCESS, thread, wanted) != 0) wanted = now;
  }
  return wanted;
}

void restoreThreadLevel(int base) {
  // A higher nice value than the current one is always granted.
  setpriority(PRIO_PROCESS, self(), base);
}

}  // namespace velomat
