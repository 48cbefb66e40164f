// The COM port rule on Windows: COMn is the port the system calls COMn, and nothing else.
#include "link/drivers/serial/port_names.h"

namespace velomat {

// Windows names its ports itself, so the rule never asks a port whether a UART is behind it.
bool uartBehind(const std::string&) {
  return false;
}

std::string findSerialDevice(int32_t portNumber, const PortPlaces&) {
  if (portNumber < 1) return {};
  // The device namespace reaches COM10 and above too, which the plain name would not.
  return "\\\\.\\COM" + std::to_string(portNumber);
}

}  // namespace velomat
