#include "config/settings_file.h"

#include <algorithm>

namespace velomat {

namespace {

using namespace settings_offset;

template <typename T>
void put(SettingsBytes& bytes, size_t offset, T value) {
  const auto raw = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) bytes[offset + i] = static_cast<uint8_t>(raw >> (8 * i));
}

// Takes the field at `offset` only when the file holds all of its bytes.
template <typename T>
void take(std::span<const uint8_t> file, size_t offset, T& value) {
  if (file.size() < offset + sizeof(T)) return;
  std::make_unsigned_t<T> raw = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    raw |= static_cast<std::make_unsigned_t<T>>(file[offset + i]) << (8 * i);
  value = static_cast<T>(raw);
}

bool startsWith(std::span<const uint8_t> file, std::string_view prefix) {
  return file.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), file.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

}  // namespace

SettingsBytes encodeSettings(const SettingsHeader& header, const ConfigTable& table, const StopValues& stop) {
  SettingsBytes bytes{};
  std::copy(kSettingsMagic.begin(), kSettingsMagic.end(), bytes.begin());
  put(bytes, kButtonCount, header.caps.buttonCount);
  put(bytes, kAxisCount, header.caps.axisCount);
  put(bytes, kCaps, header.caps.caps);
  put(bytes, kModuleIndex, header.moduleIndex);
  put(bytes, kPortNumber, header.connection.portNumber);
  put(bytes, kHasExtension, header.connection.hasExtension);
  put(bytes, kParallelPort, header.connection.parallelPort);
  put(bytes, kInterfaceKind, header.connection.interfaceKind);
  put(bytes, kMotorCount, header.connection.motorCount);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (size_t field = 0; field < ConfigTable::kFieldOrder.size(); ++field) {
      bytes[kSlots + kSlotRecordSize * static_cast<size_t>(slot) + field] =
          get(table.*ConfigTable::kFieldOrder[field], slot);
    }
  }
  put(bytes, kStopInputOn, stop.inputOn);
  put(bytes, kStopButtonOn, stop.buttonOn);
  put(bytes, kStopInputSel, stop.inputSel);
  put(bytes, kStopButtonSel, stop.buttonSel);
  return bytes;
}

SettingsKind settingsKind(std::span<const uint8_t> file) {
  if (startsWith(file, kSettingsMagic)) return SettingsKind::Settings;
  if (startsWith(file, kResetMarkerPrefix)) return SettingsKind::ResetMarker;
  return SettingsKind::Other;
}

void decodeHeader(std::span<const uint8_t> file, SettingsHeader& header) {
  take(file, kButtonCount, header.caps.buttonCount);
  take(file, kAxisCount, header.caps.axisCount);
  take(file, kCaps, header.caps.caps);
  take(file, kModuleIndex, header.moduleIndex);
  take(file, kPortNumber, header.connection.portNumber);
  take(file, kHasExtension, header.connection.hasExtension);
  take(file, kParallelPort, header.connection.parallelPort);
  take(file, kInterfaceKind, header.connection.interfaceKind);
  take(file, kMotorCount, header.connection.motorCount);
}

void decodeTables(std::span<const uint8_t> file, ConfigTable& table, StopValues& stop) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (size_t field = 0; field < ConfigTable::kFieldOrder.size(); ++field) {
      const size_t offset = kSlots + kSlotRecordSize * static_cast<size_t>(slot) + field;
      if (offset < file.size()) set(table.*ConfigTable::kFieldOrder[field], slot, file[offset]);
    }
  }
  take(file, kStopInputOn, stop.inputOn);
  take(file, kStopButtonOn, stop.buttonOn);
  take(file, kStopInputSel, stop.inputSel);
  take(file, kStopButtonSel, stop.buttonSel);
}

}  // namespace velomat
