#include "link/drivers/port_open_error.h"

namespace velomat {

std::string portOpenErrorText(PortOpenError error, std::string_view portName) {
  const std::string port(portName);
  switch (error) {
    case PortOpenError::InUse:
      return port +
             " wird von einem anderen Programm benutzt.\n"
             "Beenden Sie das andere Programm und versuchen Sie es noch einmal.";
    case PortOpenError::Unsupported:
      return "Das Intelligent Interface am Parallelport wird unter Windows nicht unterstützt.\n"
             "Schließen Sie es an einen COM-Port an.";
    default:
      return {};
  }
}

}  // namespace velomat
