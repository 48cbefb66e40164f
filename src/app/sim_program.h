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

// velomat-sim's interfaces are built as the user sets them up: an open made by the connection dialog
// plugs the simulated extension module in when the connection has 8 motors (the dialog's "Extension-
// Modul" ticked, or a stored setting) and takes it out otherwise. Everything else passes through.
class SimIntIntAsSetUp final : public IntelligentInterfaceDriver {
 public:
  SimIntIntAsSetUp(sim::SimIntelligentInterface& sim, const ConnectionSettings& connection)
      : sim_(sim), connection_(connection) {}
  bool open(IntIntPort port, int32_t portNumber) override {
    sim_.setExtensionModule(withModule(connection_));
    return sim_.open(port, portNumber);
  }
  Inputs exchange(uint32_t outputWord) override { return sim_.exchange(outputWord); }
  void close() override { sim_.close(); }

  static bool withModule(const ConnectionSettings& connection) {
    return connection.hasExtension != 0 || connection.motorCount == 8;
  }

 private:
  sim::SimIntelligentInterface& sim_;
  const ConnectionSettings& connection_;
};

class SimRoboAsSetUp final : public RoboInterfaceDriver {
 public:
  SimRoboAsSetUp(sim::SimRoboInterface& sim, const ConnectionSettings& connection)
      : sim_(sim), connection_(connection) {}
  bool open(RoboPort port, int32_t portNumber) override {
    sim_.setExtensionModule(SimIntIntAsSetUp::withModule(connection_));
    return sim_.open(port, portNumber);
  }
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override {
    return sim_.sendOutputs(outputWord, speedWord);
  }
  Inputs readInputs() override { return sim_.readInputs(); }
  void close() override { sim_.close(); }
  int extensionModules() const override { return sim_.extensionModules(); }

 private:
  sim::SimRoboInterface& sim_;
  const ConnectionSettings& connection_;
};

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
  SimIntIntAsSetUp intIntAsSetUp_;
  SimRoboAsSetUp roboAsSetUp_;
  InterfaceLink link_;
  MainDialog dialog_;
  SimulationWindow window_;  // a window of its own: a box over the main window does not hold it

  // Places both windows on the main window's screen (placePair), side by side where the screen has room
  // for that in one of the simulation window's layouts; otherwise the simulation window over the main
  // window's left part, clear of its run controls. True when side by side.
  bool placeWindows();
};

}  // namespace velomat
