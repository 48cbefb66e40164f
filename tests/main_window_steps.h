// The main window as the run tests start it: on an SDL virtual joystick (number 0) and an interface
// link, its lists filled from that joystick, shown, its worker waiting for "LOS!". And a wait that
// keeps the window's events going.
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/main_dialog.h"
#include "link/sdl_joystick.h"

namespace velomat::testing {

// Waits, serving the window's events, until `done` (true) or 20 seconds have passed (false).
inline bool waitUntil(const std::function<bool()>& done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  QCoreApplication::processEvents();
  return true;
}

// The main window connected to an interface of `kind` on COM1 where a port applies; nullptr when the
// joystick or the interface does not answer.
inline std::unique_ptr<MainDialog> startedMainWindow(SharedState& state, SdlJoystick& sdl,
                                                     InterfaceLink& link, MessageBoxes& boxes, int32_t kind) {
  JoyCapsRecord caps;
  if (sdl.joyGetDevCaps(0, caps) != kJoyNoError) return nullptr;
  state.joystickCaps = JoystickCaps::fromRecord(caps);
  state.connection.interfaceKind = kind;
  state.connection.portNumber = 1;
  if (!link.openInterface()) return nullptr;
  auto dialog = std::make_unique<MainDialog>(state, boxes);
  if (!dialog->initialisePanel()) return nullptr;
  dialog->show();
  dialog->startWorker(sdl, link);
  return dialog;
}

}  // namespace velomat::testing
