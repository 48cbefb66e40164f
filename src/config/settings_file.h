// The settings file "settings.vlm": the byte layout of its 170 bytes, and the reset marker that may
// stand in its place. Encoding and decoding only: no files here, no GUI.
//
// Offset  Size  Field
//   0      5    "VLM15"
//   5      1    buttonCount          6  1  axisCount           7  4  caps (unsigned)
//  11      1    moduleIndex         12  4  portNumber (signed) 16  1  hasExtension
//  17      1    parallelPort        18  4  interfaceKind       22  4  motorCount
//  26    128    eight slot records of 16 bytes, MotorSlot s at 26 + 16 s, in the table's field order
// 154      4    stopInputOn        158  4  stopButtonOn       162  4  stopInputSel (signed, -1 none)
// 166      4    stopButtonSel (signed)
// Multi-byte fields are little-endian; there is no padding and no checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "config/config_table.h"
#include "records/connection.h"

namespace velomat {

inline constexpr const char* kSettingsFileName = "settings.vlm";
inline constexpr size_t kSettingsFileSize = 170;
inline constexpr std::string_view kSettingsMagic = "VLM15";
// What the reset leaves in the file's place; recognised by its first five bytes.
inline constexpr std::string_view kResetMarkerText = "DELETED - Bitte starten Sie Velomat neu.";
inline constexpr std::string_view kResetMarkerPrefix = "DELET";

namespace settings_offset {
inline constexpr size_t kButtonCount = 5;
inline constexpr size_t kAxisCount = 6;
inline constexpr size_t kCaps = 7;
inline constexpr size_t kModuleIndex = 11;
inline constexpr size_t kPortNumber = 12;
inline constexpr size_t kHasExtension = 16;
inline constexpr size_t kParallelPort = 17;
inline constexpr size_t kInterfaceKind = 18;
inline constexpr size_t kMotorCount = 22;
inline constexpr size_t kSlots = 26;
inline constexpr size_t kSlotRecordSize = 16;
inline constexpr size_t kStopInputOn = 154;
inline constexpr size_t kStopButtonOn = 158;
inline constexpr size_t kStopInputSel = 162;
inline constexpr size_t kStopButtonSel = 166;
}  // namespace settings_offset

// The header's fields: the joystick the configuration was made for and the interface choice.
struct SettingsHeader {
  JoystickCaps caps;
  uint8_t moduleIndex = 0;
  ConnectionSettings connection;
};

// The stop controls as the file keeps them: check states 0/1 and selected indices (-1 for none).
struct StopValues {
  int32_t inputOn = 0;
  int32_t buttonOn = 0;
  int32_t inputSel = -1;
  int32_t buttonSel = -1;
  bool operator==(const StopValues&) const = default;
};

using SettingsBytes = std::array<uint8_t, kSettingsFileSize>;

// The whole file. Slot records run in MotorSlot order: main motor 1, extension motor 5, main motor 2 ...
SettingsBytes encodeSettings(const SettingsHeader& header, const ConfigTable& table, const StopValues& stop);

enum class SettingsKind {
  Settings,     // starts with "VLM15"
  ResetMarker,  // starts with "DELET"
  Other,        // anything else: another version, damaged, shorter than five bytes
};
SettingsKind settingsKind(std::span<const uint8_t> file);

// The header fields present in `file` as whole fields, written over `header`; a field that lies past
// the end of a short file keeps the value it had. Looks at nothing but the header's bytes.
void decodeHeader(std::span<const uint8_t> file, SettingsHeader& header);

// The slot records and stop values present in `file`, written over `table` and `stop`; the bytes are
// taken as stored, without range checks, and what lies past the end keeps its value.
void decodeTables(std::span<const uint8_t> file, ConfigTable& table, StopValues& stop);

}  // namespace velomat
