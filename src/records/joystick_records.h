// The joystick records every layer shares: the capability record, the sample record and their
// constants. The joystick seam (link/joystick.h) fills them; the bindings refer to the sample's fields.
#pragma once

#include <cstdint>

namespace velomat {

// Results of the two joystick operations.
inline constexpr uint32_t kJoyNoError = 0;
inline constexpr uint32_t kJoyErrParms = 165;      // joystick number other than 0 or 1
inline constexpr uint32_t kJoyErrUnplugged = 167;  // no joystick answers under that number

// Capability bits of JoyCapsRecord::wCaps. X and Y are assumed on every joystick.
inline constexpr uint32_t kJoyCapsHasZ = 0x01;
inline constexpr uint32_t kJoyCapsHasR = 0x02;
inline constexpr uint32_t kJoyCapsHasU = 0x04;
inline constexpr uint32_t kJoyCapsHasV = 0x08;
inline constexpr uint32_t kJoyCapsHasPov = 0x10;

inline constexpr int kMaxJoystickAxes = 6;      // X, Y, Z, R, U, V
inline constexpr int kMaxJoystickButtons = 32;  // one bit each in JoySample::dwButtons
inline constexpr int kJoystickNameSize = 32;    // szPname, terminator included

// What a capability query reports of one joystick.
struct JoyCapsRecord {
  char szPname[kJoystickNameSize] = {};  // product name, zero-terminated
  uint32_t wNumAxes = 0;                 // 0..6
  uint32_t wNumButtons = 0;              // 0..32
  uint32_t wCaps = 0;                    // kJoyCapsHas* bits
};

inline constexpr uint32_t kJoySampleSize = 52;
inline constexpr uint32_t kJoyReturnAll = 0xFF;
inline constexpr uint32_t kAxisCentre = 32768;  // what an absent or centred axis reads
inline constexpr uint32_t kHatCentred = 65535;

// One joystick sample. The layout is that of the classic 52-byte position record; the control cycle
// binds motors to its fields, so the program keeps exactly one at a fixed place for its whole life.
struct JoySample {
  uint32_t dwSize = kJoySampleSize;
  uint32_t dwFlags = kJoyReturnAll;
  uint32_t dwXpos = 0;  // axes 0..65535, centre about 32767
  uint32_t dwYpos = 0;
  uint32_t dwZpos = 0;
  uint32_t dwRpos = 0;
  uint32_t dwUpos = 0;
  uint32_t dwVpos = 0;
  uint32_t dwButtons = 0;        // bit k set while button k+1 is pressed
  uint32_t dwButtonNumber = 0;   // how many buttons are pressed
  uint32_t dwPOV = kHatCentred;  // hundredths of a degree clockwise from forward; 65535 centred
  uint32_t dwReserved1 = 0;
  uint32_t dwReserved2 = 0;
};
static_assert(sizeof(JoySample) == kJoySampleSize);

// The field of the joystick sample that an axis binding refers to.
enum class SampleField : uint8_t { X, Y, Z, R, U, V, Pov, None = 0xFF };

// Reads the field a binding refers to. kAxisCentre for None, so a missing binding never moves a motor.
inline uint32_t readSampleField(const JoySample& sample, SampleField field) {
  switch (field) {
    case SampleField::X:
      return sample.dwXpos;
    case SampleField::Y:
      return sample.dwYpos;
    case SampleField::Z:
      return sample.dwZpos;
    case SampleField::R:
      return sample.dwRpos;
    case SampleField::U:
      return sample.dwUpos;
    case SampleField::V:
      return sample.dwVpos;
    case SampleField::Pov:
      return sample.dwPOV;
    case SampleField::None:
      break;
  }
  return kAxisCentre;
}

}  // namespace velomat
