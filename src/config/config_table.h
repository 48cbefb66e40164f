// The motor configuration table of both modules, the axis bindings that the control cycle reads, and
// the rule that turns a list text into a binding.
//
// The GUI thread writes the table and the bindings while the control worker reads them in every cycle.
// Each entry is an atomic byte written and read whole, without a lock: a cycle may see some entries of
// a transfer new and others old, and the next cycle sees them all.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

#include "records/connection.h"
#include "records/joystick_records.h"

namespace velomat {

// Direction codes: the fixed-direction list "A", "L", "R" by index.
inline constexpr uint8_t kDirOff = 0;
inline constexpr uint8_t kDirLeft = 1;
inline constexpr uint8_t kDirRight = 2;

// A list index that names no entry (a list without a selection stores its -1 as this byte).
inline constexpr uint8_t kNoSelection = 255;

// povMode values.
inline constexpr uint8_t kPovNone = 0;  // the direction axis is a plain axis
inline constexpr uint8_t kPov1 = 1;     // "POV1": left and right on the hat
inline constexpr uint8_t kPov2 = 2;     // "POV2": forward and backward on the hat

using SlotBytes = std::array<std::atomic<uint8_t>, kSlotCount>;
using SlotFields = std::array<std::atomic<SampleField>, kSlotCount>;

struct ConfigTable {
  ConfigTable();
  ConfigTable(const ConfigTable&) = delete;
  ConfigTable& operator=(const ConfigTable&) = delete;

  // The sixteen fields, one byte per MotorSlot, in the order the transfers and the settings file use.
  SlotBytes dirFromAxis;        // 1: direction from the direction axis
  SlotBytes dirFromButtons;     // 1: direction from two joystick buttons
  SlotBytes dirFixed;           // 1: direction is fixedDirSel
  SlotBytes endSwitchesOn;      // 1: the two end-switch inputs are in force
  SlotBytes speedFromAxis;      // 1: speed from the direction axis's deflection
  SlotBytes speedFixed;         // 1: speed is speedPercent
  SlotBytes speedFromThrottle;  // 1: speed from the throttle axis
  SlotBytes dirAxisSel;         // index in the axis list
  SlotBytes buttonLeftSel;      // index in the button list: that button turns the motor "L"
  SlotBytes buttonRightSel;     // index in the button list: that button turns the motor "R"
  SlotBytes fixedDirSel;        // direction code 0 "A", 1 "L", 2 "R"
  SlotBytes endSwitchLeftSel;   // index in the input list: that input stops direction "L"
  SlotBytes endSwitchRightSel;  // index in the input list: that input stops direction "R"
  SlotBytes throttleAxisSel;    // index in the throttle list
  SlotBytes speedAxisSel;       // index in the axis list, kept equal to dirAxisSel by the panel
  SlotBytes speedPercent;       // fixed speed, 0..100 %

  static constexpr int kFieldCount = 16;
  static const std::array<SlotBytes ConfigTable::*, kFieldCount> kFieldOrder;

  std::atomic<uint8_t> moduleIndex{0};  // the module the four motor panels show: 0 main, 1 extension

  // Bindings. dirAxisRef serves the direction and, with speedFromAxis, the speed; with povMode 1 or 2
  // it refers to the hat. throttleAxisRef is None until a throttle axis has been bound.
  SlotBytes povMode;
  SlotFields dirAxisRef;
  SlotFields throttleAxisRef;
};

inline uint8_t get(const SlotBytes& field, int slot) {
  return field[static_cast<size_t>(slot)].load(std::memory_order_relaxed);
}
inline void set(SlotBytes& field, int slot, uint8_t value) {
  field[static_cast<size_t>(slot)].store(value, std::memory_order_relaxed);
}
inline SampleField get(const SlotFields& field, int slot) {
  return field[static_cast<size_t>(slot)].load(std::memory_order_relaxed);
}
inline void set(SlotFields& field, int slot, SampleField value) {
  field[static_cast<size_t>(slot)].store(value, std::memory_order_relaxed);
}

// The binding rule: a list text, compared whole and case-sensitively, names a sample field.
struct AxisBinding {
  SampleField field;
  uint8_t povMode;
  bool operator==(const AxisBinding&) const = default;
};
// "X" .. "V", "POV1", "POV2"; nothing for any other text.
std::optional<AxisBinding> axisBindingForText(std::string_view text);
// The throttle accepts the six axis letters only.
std::optional<SampleField> throttleBindingForText(std::string_view text);

// Binds the direction axis of `slot`. The two stores are ordered so that the cycle never sees a plain
// axis mode together with the hat field: for the hat the mode goes first, for an axis the field.
void bindDirectionAxis(ConfigTable& table, int slot, AxisBinding binding);

// Puts the table of both modules and the bindings into their default state: motors 1 and 2 follow X
// and Y for direction and speed, motors 3 to 8 stand still ("A", 100 %).
void applyTableDefaults(ConfigTable& table, const JoystickCaps& caps, int32_t motorCount);

}  // namespace velomat
