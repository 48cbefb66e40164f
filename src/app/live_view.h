// "Joystick und Interface": the joystick and the interface live, so that a user setting up a model can
// see which axis, button and input is which by moving or closing it. Before "LOS!" the window reads the
// joystick itself; during a run it shows what the control worker published of each exchange.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "control/control_cycle.h"
#include "control/live_readings.h"
#include "link/joystick.h"
#include "ui/axis_bar.h"
#include "ui/lamp.h"
#include "ui/output_gauge.h"

class QGridLayout;
class QLabel;

namespace velomat {

inline constexpr const char* kLiveViewCaption = "Joystick und Interface";
inline constexpr const char* kLiveViewMenuText = "&Joystick und Interface...";
inline constexpr const char* kLiveViewShortcut = "Ctrl+J";

// The window's pictures, for the window and for tests that read them as a user does.
struct LiveViewControls {
  QLabel* joystickName = nullptr;
  std::array<AxisBar*, kMaxJoystickAxes> axes{};  // X, Y, Z, R, U, V; nullptr for an axis the lists lack
  HatView* hat = nullptr;                         // nullptr without a hat
  QLabel* pov1 = nullptr;                         // what "POV1" and "POV2" make of the hat: "L", "R", ""
  QLabel* pov2 = nullptr;
  std::vector<Lamp*> buttons;  // buttons 1..N

  QLabel* connection = nullptr;
  QLabel* rate = nullptr;
  std::array<QLabel*, kMaxOutputs> motorNames{};  // outputs 1..motorCount; nullptr beyond
  std::array<OutputGauge*, kMaxOutputs> gauges{};
  std::array<QLabel*, kMaxOutputs> motorTexts{};  // "L 63 %", "R Stufe 5", "aus"
  std::array<Lamp*, kMaxInputs> inputs{};
  std::array<QLabel*, kMaxInputs> owners{};  // the motors whose end switches an input is ("M1 L")
};

class LiveView final : public QWidget {
 public:
  // A window of its own over `parent`. `joystick` is read on the GUI thread between runs.
  LiveView(SharedState& state, JoystickSource& joystick, QWidget* parent = nullptr);

  // Reads the run's record (or the joystick) into the pictures. A timer calls it about 30 times a second
  // while the window is shown.
  void refresh(LiveReadings::Clock::time_point now);
  void refresh() { refresh(LiveReadings::Clock::now()); }

  // Told true while the window is shown and false once it is hidden: between runs the inputs are then
  // read from the interface, so that each shows before "LOS!".
  void setInputWatch(std::function<void(bool)> watch) { watch_ = std::move(watch); }

  LiveViewControls& controls() { return controls_; }
  const LiveReadings& readings() const { return readings_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape closes this window, as it would a dialog; the program goes on.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* buildJoystick();
  QWidget* buildInterface();
  QWidget* buildInputs();
  void evenInputColumns();

  SharedState& state_;
  JoystickSource& joystick_;
  JoySample ownSample_;  // the GUI thread's own reading; joySample belongs to the worker
  LiveReadings readings_;
  LiveViewControls controls_;
  QGridLayout* inputColumns_ = nullptr;
  QTimer timer_;
  std::function<void(bool)> watch_;
};

// The connected interface in words: "ROBO Interface über USB", "Intelligent Interface an COM1 mit
// Extensionmodul", ...
QString interfaceDescription(const ConnectionSettings& connection);

}  // namespace velomat
