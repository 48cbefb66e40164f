// Which device a serial port number such as 2 (COM2) stands for. On Linux a rule finds it
// (port_names_posix.cpp); on Windows COMn is the system's own port of that name (port_names_win32.cpp).
// docs/ports.md and docs/windows.md explain the rules to users.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velomat {

// Asks the port at `devicePath` itself whether a UART is behind it: the type that TIOCGSERIAL gives
// is not PORT_UNKNOWN. The port is opened for it (not as controlling terminal, without waiting for a
// carrier), which raises its modem lines as any open does. A port that another program holds for
// itself alone is there; one that cannot be opened (no such device, no right to it) is not.
bool uartBehind(const std::string& devicePath);

// Where the rule looks. Tests point these at a directory tree of their own.
struct PortPlaces {
  std::string configDir;  // holds the links COM1, COM2, ...; empty: no links are looked for
  std::string devDir = "/dev";
  std::string ttyClassDir = "/sys/class/tty";  // tells which ttyS<k> have a UART behind them
  // Asked about a built-in port whose "type" in ttyClassDir cannot be read: older kernels let only
  // root read it.
  std::function<bool(const std::string& devicePath)> askPort = uartBehind;
};

// The places of this machine: the links live in $XDG_CONFIG_HOME/velomat when XDG_CONFIG_HOME is an
// absolute path, else in $HOME/.config/velomat; with neither there are no links. Takes the two
// variables as arguments so that the rule can be tested; nullptr stands for an unset variable.
PortPlaces portPlacesFor(const char* xdgConfigHome, const char* home);
PortPlaces systemPortPlaces();  // from the environment

// The device path for serial port n (COMn, n = 1, 2, ...), or "" when there is none. On Windows it is
// "\\.\COMn" whatever `places` say: the system names its ports itself. On Linux:
//  1. An entry named COMn in places.configDir (meant to be a symbolic link to a device) wins; the
//     path of the entry itself is returned, so that each open follows the link anew. A link that
//     points nowhere still wins: the open then fails instead of talking to some other device.
//  2. Otherwise COMn is the n-th serial device present, counting first the USB serial adapters
//     ttyUSB<k>, then the USB modems ttyACM<k>, then the built-in ports ttyS<k> that have a UART
//     behind them (ttyClassDir/ttyS<k>/type is not 0; where it cannot be read, places.askPort
//     says), each family in the numeric order of k.
// A number below 1 has no device.
std::string findSerialDevice(int32_t portNumber, const PortPlaces& places);

// Shared by the rules for serial and parallel port names:
// a decimal number without sign or leading zero that fills all of `text` ("0" included), else -1;
long wholeNumber(std::string_view text);
// the entry `name` ("COM2", "LPT1") in places.configDir where there is one, even a link that points
// nowhere, else "".
std::string configuredLink(const std::string& name, const PortPlaces& places);

// What the drivers ask for the device path of a port number. Called when a port is opened, never in
// the control loop.
using PortResolver = std::function<std::string(int32_t portNumber)>;

PortResolver portResolver(PortPlaces places);
PortResolver systemPortResolver();  // portResolver(systemPortPlaces())

}  // namespace velomat
