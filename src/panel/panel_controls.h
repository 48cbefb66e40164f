// The main window's controls by role: their dialog identifiers, the registry every other part reaches
// them through, and the one-time filling of their lists from the joystick and the number of motors.
#pragma once

#include <array>

#include "records/connection.h"
#include "ui/dialog_ids.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QWidget;

namespace velomat {

// Dialog identifiers. A per-motor control of motor m (0..3) has the identifier base + m.
namespace id {
inline constexpr int kEndSwitchLeftList = 1014;
inline constexpr int kEndSwitchRightList = 1022;
inline constexpr int kDirAxisList = 1030;
inline constexpr int kButtonLeftList = 1038;
inline constexpr int kSpeedAxisList = 1046;
inline constexpr int kButtonRightList = 1054;
inline constexpr int kThrottleList = 1062;
inline constexpr int kDirAxisRadio = 1070;
inline constexpr int kDirButtonsRadio = 1078;
inline constexpr int kThrottleRadio = 1086;
inline constexpr int kSpeedFixedRadio = 1094;
inline constexpr int kSpeedSlider = 1102;
inline constexpr int kMotorGroup = 1110;
inline constexpr int kEndSwitchCheck = 1118;
inline constexpr int kFixedDirList = 1126;
inline constexpr int kSpeedLabel = 1134;
inline constexpr int kSpeedAxisRadio = 1142;
inline constexpr int kDirFixedRadio = 1150;

inline constexpr int kEndButton = 1;  // the dialog's OK
inline constexpr int kStatusText = 1001;
inline constexpr int kCreditsButton = 1002;
inline constexpr int kStartButton = 1003;
inline constexpr int kEmergencyStopButton = 1004;
inline constexpr int kStopButtonCheck = 1005;
inline constexpr int kStopButtonList = 1006;
inline constexpr int kStopInputCheck = 1007;
inline constexpr int kStopInputList = 1008;
inline constexpr int kResetButton = 1224;
inline constexpr int kModuleList = 1230;
inline constexpr int kApplyButton = 1231;
}  // namespace id

template <typename T>
using PerMotor = std::array<T*, kMotorsPerModule>;

// References to the main window's controls, filled once; the dialog owns the controls.
struct PanelControls {
  PerMotor<QGroupBox> motorGroup{};
  PerMotor<QRadioButton> dirAxisRadio{}, dirButtonsRadio{}, dirFixedRadio{};
  PerMotor<QComboBox> dirAxisList{}, buttonLeftList{}, buttonRightList{}, fixedDirList{};
  PerMotor<QCheckBox> endSwitchCheck{};
  PerMotor<QComboBox> endSwitchLeftList{}, endSwitchRightList{};
  PerMotor<QRadioButton> speedAxisRadio{}, throttleRadio{}, speedFixedRadio{};
  PerMotor<QComboBox> speedAxisList{}, throttleList{};
  PerMotor<QLabel> speedLabel{};
  PerMotor<QSlider> speedSlider{};

  QPushButton* startButton = nullptr;
  QPushButton* applyButton = nullptr;
  QLabel* statusText = nullptr;
  QComboBox* moduleList = nullptr;
  QCheckBox* stopInputCheck = nullptr;
  QComboBox* stopInputList = nullptr;
  QCheckBox* stopButtonCheck = nullptr;
  QComboBox* stopButtonList = nullptr;
};

// Looks up the controls of `dialog`, fills every list from the joystick's capabilities, its button
// count and motorCount, sets the sliders' range and selects "Hauptmodul". Selects nothing else: the
// defaults and the stored settings come after. Returns false when a control is missing.
bool InitPanelControls(PanelControls& controls, QWidget* dialog, const JoystickCaps& caps, int32_t motorCount,
                       bool hasExtension);

}  // namespace velomat
