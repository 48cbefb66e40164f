// Which device a parallel port name ("LPT1" .. "LPT3", "LPT") stands for: a ppdev device on Linux
// (parallel_port_names_posix.cpp); on Windows the system's own name, which PpdevPort refuses there
// (parallel_port_names_win32.cpp). docs/ports.md explains the rule to users.
#pragma once

#include <string>
#include <string_view>

#include "link/drivers/serial/port_names.h"

namespace velomat {

// The device path for a parallel port name, or "" when there is none. On Windows "\\.\LPTn" for
// "LPTn" and "\\.\LPT1" for "LPT", so that the port is asked for and refused with its reason. On
// Linux:
//  1. An entry of that name in places.configDir (meant to be a symbolic link to a port device) wins;
//     the path of the entry itself is returned, so that each claim follows the link anew. A link that
//     points nowhere still wins: the claim then fails instead of driving some other port.
//  2. Otherwise "LPTn" (n = 1, 2, ...) is places.devDir/parport(n-1) when that device is present, and
//     "LPT" is the present parportN with the lowest N.
// Any other name (COM1, LPT0, LPT01, lpt1) has no device.
std::string findParallelDevice(std::string_view portName, const PortPlaces& places);

PortResolver parallelPortResolver(PortPlaces places);
PortResolver systemParallelPortResolver();  // parallelPortResolver(systemPortPlaces())

}  // namespace velomat
