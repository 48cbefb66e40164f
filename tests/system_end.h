// The ways the system asks a running program to end, each made to happen in this process as the system
// makes it: the signals of a POSIX system (system_end_posix.cpp), Windows' end of the session
// (system_end_win32.cpp). Each `ask` runs on the GUI thread; the program then ends as its close box ends it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velomat::testing {

struct SystemEnd {
  std::string what;
  std::function<void()> ask;
};

std::vector<SystemEnd> systemEnds();

}  // namespace velomat::testing
