// Joysticks 0 and 1 read through SDL2 (the first two SDL devices).
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "link/joystick.h"

struct _SDL_Joystick;

namespace velomat {

class SdlJoystick final : public JoystickSource {
 public:
  // Starts SDL's joystick subsystem; the program keeps one SdlJoystick for its whole life.
  SdlJoystick();
  ~SdlJoystick() override;

  // False when SDL's joystick subsystem could not start; every query then fails.
  bool ok() const { return ok_; }

  uint32_t joyGetDevCaps(uint32_t id, JoyCapsRecord& caps) override;

  // Safe from the worker thread while the GUI thread runs. In the steady state it takes no lock of
  // its own and allocates nothing; only a joystick that vanished and came back is opened again.
  uint32_t joyGetPosEx(uint32_t id, JoySample& sample) override;

 private:
  _SDL_Joystick* attached(uint32_t id);
  _SDL_Joystick* reopen(uint32_t id);

  bool ok_ = false;
  std::array<std::atomic<_SDL_Joystick*>, 2> handles_{};
  std::mutex openMutex_;                 // serialises the rare (re)open of a handle
  std::vector<_SDL_Joystick*> retired_;  // vanished devices; another thread may still hold them
};

// The first hat of an SDL joystick in hundredths of a degree (65535 when centred).
uint32_t hatToPov(uint8_t sdlHat);

}  // namespace velomat
