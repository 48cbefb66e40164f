#include "app/end_process.h"

#include <cstdio>
#include <cstdlib>

namespace velomat {

void endProcess(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace velomat
