// The LPT port names on Windows: the system's own, for a claim that PpdevPort refuses with its reason.
#include "link/drivers/parallel/parallel_port_names.h"

namespace velomat {

std::string findParallelDevice(int32_t portNumber, const PortPlaces&) {
  if (portNumber < 1) return {};
  return "\\\\.\\LPT" + std::to_string(portNumber < 4 ? portNumber : 1);
}

}  // namespace velomat
