// velomat-sim's simulation window: the on-screen joystick that drives the SDL virtual joystick, and the
// simulated interfaces as a model would show them: outputs turning, inputs to close, faults to cause.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "link/drivers/sim/sim_interfaces.h"
#include "link/virtual_joystick.h"
#include "records/connection.h"
#include "sim/stick_pad.h"
#include "ui/lamp.h"
#include "ui/output_gauge.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace velomat {

inline constexpr const char* kSimulationWindowCaption = "Velomat Simulation";

// The window's controls, for the window itself and for tests that drive it as a user does.
struct SimulationControls {
  // Joystick: stick X/Y with its hint, throttle Z, the hat's 3x3 grid row by row (centre in the
  // middle), buttons 1..8, and whether buttons and hat latch.
  StickPad* stick = nullptr;
  QLabel* hint = nullptr;
  QSlider* throttle = nullptr;
  QLabel* throttleText = nullptr;
  std::array<QToolButton*, 9> hat{};
  std::array<QToolButton*, 8> buttons{};
  QCheckBox* latch = nullptr;

  // The connected interface, its exchange rate and, per output, name, gauge and figures.
  QLabel* interfaceText = nullptr;
  QLabel* rateText = nullptr;
  std::array<QLabel*, kMaxOutputs> motorNames{};
  std::array<OutputGauge*, kMaxOutputs> gauges{};
  std::array<QLabel*, kMaxOutputs> motorTexts{};

  // Inputs E1..E16 as switches, the extension module, the connection.
  std::array<Lamp*, kMaxInputs> inputs{};
  QCheckBox* extensionModule = nullptr;
  QPushButton* connection = nullptr;
};

class SimulationWindow final : public QWidget {
 public:
  // `joystick` is the on-screen joystick: 3 axes (X, Y, Z), 8 buttons, 1 hat. The window sets it to
  // rest (stick centred, throttle closed, nothing pressed) and from then on is its only writer.
  // With a parent the window stays a window of its own, and a modal parent does not block it.
  SimulationWindow(VirtualJoystick& joystick, sim::SimIntelligentInterface& intInt,
                   sim::SimRoboInterface& robo, QWidget* parent = nullptr);
  ~SimulationWindow() override;

  // The window's layouts, for screens of every shape; the controls are the same in each.
  enum class Layout {
    OneColumn,  // joystick, interface, inputs one below the other
    Compact,    // lower: the motors in two columns, the stick's hint left to its tooltip
    Wide,       // lowest: the joystick, the inputs and the switches left, the motors right of them
  };
  void setArrangement(Layout layout);
  Layout arrangement() const { return layout_; }
  void setCompact(bool compact) { setArrangement(compact ? Layout::Compact : Layout::OneColumn); }
  bool isCompact() const { return layout_ == Layout::Compact; }
  // The window's size in `layout`; it stays in the one it is in.
  QSize sizeFor(Layout layout);

  // Reads the simulations into the display as they stand at `now`, or now on the simulations' clock.
  // A timer calls it about 20 times a second while the window is shown; the simulations may exchange
  // on another thread meanwhile.
  void refresh(sim::Clock::time_point now);
  void refresh();

  SimulationControls& controls() { return controls_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // A joystick nobody sees must not drive: closing centres the stick and lets go of buttons and hat.
  // The throttle stays, as it does on a real joystick.
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildJoystick();
  void buildInterface();
  void buildInputs();
  void arrange();
  bool latched() const;
  void setHat(int index);
  void setLatched(bool latched);
  void setConnectionLost(bool lost);

  VirtualJoystick& joystick_;
  sim::SimIntelligentInterface& intInt_;
  sim::SimRoboInterface& robo_;
  SimulationControls controls_;
  QGroupBox* joystickGroup_ = nullptr;
  QGroupBox* interfaceGroup_ = nullptr;
  QGroupBox* inputsGroup_ = nullptr;
  QLabel* throttleHeading_ = nullptr;
  QLabel* hatHeading_ = nullptr;
  QLabel* buttonsLabel_ = nullptr;
  QLabel* connectionLabel_ = nullptr;
  QLabel* rateLabel_ = nullptr;
  Layout layout_ = Layout::OneColumn;
  QTimer timer_;
};

}  // namespace velomat
