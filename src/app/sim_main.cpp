// velomat-sim: until the windows exist, it attaches the on-screen joystick as a virtual joystick,
// connects to it as the program does, and shows what the control cycle makes of a few stick positions.
#include <SDL.h>

#include <cstdio>

#include "config/list_texts.h"
#include "control/output_stage.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"

using namespace velomat;

namespace {

void printList(const char* name, const ListTexts& list) {
  std::printf("  %-22s", name);
  for (const auto& text : list) std::printf(" \"%s\"", text.c_str());
  std::printf("\n");
}

}  // namespace

int main() {
  SdlJoystick joystick;
  if (!joystick.ok()) {
    std::fprintf(stderr, "velomat-sim: SDL joystick subsystem failed: %s\n", SDL_GetError());
    return 1;
  }
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = 3;
  desc.nbuttons = 4;
  desc.nhats = 1;
  desc.name = "Velomat Bildschirm-Joystick";
  const int device = SDL_JoystickAttachVirtualEx(&desc);
  SDL_Joystick* stick = device >= 0 ? SDL_JoystickOpen(device) : nullptr;
  if (stick == nullptr) {
    std::fprintf(stderr, "velomat-sim: cannot attach the on-screen joystick: %s\n", SDL_GetError());
    return 1;
  }

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
  std::printf("Velomat %s\n\nJoystick %u: %s, %u axes, %u buttons\n\nLists of the motor panels:\n", "1.5",
              state.joystickId, caps.szPname, caps.wNumAxes, caps.wNumButtons);
  printList("axis list:", axisListTexts(state.joystickCaps.caps));
  printList("throttle list:", throttleListTexts(state.joystickCaps.caps));
  printList("button list:", buttonListTexts(state.joystickCaps.buttonCount));
  printList("input list:", inputListTexts(state.connection.motorCount));
  printList("fixed-direction list:", fixedDirListTexts());

  state.connection.interfaceKind = kIntelligentInterface;
  applyTableDefaults(state.table, state.joystickCaps, state.connection.motorCount);
  std::printf(
      "\nDefaults: motor 1 follows X, motor 2 follows Y, motors 3 and 4 stand still.\n"
      "Control cycle on an Intelligent Interface (direction code, speed in %%):\n");
  struct Move {
    const char* what;
    Sint16 x, y;
  };
  const Move moves[] = {{"stick centred", 0, 0},
                        {"X left half", -22768, 0},
                        {"X full right, Y full forward", 32767, -32768},
                        {"Y back a little", 0, 12000}};
  RunState run;
  for (const Move& move : moves) {
    SDL_JoystickSetVirtualAxis(stick, 0, move.x);
    SDL_JoystickSetVirtualAxis(stick, 1, move.y);
    controlCycle(run, state, joystick);
    std::printf("  %-30s", move.what);
    for (int o = 0; o < 4; ++o) std::printf("  M%d %c %7.3f", o + 1, "ALR"[run.direction[o]], run.speed[o]);
    std::printf("\n");
  }

  // A short run against the simulated Intelligent Interface, paced like the real wire.
  class NoBoxes final : public MessageBoxes {
   public:
    BoxAnswer show(std::string_view, std::string_view, BoxButtons) override { return BoxAnswer::Retry; }
  } boxes;
  sim::SimIntelligentInterface intInt;
  sim::SimRoboInterface robo;
  state.connection.portNumber = 1;
  InterfaceLink link(intInt, robo, state.connection, state.stopRequested, boxes);
  if (!link.openInterface()) {
    std::printf("Verbindung zum Interface fehlgeschlagen!\n");
    return 1;
  }
  SDL_JoystickSetVirtualAxis(stick, 0, -22768);  // motor 1 left at 61.5 %
  SDL_JoystickSetVirtualAxis(stick, 1, 32767);   // motor 2 right at full speed
  intInt.setInput(7, true);
  run = RunState{};
  for (int i = 0; i < 300; ++i) {
    controlCycle(run, state, joystick);
    shapeSpeeds(run, state);
    run.lastInputWord = driveOutputs(run, state, link);
  }
  const double share1 = intInt.onShare(0), share2 = intInt.onShare(1);
  link.exchangeIo(0, 0, 0);  // every output off at the end of the run
  std::printf("\nOne second against the simulated Intelligent Interface on COM1 (%.0f exchanges/s):\n",
              intInt.wire().exchangeRate());
  std::printf("  motor 1 on in %.1f %% of the exchanges, motor 2 in %.1f %%; inputs read 0x%02X\n",
              100 * share1, 100 * share2, run.lastInputWord);
  link.closeInterface();
  std::printf("\nThe main window and the simulation window come next.\n");
  SDL_JoystickClose(stick);
  return 0;
}
