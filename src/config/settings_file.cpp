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

// The header's fields and the offsets the file keeps them at, as `visit(offset, field)`: the one list
// that both encodeSettings and decodeHeader follow, so the two cannot come to disagree. `Header` is
// SettingsHeader, const for encoding.
template <typename Header, typename Visit>
void forEachHeaderField(Header& header, Visit visit) {
  visit(kButtonCount, header.caps.buttonCount);
  visit(kAxisCount, header.caps.axisCount);
  visit(kCaps, header.caps.caps);
  visit(kModuleIndex, header.moduleIndex);
  visit(kPortNumber, header.connection.portNumber);
  visit(kHasExtension, header.connection.hasExtension);
  visit(kParallelPort, header.connection.parallelPort);
  visit(kInterfaceKind, header.connection.interfaceKind);
  visit(kMotorCount, header.connection.motorCount);
}

// The stop controls' fields and their offsets, as forEachHeaderField.
template <typename Stop, typename Visit>
void forEachStopField(Stop& stop, Visit visit) {
  visit(kStopInputOn, stop.inputOn);
  visit(kStopButtonOn, stop.buttonOn);
  visit(kStopInputSel, stop.inputSel);
  visit(kStopButtonSel, stop.buttonSel);
}

// Where byte `field` (ConfigTable::kFieldOrder) of `slot`'s record lies in the file.
size_t slotFieldOffset(int slot, size_t field) {
  return kSlots + kSlotRecordSize * static_cast<size_t>(slot) + field;
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
  const auto write = [&bytes](size_t offset, const auto& value) { put(bytes, offset, value); };
  forEachHeaderField(header, write);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (size_t field = 0; field < ConfigTable::kFieldOrder.size(); ++field)
      bytes[slotFieldOffset(slot, field)] = get(table.*ConfigTable::kFieldOrder[field], slot);
  }
  forEachStopField(stop, write);
  return bytes;
}

SettingsKind settingsKind(std::span<const uint8_t> file) {
  if (startsWith(file, kSettingsMagic)) return SettingsKind::Settings;
  if (startsWith(file, kResetMarkerPrefix)) return SettingsKind::ResetMarker;
  return SettingsKind::Other;
}

void decodeHeader(std::span<const uint8_t> file, SettingsHeader& header) {
  forEachHeaderField(header, [file](size_t offset, auto& value) { take(file, offset, value); });
}

void decodeTables(std::span<const uint8_t> file, ConfigTable& table, StopValues& stop) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (size_t field = 0; field < ConfigTable::kFieldOrder.size(); ++field) {
      const size_t offset = slotFieldOffset(slot, field);
      if (offset < file.size()) set(table.*ConfigTable::kFieldOrder[field], slot, file[offset]);
    }
  }
  forEachStopField(stop, [file](size_t offset, auto& value) { take(file, offset, value); });
}

}  // namespace velomat
