#include "panel/panel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "config/config_table.h"
#include "panel/credits.h"

namespace velomat {

namespace {

bool checked(const QAbstractButton* button) {
  return button->isChecked();
}

// The motor a control of a per-motor family belongs to, or -1.
int motorOf(int controlId, std::initializer_list<int> bases) {
  for (int base : bases) {
    const int m = controlId - base;
    if (m >= 0 && m < kMotorsPerModule) return m;
  }
  return -1;
}

std::string selectedText(const QComboBox* list) {
  return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
}

// A list reports -1 without a selection; the table keeps the low byte, so that is 255.
uint8_t selectionByte(const QComboBox* list) {
  return static_cast<uint8_t>(list->currentIndex() & 0xFF);
}

// An index that names no entry (255 included) leaves the list without a selection.
void selectIndex(QComboBox* list, int index) {
  list->setCurrentIndex(index < list->count() ? index : -1);
}

}  // namespace

std::string assertionMessage(const char* function) {
  return std::string("Assertion failed in Funktion ") + function +
         "\n(\"Assert\" = Es ist vollkommen unmöglich dass dieser Fehler auftritt)\n\nBitte Mail an " +
         kAuthorContact;
}

int Panel::shownSlot(int m) const {
  return motorSlot(m, table_.moduleIndex.load(std::memory_order_relaxed) != 0);
}

void Panel::UpdatePanelEnabling() {
  for (int m = 0; m < kMotorsPerModule; ++m) {
    c_.dirAxisList[m]->setEnabled(checked(c_.dirAxisRadio[m]));
    c_.buttonLeftList[m]->setEnabled(checked(c_.dirButtonsRadio[m]));
    c_.buttonRightList[m]->setEnabled(checked(c_.dirButtonsRadio[m]));
    c_.fixedDirList[m]->setEnabled(checked(c_.dirFixedRadio[m]));
    c_.endSwitchLeftList[m]->setEnabled(checked(c_.endSwitchCheck[m]));
    c_.endSwitchRightList[m]->setEnabled(checked(c_.endSwitchCheck[m]));
    c_.speedAxisList[m]->setEnabled(checked(c_.speedAxisRadio[m]));
    c_.throttleList[m]->setEnabled(checked(c_.throttleRadio[m]));
    c_.speedLabel[m]->setEnabled(checked(c_.speedFixedRadio[m]));
    c_.speedSlider[m]->setEnabled(checked(c_.speedFixedRadio[m]));
  }
  c_.stopInputList->setEnabled(checked(c_.stopInputCheck));
  c_.stopButtonList->setEnabled(checked(c_.stopButtonCheck));
}

void Panel::OnJoyAxisCh(int controlId) {
  const int m = motorOf(controlId, {id::kDirAxisRadio, id::kDirButtonsRadio, id::kDirFixedRadio});
  if (m < 0) {
    boxes_.show(assertionMessage("OnJoyAxisCh()"), {}, BoxButtons::Ok);
    return;
  }
  // The axis as direction source takes the speed from the same axis; buttons or a fixed direction
  // move a speed that came from the axis to the fixed speed.
  const auto speedToFixed = [&] {
    if (checked(c_.speedAxisRadio[m])) {
      c_.speedAxisRadio[m]->setChecked(false);
      c_.throttleRadio[m]->setChecked(false);
      c_.speedFixedRadio[m]->setChecked(true);
      UpdatePanelEnabling();
    }
  };
  if (checked(c_.dirAxisRadio[m])) {
    c_.dirAxisList[m]->setEnabled(true);
    c_.speedAxisRadio[m]->setChecked(true);
    c_.throttleRadio[m]->setChecked(false);
    c_.speedFixedRadio[m]->setChecked(false);
    UpdatePanelEnabling();
  } else {
    c_.dirAxisList[m]->setEnabled(false);
  }
  if (checked(c_.dirButtonsRadio[m])) {
    c_.buttonLeftList[m]->setEnabled(true);
    c_.buttonRightList[m]->setEnabled(true);
    speedToFixed();
  } else {
    c_.buttonLeftList[m]->setEnabled(false);
    c_.buttonRightList[m]->setEnabled(false);
  }
  if (checked(c_.dirFixedRadio[m])) {
    c_.fixedDirList[m]->setEnabled(true);
    speedToFixed();
  } else {
    c_.fixedDirList[m]->setEnabled(false);
  }
}

void Panel::OnAxisRadio(int controlId) {
  const int m = motorOf(controlId, {id::kSpeedAxisRadio, id::kThrottleRadio, id::kSpeedFixedRadio});
  if (m < 0) {
    boxes_.show(assertionMessage("OnAxisRadio()"), {}, BoxButtons::Ok);
    return;
  }
  c_.speedAxisList[m]->setEnabled(checked(c_.speedAxisRadio[m]));
  c_.throttleList[m]->setEnabled(checked(c_.throttleRadio[m]));
  c_.speedLabel[m]->setEnabled(checked(c_.speedFixedRadio[m]));
  c_.speedSlider[m]->setEnabled(checked(c_.speedFixedRadio[m]));
}

void Panel::OnEndSwitchCheck(int controlId) {
  const int m = motorOf(controlId, {id::kEndSwitchCheck});
  if (m < 0) return;
  c_.endSwitchLeftList[m]->setEnabled(checked(c_.endSwitchCheck[m]));
  c_.endSwitchRightList[m]->setEnabled(checked(c_.endSwitchCheck[m]));
}

void Panel::OnStopInputCheck() {
  c_.stopInputList->setEnabled(checked(c_.stopInputCheck));
}

void Panel::OnStopButtonCheck() {
  c_.stopButtonList->setEnabled(checked(c_.stopButtonCheck));
}

void Panel::OnSelchangeJoyAxisCo(int m) {
  const int slot = shownSlot(m);
  const std::string text = selectedText(c_.dirAxisList[m]);
  // For the hat the mode is stored before the field, for an axis the field before the mode, so the
  // running cycle never reads the hat as a plain axis.
  if (const auto binding = axisBindingForText(text)) {
    if (binding->povMode != kPovNone) set(table_.povMode, slot, binding->povMode);
    set(table_.dirAxisRef, slot, binding->field);
  } else {
    boxes_.show(assertionMessage("OnSelchangeJoyAxisCo()"), {}, BoxButtons::Ok);
  }
  if (text.compare(0, 3, "POV") != 0) set(table_.povMode, slot, kPovNone);
  c_.speedAxisList[m]->setCurrentIndex(c_.dirAxisList[m]->currentIndex());
}

void Panel::OnSelchangeSpeedAxisCombo(int m) {
  c_.dirAxisList[m]->setCurrentIndex(c_.speedAxisList[m]->currentIndex());
  OnSelchangeJoyAxisCo(m);
}

void Panel::OnSelchangeThrottleCombo(int m) {
  if (const auto field = throttleBindingForText(selectedText(c_.throttleList[m]))) {
    set(table_.throttleAxisRef, shownSlot(m), *field);
  }
}

void Panel::OnCustomdrawSpeedSlider(int controlId) {
  const int m = motorOf(controlId, {id::kSpeedSlider});
  if (m < 0) return;
  c_.speedLabel[m]->setText(QString::asprintf("%u%%", static_cast<unsigned>(c_.speedSlider[m]->value())));
}

void Panel::panelToTable() {
  for (int m = 0; m < kMotorsPerModule; ++m) {
    const int slot = shownSlot(m);
    set(table_.dirFromAxis, slot, checked(c_.dirAxisRadio[m]));
    set(table_.dirFromButtons, slot, checked(c_.dirButtonsRadio[m]));
    set(table_.dirFixed, slot, checked(c_.dirFixedRadio[m]));
    set(table_.endSwitchesOn, slot, checked(c_.endSwitchCheck[m]));
    set(table_.speedFromAxis, slot, checked(c_.speedAxisRadio[m]));
    set(table_.speedFixed, slot, checked(c_.speedFixedRadio[m]));
    set(table_.speedFromThrottle, slot, checked(c_.throttleRadio[m]));
    set(table_.dirAxisSel, slot, selectionByte(c_.dirAxisList[m]));
    set(table_.buttonLeftSel, slot, selectionByte(c_.buttonLeftList[m]));
    set(table_.buttonRightSel, slot, selectionByte(c_.buttonRightList[m]));
    set(table_.fixedDirSel, slot, selectionByte(c_.fixedDirList[m]));
    set(table_.endSwitchLeftSel, slot, selectionByte(c_.endSwitchLeftList[m]));
    set(table_.endSwitchRightSel, slot, selectionByte(c_.endSwitchRightList[m]));
    set(table_.throttleAxisSel, slot, selectionByte(c_.throttleList[m]));
    set(table_.speedAxisSel, slot, selectionByte(c_.speedAxisList[m]));
    set(table_.speedPercent, slot, static_cast<uint8_t>(c_.speedSlider[m]->value()));
  }
}

void Panel::tableToPanel() {
  for (int m = 0; m < kMotorsPerModule; ++m) {
    const int slot = shownSlot(m);
    c_.dirAxisRadio[m]->setChecked(get(table_.dirFromAxis, slot) != 0);
    c_.dirButtonsRadio[m]->setChecked(get(table_.dirFromButtons, slot) != 0);
    c_.dirFixedRadio[m]->setChecked(get(table_.dirFixed, slot) != 0);
    c_.endSwitchCheck[m]->setChecked(get(table_.endSwitchesOn, slot) != 0);
    c_.speedAxisRadio[m]->setChecked(get(table_.speedFromAxis, slot) != 0);
    c_.speedFixedRadio[m]->setChecked(get(table_.speedFixed, slot) != 0);
    c_.throttleRadio[m]->setChecked(get(table_.speedFromThrottle, slot) != 0);
    selectIndex(c_.dirAxisList[m], get(table_.dirAxisSel, slot));
    selectIndex(c_.buttonLeftList[m], get(table_.buttonLeftSel, slot));
    selectIndex(c_.buttonRightList[m], get(table_.buttonRightSel, slot));
    selectIndex(c_.fixedDirList[m], get(table_.fixedDirSel, slot));
    selectIndex(c_.endSwitchLeftList[m], get(table_.endSwitchLeftSel, slot));
    selectIndex(c_.endSwitchRightList[m], get(table_.endSwitchRightSel, slot));
    selectIndex(c_.throttleList[m], get(table_.throttleAxisSel, slot));
    selectIndex(c_.speedAxisList[m], get(table_.speedAxisSel, slot));
    c_.speedSlider[m]->setValue(get(table_.speedPercent, slot));
    // The label follows the slider whenever it is drawn, also at a position it already had.
    OnCustomdrawSpeedSlider(id::kSpeedSlider + m);
  }
}

void Panel::applyDefaults() {
  applyTableDefaults(table_, state_.joystickCaps, state_.connection.motorCount);
  c_.stopInputCheck->setChecked(false);
  selectIndex(c_.stopInputList, 7);  // E8
  c_.stopButtonCheck->setChecked(false);
  selectIndex(c_.stopButtonList, state_.joystickCaps.buttonCount - 1);  // the highest button
  c_.applyButton->setEnabled(false);
  if (state_.connection.motorCount == 8) selectIndex(c_.stopInputList, 15);  // E16
  table_.moduleIndex.store(0, std::memory_order_relaxed);
  tableToPanel();
  UpdatePanelEnabling();
}

void Panel::OnApply() {
  panelToTable();
}

void Panel::OnSelchangeModuleCombo() {
  panelToTable();
  table_.moduleIndex.store(static_cast<uint8_t>(c_.moduleList->currentIndex()), std::memory_order_relaxed);
  tableToPanel();
  UpdatePanelEnabling();
  titleMotorGroups();
}

void Panel::titleMotorGroups() {
  const unsigned first = table_.moduleIndex.load(std::memory_order_relaxed) == 0 ? 1 : 5;
  for (int m = 0; m < kMotorsPerModule; ++m)
    c_.motorGroup[m]->setTitle(QString::asprintf("Motor %u", first + static_cast<unsigned>(m)));
}

}  // namespace velomat
