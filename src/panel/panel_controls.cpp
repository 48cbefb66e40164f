#include "panel/panel_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVariant>

#include "config/list_texts.h"

namespace velomat {

namespace {

// Appends the entries and leaves the list without a selection (a combo box selects its first entry).
void fill(QComboBox* list, const ListTexts& texts) {
  for (const auto& text : texts) list->addItem(QString::fromStdString(text));
  list->setCurrentIndex(-1);
}

template <typename T>
bool lookUp(T*& control, const QWidget* dialog, int dialogId) {
  control = qobject_cast<T*>(dialogItem(dialog, dialogId));
  return control != nullptr;
}

}  // namespace

bool InitPanelControls(PanelControls& c, QWidget* dialog, const JoystickCaps& caps, int32_t motorCount,
                       bool hasExtension) {
  const ListTexts axes = axisListTexts(caps.caps);
  const ListTexts throttles = throttleListTexts(caps.caps);
  const ListTexts buttons = buttonListTexts(caps.buttonCount);
  const ListTexts inputs = inputListTexts(motorCount);
  bool found = true;
  for (int m = 0; m < kMotorsPerModule; ++m) {
    found &= lookUp(c.motorGroup[m], dialog, id::kMotorGroup + m);
    found &= lookUp(c.dirAxisRadio[m], dialog, id::kDirAxisRadio + m);
    found &= lookUp(c.dirAxisList[m], dialog, id::kDirAxisList + m);
    found &= lookUp(c.dirButtonsRadio[m], dialog, id::kDirButtonsRadio + m);
    found &= lookUp(c.buttonLeftList[m], dialog, id::kButtonLeftList + m);
    found &= lookUp(c.buttonRightList[m], dialog, id::kButtonRightList + m);
    found &= lookUp(c.dirFixedRadio[m], dialog, id::kDirFixedRadio + m);
    found &= lookUp(c.fixedDirList[m], dialog, id::kFixedDirList + m);
    found &= lookUp(c.endSwitchCheck[m], dialog, id::kEndSwitchCheck + m);
    found &= lookUp(c.endSwitchLeftList[m], dialog, id::kEndSwitchLeftList + m);
    found &= lookUp(c.endSwitchRightList[m], dialog, id::kEndSwitchRightList + m);
    found &= lookUp(c.speedAxisRadio[m], dialog, id::kSpeedAxisRadio + m);
    found &= lookUp(c.speedAxisList[m], dialog, id::kSpeedAxisList + m);
    found &= lookUp(c.throttleRadio[m], dialog, id::kThrottleRadio + m);
    found &= lookUp(c.throttleList[m], dialog, id::kThrottleList + m);
    found &= lookUp(c.speedFixedRadio[m], dialog, id::kSpeedFixedRadio + m);
    found &= lookUp(c.speedLabel[m], dialog, id::kSpeedLabel + m);
    found &= lookUp(c.speedSlider[m], dialog, id::kSpeedSlider + m);
    if (!found) return false;

    fill(c.dirAxisList[m], axes);
    fill(c.speedAxisList[m], axes);
    fill(c.throttleList[m], throttles);
    fill(c.buttonLeftList[m], buttons);
    fill(c.buttonRightList[m], buttons);
    fill(c.endSwitchLeftList[m], inputs);
    fill(c.endSwitchRightList[m], inputs);
    fill(c.fixedDirList[m], fixedDirListTexts());
    c.speedSlider[m]->setRange(0, 100);
  }

  found &= lookUp(c.stopInputCheck, dialog, id::kStopInputCheck);
  found &= lookUp(c.stopInputList, dialog, id::kStopInputList);
  found &= lookUp(c.stopButtonCheck, dialog, id::kStopButtonCheck);
  found &= lookUp(c.stopButtonList, dialog, id::kStopButtonList);
  found &= lookUp(c.statusText, dialog, id::kStatusText);
  found &= lookUp(c.startButton, dialog, id::kStartButton);
  found &= lookUp(c.applyButton, dialog, id::kApplyButton);
  found &= lookUp(c.moduleList, dialog, id::kModuleList);
  if (!found) return false;

  fill(c.stopInputList, inputs);
  fill(c.stopButtonList, buttons);
  fill(c.moduleList, moduleListTexts(hasExtension));
  c.moduleList->setCurrentIndex(0);
  return true;
}

}  // namespace velomat
