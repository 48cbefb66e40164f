// The steps that move the settings between the file and the panel.
#include <QCheckBox>
#include <QComboBox>

#include "panel/panel.h"

namespace velomat {

StopValues Panel::stopValues() const {
  return {c_.stopInputCheck->isChecked() ? 1 : 0, c_.stopButtonCheck->isChecked() ? 1 : 0,
          c_.stopInputList->currentIndex(), c_.stopButtonList->currentIndex()};
}

void Panel::showStopValues(const StopValues& stop) {
  c_.stopInputCheck->setChecked(stop.inputOn != 0);
  c_.stopButtonCheck->setChecked(stop.buttonOn != 0);
  // An index that names no entry leaves the list without a selection.
  const auto select = [](QComboBox* list, int32_t index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
  };
  select(c_.stopInputList, stop.inputSel);
  select(c_.stopButtonList, stop.buttonSel);
}

WriteResult Panel::saveSettings() {
  panelToTable();
  const SettingsHeader header{state_.joystickCaps, table_.moduleIndex.load(std::memory_order_relaxed),
                              state_.connection};
  const SettingsBytes bytes = encodeSettings(header, table_, stopValues());
  return replaceFile(kSettingsFileName, bytes, *files_);
}

void Panel::loadSettingsTables() {
  // Whatever loadSettingsHeader has told about the file is not told again.
  const ReadResult file = readSettingsFile(kSettingsFileName, kSettingsFileSize);
  if (file.status != ReadResult::Status::Read || settingsKind(file.bytes) != SettingsKind::Settings) {
    return;  // the defaults stay
  }

  StopValues stop = stopValues();
  decodeTables(file.bytes, table_, stop);
  showStopValues(stop);
  tableToPanel();
  UpdatePanelEnabling();

  // The module shown binds as if the user had just chosen what its lists show, warnings included.
  for (int m = 0; m < kMotorsPerModule; ++m) {
    OnSelchangeJoyAxisCo(m);
    OnSelchangeThrottleCombo(m);
  }
  // The other module binds quietly from the list texts at its stored selections; an index that names no
  // entry keeps the slot's binding.
  const int other = table_.moduleIndex.load(std::memory_order_relaxed) == 0 ? 1 : 0;
  for (int m = 0; m < kMotorsPerModule; ++m) {
    const int slot = motorSlot(m, other);
    const auto textAt = [](const QComboBox* list, int index) {
      return index < list->count() ? list->itemText(index).toStdString() : std::string();
    };
    if (const auto binding = axisBindingForText(textAt(c_.dirAxisList[m], get(table_.dirAxisSel, slot)))) {
      bindDirectionAxis(table_, slot, *binding);
    }
    if (const auto field =
            throttleBindingForText(textAt(c_.throttleList[m], get(table_.throttleAxisSel, slot)))) {
      set(table_.throttleAxisRef, slot, *field);
    }
  }
}

}  // namespace velomat
