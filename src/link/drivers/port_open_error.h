// Why a port could not be opened, and what the user is told about it.
#pragma once

#include <string>
#include <string_view>

namespace velomat {

enum class PortOpenError {
  None,
  NoSuchPort,   // no device behind the name, or it has gone
  InUse,        // another program holds the port
  NoAccess,     // this user may not open the device
  WrongDevice,  // the device is not the kind of port asked for (no terminal, no ppdev device)
  Unsupported,  // a port this system gives a user program no way to (the parallel port on Windows)
  NoUsbDriver,  // the USB device is there, but the system gives it no driver this program can use
};

// A message for the user about a port that could not be opened, with `portName` ("COM3", "LPT1") in
// it, or "" where the connection dialog's own message says all there is to say. German, in the
// program's voice; a line break where a box should break the line.
std::string portOpenErrorText(PortOpenError error, std::string_view portName);

}  // namespace velomat
