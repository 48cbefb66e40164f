// A virtual SDL joystick: attached with a given shape, moved by the program, detached at the end. The
// on-screen joystick of velomat-sim is one, and so is every joystick the tests use.
#pragma once

#include <SDL.h>

#include <string>

namespace velomat {

class VirtualJoystick {
 public:
  VirtualJoystick(int axes, int buttons, int hats, const std::string& name) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = static_cast<Uint16>(axes);
    desc.nbuttons = static_cast<Uint16>(buttons);
    desc.nhats = static_cast<Uint16>(hats);
    desc.name = name.c_str();
    device_ = SDL_JoystickAttachVirtualEx(&desc);
    if (device_ >= 0) {
      instance_ = SDL_JoystickGetDeviceInstanceID(device_);
      handle_ = SDL_JoystickOpen(device_);
    }
  }
  ~VirtualJoystick() { detach(); }
  VirtualJoystick(const VirtualJoystick&) = delete;
  VirtualJoystick& operator=(const VirtualJoystick&) = delete;

  bool ok() const { return handle_ != nullptr; }
  void axis(int index, Sint16 value) { SDL_JoystickSetVirtualAxis(handle_, index, value); }
  void button(int index, bool down) { SDL_JoystickSetVirtualButton(handle_, index, down ? 1 : 0); }
  void hat(Uint8 value) { SDL_JoystickSetVirtualHat(handle_, 0, value); }

  void detach() {
    if (handle_ == nullptr) return;
    SDL_JoystickClose(handle_);
    handle_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == instance_) SDL_JoystickDetachVirtual(i);
    }
  }

 private:
  int device_ = -1;
  SDL_JoystickID instance_ = -1;
  SDL_Joystick* handle_ = nullptr;
};

}  // namespace velomat
