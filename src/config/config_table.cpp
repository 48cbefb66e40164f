#include "config/config_table.h"

#include "config/list_texts.h"

namespace velomat {

const std::array<SlotBytes ConfigTable::*, ConfigTable::kFieldCount> ConfigTable::kFieldOrder = {
    &ConfigTable::dirFromAxis,       &ConfigTable::dirFromButtons,  &ConfigTable::dirFixed,
    &ConfigTable::endSwitchesOn,     &ConfigTable::speedFromAxis,   &ConfigTable::speedFixed,
    &ConfigTable::speedFromThrottle, &ConfigTable::dirAxisSel,      &ConfigTable::buttonLeftSel,
    &ConfigTable::buttonRightSel,    &ConfigTable::fixedDirSel,     &ConfigTable::endSwitchLeftSel,
    &ConfigTable::endSwitchRightSel, &ConfigTable::throttleAxisSel, &ConfigTable::speedAxisSel,
    &ConfigTable::speedPercent,
};

ConfigTable::ConfigTable() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    set(dirAxisRef, slot, SampleField::None);
    set(throttleAxisRef, slot, SampleField::None);
  }
}

std::optional<AxisBinding> axisBindingForText(std::string_view text) {
  if (text == "POV1") return AxisBinding{SampleField::Pov, kPov1};
  if (text == "POV2") return AxisBinding{SampleField::Pov, kPov2};
  if (auto field = throttleBindingForText(text)) return AxisBinding{*field, kPovNone};
  return std::nullopt;
}

std::optional<SampleField> throttleBindingForText(std::string_view text) {
  static constexpr std::string_view kLetters[] = {"X", "Y", "Z", "R", "U", "V"};
  for (size_t i = 0; i < std::size(kLetters); ++i) {
    if (text == kLetters[i]) return static_cast<SampleField>(i);
  }
  return std::nullopt;
}

void bindDirectionAxis(ConfigTable& table, int slot, AxisBinding binding) {
  if (binding.povMode != kPovNone) {
    set(table.povMode, slot, binding.povMode);
    set(table.dirAxisRef, slot, binding.field);
  } else {
    set(table.dirAxisRef, slot, binding.field);
    set(table.povMode, slot, kPovNone);
  }
}

void applyTableDefaults(ConfigTable& table, const JoystickCaps& caps, int32_t motorCount) {
  // The throttle defaults to the last axis the joystick has (255, no entry, without axes).
  const auto throttleSel = static_cast<uint8_t>(caps.axisCount - 1);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    set(table.dirFromButtons, slot, 0);
    set(table.endSwitchesOn, slot, 0);
    set(table.speedFromThrottle, slot, 0);
    set(table.buttonLeftSel, slot, 0);
    set(table.buttonRightSel, slot, 1);
    set(table.fixedDirSel, slot, kDirOff);
    set(table.speedPercent, slot, 100);
    set(table.throttleAxisSel, slot, throttleSel);
  }

  for (int slot = 0; slot < kSlotCount; ++slot) {
    // Main-module motors 1 and 2 follow an axis; every other motor stands still.
    const uint8_t fromAxis = (slot == 0 || slot == 2) ? 1 : 0;
    set(table.dirFromAxis, slot, fromAxis);
    set(table.dirFixed, slot, fromAxis ^ 1);
    set(table.speedFromAxis, slot, fromAxis);
    set(table.speedFixed, slot, fromAxis ^ 1);
  }

  for (int module = 0; module < 2; ++module) {
    for (int m = 0; m < kMotorsPerModule; ++m) {
      const int slot = motorSlot(m, module);
      const uint8_t axis = (m % 2 == 0) ? 0 : 1;  // "X" for panels 0 and 2, "Y" for 1 and 3
      set(table.dirAxisSel, slot, axis);
      set(table.speedAxisSel, slot, axis);
      // Motors 5 to 8 get E9/E10 .. E15/E16 when the extension module has inputs of its own.
      const int first = (module == 1 && motorCount == 8) ? 2 * m + 8 : 2 * m;
      set(table.endSwitchLeftSel, slot, static_cast<uint8_t>(first));
      set(table.endSwitchRightSel, slot, static_cast<uint8_t>(first + 1));
    }
  }

  const ListTexts throttleList = throttleListTexts(caps.caps);
  for (int module = 0; module < 2; ++module) {
    for (int m = 0; m < kMotorsPerModule; ++m) {
      const int slot = motorSlot(m, module);
      set(table.povMode, slot, kPovNone);
      if (auto field = throttleBindingForText(listText(throttleList, throttleSel))) {
        set(table.throttleAxisRef, slot, *field);
      }
      set(table.dirAxisRef, slot, (m % 2 == 0) ? SampleField::X : SampleField::Y);
    }
  }
}

}  // namespace velomat
