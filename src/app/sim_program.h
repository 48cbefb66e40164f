// velomat-sim put together: the on-screen joystick attached as a virtual joystick after any real ones,
// simulated interfaces behind the driver seam for every entry of the connection list, the main window,
// and the simulation window beside it.
#pragma once

#include "app/main_dialog.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "sim/simulation_window.h"

namespace velomat {

class SimProgram {
 public:
  explicit SimProgram(MessageBoxes& boxes, sim::SimOptions options = {});
  SimProgram(const SimProgram&) = delete;
  SimProgram& operator=(const SimProgram&) = delete;

  // The start as far as the main window: the connection dialog (which ends the process unless it
  // connects), the main window set up and its worker waiting, the simulation window shown beside it,
  // and the main window active.
  void start();
  // Serves both windows until the main window closes. Neither is modal: every box holds the main
  // window only, so the simulation window stays usable throughout.
  void run();

  MainDialog& mainDialog() { return dialog_; }
  SimulationWindow& simulationWindow() { return window_; }
  sim::SimIntelligentInterface& intelligentInterface() { return intInt_; }
  sim::SimRoboInterface& roboInterface() { return robo_; }
  SharedState& state() { return state_; }

 private:
  SdlJoystick joystick_;  // before the on-screen joystick: SDL must run when it attaches
  VirtualJoystick onScreen_;
  sim::SimIntelligentInterface intInt_;
  sim::SimRoboInterface robo_;
  SharedState state_;
  InterfaceLink link_;
  MainDialog dialog_;
  SimulationWindow window_;  // a window of its own: a box over the main window does not hold it

  // Places both windows side by side on the main window's screen, the simulation window compact where
  // its one column would not fit.
  void placeWindows();
};

}  // namespace velomat
