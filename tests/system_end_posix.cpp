#include <unistd.h>

#include <csignal>

#include "system_end.h"

namespace velomat::testing {

std::vector<SystemEnd> systemEnds() {
  const auto signal = [](int number) { return [number] { ::kill(::getpid(), number); }; };
  return {{"SIGTERM", signal(SIGTERM)},
          {"SIGINT", signal(SIGINT)},
          {"SIGHUP", signal(SIGHUP)},
          {"SIGQUIT", signal(SIGQUIT)}};
}

}  // namespace velomat::testing
