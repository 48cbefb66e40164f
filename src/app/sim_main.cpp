// velomat-sim: Velomat with simulated interfaces and an on-screen joystick attached as a virtual
// joystick after any real ones.
#include <SDL.h>

#include <QApplication>

#include "app/main_dialog.h"
#include "app/qt_message_boxes.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/interface_link.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"

using namespace velomat;

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QtMessageBoxes boxes;
  SdlJoystick joystick;
  if (!joystick.ok()) {
    boxes.show(SDL_GetError(), "Velomat", BoxButtons::Ok);
    return 1;
  }
  VirtualJoystick onScreen(3, 8, 1, "Velomat Bildschirm-Joystick");  // stick X/Y, throttle Z, hat

  // Until the connection dialog exists: the first joystick that answers, a simulated ROBO Interface.
  SharedState state;
  JoyCapsRecord caps;
  for (uint32_t id = 0; id < 2; ++id) {
    if (joystick.joyGetDevCaps(id, caps) == kJoyNoError &&
        joystick.joyGetPosEx(id, state.joySample) == kJoyNoError) {
      state.joystickId = id;
      break;
    }
  }
  state.joystickCaps = JoystickCaps::fromRecord(caps);
  sim::SimIntelligentInterface intInt;
  sim::SimRoboInterface robo;
  InterfaceLink link(intInt, robo, state.connection, state.stopRequested, boxes);
  if (!link.openInterface()) {
    boxes.show("Verbindung zum Interface fehlgeschlagen!\n", {}, BoxButtons::Ok);
    return 0;
  }

  MainDialog dialog(state, boxes);
  boxes.setParent(&dialog);
  if (!dialog.initialisePanel()) return 1;
  dialog.panel().loadSettingsTables();
  dialog.panel().UpdatePanelEnabling();
  dialog.startWorker(joystick, link);
  dialog.exec();
  endProcess(0);  // closing saved the settings; the worker is not joined
}
