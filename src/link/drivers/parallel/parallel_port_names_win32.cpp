// The LPT port names on Windows: the system's own, for a claim that PpdevPort refuses with its reason.
#include "link/drivers/parallel/parallel_port_names.h"

namespace velomat {

std::string findParallelDevice(std::string_view portName, const PortPlaces&) {
  if (portName == "LPT") return "\\\\.\\LPT1";
  if (portName.substr(0, 3) != "LPT" || wholeNumber(portName.substr(3)) < 1) return {};
  return "\\\\.\\" + std::string(portName);
}

}  // namespace velomat
