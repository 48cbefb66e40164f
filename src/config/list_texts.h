// The entries of the panel's lists, as they follow from the joystick's capabilities and the number of
// motors. The panel shows them and the binding rule reads them, so both take them from here.
// Built on the GUI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velomat {

using ListTexts = std::vector<std::string>;

// "X", "Y", then "Z", "R", "U", "V" by their capability bits, then "POV1", "POV2" with a hat.
ListTexts axisListTexts(uint32_t caps);
// The axis list without "POV1" and "POV2".
ListTexts throttleListTexts(uint32_t caps);
// " 1" .. "32": the numbers 1 to buttonCount, formatted "%2u".
ListTexts buttonListTexts(uint8_t buttonCount);
// "E1" .. "E8", or "E1" .. "E16" with 8 motors.
ListTexts inputListTexts(int32_t motorCount);
// "A", "L", "R": the direction code by index.
ListTexts fixedDirListTexts();
// "Hauptmodul", and "Extensionmodul" with an extension module.
ListTexts moduleListTexts(bool hasExtension);

// The entry at `index`, or an empty text when the index names no entry (255 included).
std::string_view listText(const ListTexts& list, int index);

}  // namespace velomat
