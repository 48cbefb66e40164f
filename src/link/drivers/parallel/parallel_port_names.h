// Which device a parallel port number (LPT1 .. LPT3, 4 for "LPT") stands for: a ppdev device on Linux
// (parallel_port_names_posix.cpp); on Windows the system's own name, which PpdevPort refuses there
// (parallel_port_names_win32.cpp). docs/ports.md explains the rule to users.
#pragma once

#include <cstdint>
#include <string>

#include "link/drivers/serial/port_names.h"

namespace velomat {

// The device path for parallel port n, or "" when there is none. On Windows "\\.\LPTn", and
// "\\.\LPT1" for 4 and above, so that the port is asked for and refused with its reason. On Linux:
//  1. An entry named LPTn (n = 1..3), or LPT for 4 and above, in places.configDir (meant to be a
//     symbolic link to a port device) wins; the path of the entry itself is returned, so that each
//     claim follows the link anew. A link that points nowhere still wins: the claim then fails
//     instead of driving some other port.
//  2. Otherwise LPTn is places.devDir/parport(n-1) when that device is present, and 4 and above (the
//     list entry "LPT") stand for the present parportN with the lowest N.
// A number below 1 has no device.
std::string findParallelDevice(int32_t portNumber, const PortPlaces& places);

PortResolver parallelPortResolver(PortPlaces places);
PortResolver systemParallelPortResolver();  // parallelPortResolver(systemPortPlaces())

}  // namespace velomat
