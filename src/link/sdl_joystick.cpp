#include "link/sdl_joystick.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace velomat {

namespace {
constexpr int kSdlAxisOffset = 32768;  // SDL axes run -32768..32767
}  // namespace

uint32_t hatToPov(uint8_t sdlHat) {
  switch (sdlHat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return kHatCentred;  // centred, or opposite directions at once
  }
}

SdlJoystick::SdlJoystick() {
  // The worker reads the joystick while another window has the focus, and Ctrl+C stays the
  // program's own business.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  ok_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  // The program reads the joystick's state, never its events. Without this every change of an axis,
  // button or hat would queue an event that nobody takes out: the queue grows, allocates and fills.
  if (ok_) SDL_JoystickEventState(SDL_IGNORE);
}

SdlJoystick::~SdlJoystick() {
  for (Number& number : numbers_) {
    if (SDL_Joystick* joystick = number.handle.exchange(nullptr)) SDL_JoystickClose(joystick);
  }
  for (SDL_Joystick* joystick : retired_) SDL_JoystickClose(joystick);
  if (ok_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

SDL_Joystick* SdlJoystick::attached(uint32_t id) {
  SDL_Joystick* joystick = numbers_[id].handle.load(std::memory_order_acquire);
  if (joystick != nullptr && SDL_JoystickGetAttached(joystick)) return joystick;
  return find(id);
}

bool SdlJoystick::inUseByOther(uint32_t id, SDL_JoystickID instance) const {
  const Number& other = numbers_[id ^ 1];
  SDL_Joystick* joystick = other.handle.load(std::memory_order_relaxed);
  return joystick != nullptr && other.instance == instance && SDL_JoystickGetAttached(joystick);
}

SDL_Joystick* SdlJoystick::find(uint32_t id) {
  if (!ok_) return nullptr;
  std::lock_guard lock(openMutex_);
  Number& number = numbers_[id];
  SDL_Joystick* joystick = number.handle.load(std::memory_order_relaxed);
  if (joystick != nullptr) {
    if (SDL_JoystickGetAttached(joystick)) return joystick;
    // Another thread may still be reading through it; it is closed when the program ends.
    retired_.push_back(joystick);
    number.handle.store(nullptr, std::memory_order_relaxed);
  }

  int device = -1;
  const int count = SDL_NumJoysticks();
  if (!number.bound) {
    // The first time: the device at the number's own index, unless the other number has it.
    if (static_cast<int>(id) < count &&
        !inUseByOther(id, SDL_JoystickGetDeviceInstanceID(static_cast<int>(id))))
      device = static_cast<int>(id);
  } else {
    // Later: the same model again, never one that answers under the other number.
    for (int i = 0; i < count && device < 0; ++i) {
      const SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(i);
      if (SDL_memcmp(&guid, &number.guid, sizeof guid) == 0 &&
          !inUseByOther(id, SDL_JoystickGetDeviceInstanceID(i)))
        device = i;
    }
  }
  if (device < 0) return nullptr;
  joystick = SDL_JoystickOpen(device);
  if (joystick == nullptr) return nullptr;
  number.bound = true;
  number.guid = SDL_JoystickGetGUID(joystick);
  number.instance = SDL_JoystickInstanceID(joystick);
  number.handle.store(joystick, std::memory_order_release);
  return joystick;
}

uint32_t SdlJoystick::joyGetDevCaps(uint32_t id, JoyCapsRecord& caps) {
  if (id > 1) return kJoyErrParms;
  if (!ok_) return kJoyErrUnplugged;
  SDL_JoystickUpdate();
  SDL_Joystick* joystick = attached(id);
  if (joystick == nullptr) return kJoyErrUnplugged;

  JoyCapsRecord record;
  if (const char* name = SDL_JoystickName(joystick)) {
    // Cut to the record at a whole character: SDL's names are UTF-8, and half a character would show
    // as garbage in the greeting.
    size_t length = std::strlen(name);
    if (length > sizeof record.szPname - 1) {
      length = sizeof record.szPname - 1;
      while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(record.szPname, name, length);
  }
  const int axes = std::clamp(SDL_JoystickNumAxes(joystick), 0, kMaxJoystickAxes);
  record.wNumAxes = static_cast<uint32_t>(axes);
  record.wNumButtons =
      static_cast<uint32_t>(std::clamp(SDL_JoystickNumButtons(joystick), 0, kMaxJoystickButtons));
  if (axes >= 3) record.wCaps |= kJoyCapsHasZ;
  if (axes >= 4) record.wCaps |= kJoyCapsHasR;
  if (axes >= 5) record.wCaps |= kJoyCapsHasU;
  if (axes >= 6) record.wCaps |= kJoyCapsHasV;
  if (SDL_JoystickNumHats(joystick) > 0) record.wCaps |= kJoyCapsHasPov;
  if (!SDL_JoystickGetAttached(joystick)) return kJoyErrUnplugged;
  caps = record;
  return kJoyNoError;
}

uint32_t SdlJoystick::joyGetPosEx(uint32_t id, JoySample& sample) {
  if (id > 1) return kJoyErrParms;
  if (!ok_) return kJoyErrUnplugged;
  SDL_JoystickUpdate();
  SDL_Joystick* joystick = attached(id);
  if (joystick == nullptr) return kJoyErrUnplugged;

  std::array<uint32_t, kMaxJoystickAxes> axis;
  const int axes = std::min(SDL_JoystickNumAxes(joystick), kMaxJoystickAxes);
  for (int i = 0; i < kMaxJoystickAxes; ++i) {
    // An axis the joystick lacks reads as centred, so a motor bound to it stands still.
    axis[static_cast<size_t>(i)] =
        i < axes ? static_cast<uint32_t>(SDL_JoystickGetAxis(joystick, i) + kSdlAxisOffset) : kAxisCentre;
  }
  uint32_t buttons = 0;
  uint32_t pressed = 0;
  const int buttonCount = std::min(SDL_JoystickNumButtons(joystick), kMaxJoystickButtons);
  for (int i = 0; i < buttonCount; ++i) {
    if (SDL_JoystickGetButton(joystick, i) != 0) {
      buttons |= 1u << i;
      ++pressed;
    }
  }
  const uint32_t pov =
      SDL_JoystickNumHats(joystick) > 0 ? hatToPov(SDL_JoystickGetHat(joystick, 0)) : kHatCentred;

  // A device that is gone reads as all zeros: never hand that on as a sample.
  if (!SDL_JoystickGetAttached(joystick)) return kJoyErrUnplugged;
  sample.dwXpos = axis[0];
  sample.dwYpos = axis[1];
  sample.dwZpos = axis[2];
  sample.dwRpos = axis[3];
  sample.dwUpos = axis[4];
  sample.dwVpos = axis[5];
  sample.dwButtons = buttons;
  sample.dwButtonNumber = pressed;
  sample.dwPOV = pov;
  return kJoyNoError;
}

}  // namespace velomat
