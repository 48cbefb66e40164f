// The joystick and connection settings that stand beside the configuration table. They are settled on
// the GUI thread while the program connects, before the control worker exists, and stay fixed after.
#pragma once

#include <algorithm>
#include <cstdint>

#include "records/joystick_records.h"

namespace velomat {

inline constexpr int kSlotCount = 8;  // MotorSlot 0..7: motor m of module k is slot m*2 + k
inline constexpr int kMotorsPerModule = 4;
inline constexpr int kMaxOutputs = 8;  // outputs 0..7: output o is 4*module + motor
inline constexpr int kMaxInputs = 16;  // interface inputs E1..E16

// A motor has two numbers. Its slot indexes the configuration tables, whose entries alternate between
// the modules; its output is its place in the words on the wire, the main module's motors first.
inline constexpr int motorSlot(int motor, int module) {
  return motor * 2 + module;
}
inline constexpr int slotOfOutput(int output) {
  return motorSlot(output % kMotorsPerModule, output / kMotorsPerModule);
}
inline constexpr int outputOfSlot(int slot) {
  return slot % 2 * kMotorsPerModule + slot / 2;
}

// The program's copy of the joystick's capabilities, from which every list of the panel is built.
struct JoystickCaps {
  uint32_t caps = 0;        // kJoyCapsHas* bits
  uint8_t axisCount = 0;    // low byte of wNumAxes
  uint8_t buttonCount = 0;  // low byte of wNumButtons

  static JoystickCaps fromRecord(const JoyCapsRecord& record) {
    return {record.wCaps, static_cast<uint8_t>(record.wNumAxes & 0xFF),
            static_cast<uint8_t>(record.wNumButtons & 0xFF)};
  }
  bool operator==(const JoystickCaps&) const = default;
};

// Values of interfaceKind.
inline constexpr int32_t kIntelligentInterface = -1;
inline constexpr int32_t kRoboUsb = 0;
inline constexpr int32_t kRoboSerial = 70;
inline constexpr int32_t kRoboRadio = 80;

struct ConnectionSettings {
  int32_t interfaceKind = kRoboUsb;  // negative: Intelligent Interface; else a ROBO Interface
  int32_t portNumber = -1;           // 1..4, or -1 where no port applies
  uint8_t hasExtension = 0;          // 1: extension module on an Intelligent Interface
  uint8_t parallelPort = 0;          // 1: Intelligent Interface on a parallel port
  int32_t motorCount = 4;            // 4, or 8 with the extension module

  bool isIntelligentInterface() const { return interfaceKind < 0; }
};

// How many outputs a run drives and how many inputs the lists name. motorCount comes from a file that
// may be damaged, so it is held to the size of the tables here.
inline int outputCount(int32_t motorCount) {
  return std::clamp(motorCount, 0, kMaxOutputs);
}
inline int inputCount(int32_t motorCount) {
  return 2 * outputCount(motorCount);
}

}  // namespace velomat
