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
    case PortOpenError::NoUsbDriver:
      return "Das ROBO Interface (oder die RF Data Link) ist am USB angeschlossen, aber Windows hat ihm "
             "nicht den WinUSB-Treiber zugeordnet, den Velomat braucht.\n"
             "Ordnen Sie ihn mit Zadig zu (siehe Velomats Anleitung, Abschnitt \"Windows\"). Programme, "
             "die den Treiber des Herstellers brauchen, erreichen das Interface danach nicht mehr.";
    default:
      return {};
  }
}

}  // namespace velomat
