// Joysticks 0 and 1 read through SDL2.
#pragma once

#include <SDL_joystick.h>

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "link/joystick.h"

namespace velomat {

// Number N is the SDL device at index N when N is first asked for. From then on N keeps meaning that
// device: while it is gone, N fails (kJoyErrUnplugged); when the same model comes back it answers
// again under N. Another device never takes its place, so a run bound to one stick is never steered by
// another.
class SdlJoystick final : public JoystickSource {
 public:
  // Starts SDL's joystick subsystem; the program keeps one SdlJoystick for its whole life.
  SdlJoystick();
  ~SdlJoystick() override;

  // False when SDL's joystick subsystem could not start; every query then fails.
  bool ok() const { return ok_; }

  uint32_t joyGetDevCaps(uint32_t id, JoyCapsRecord& caps) override;

  // Safe from the worker thread while the GUI thread runs. In the steady state it takes no lock of
  // its own and allocates nothing, however the stick moves; only a joystick that vanished is looked
  // for again.
  uint32_t joyGetPosEx(uint32_t id, JoySample& sample) override;

 private:
  struct Number {
    std::atomic<SDL_Joystick*> handle{nullptr};  // read without the lock by joyGetPosEx
    // Guarded by openMutex_.
    bool bound = false;
    SDL_JoystickGUID guid{};       // the model the number stands for
    SDL_JoystickID instance = -1;  // the device it answered with last
  };

  SDL_Joystick* attached(uint32_t id);
  SDL_Joystick* find(uint32_t id);
  bool inUseByOther(uint32_t id, SDL_JoystickID instance) const;

  bool ok_ = false;
  std::array<Number, 2> numbers_;
  std::mutex openMutex_;                // serialises the rare search for a device
  std::vector<SDL_Joystick*> retired_;  // vanished devices; another thread may still hold them
};

// The first hat of an SDL joystick in hundredths of a degree (65535 when centred).
uint32_t hatToPov(uint8_t sdlHat);

}  // namespace velomat
