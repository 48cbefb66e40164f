#include "control/control_cycle.h"

#include <algorithm>

namespace velomat {

namespace {

int buttonFlagCount(const SharedState& state) {
  return std::min<int>(state.joystickCaps.buttonCount, kButtonFlags);
}

// A hat between 36001 and 65534 is no direction the hat reports; it counts as centred.
bool hatCentred(uint32_t pov) {
  return pov > kHatFullCircle;
}

}  // namespace

uint8_t hatDirection(uint8_t povMode, uint32_t pov) {
  if (hatCentred(pov)) return kDirOff;
  if (povMode == kPov1) {  // left and right
    if (pov >= 19000 && pov <= 35000) return kDirLeft;
    if (pov >= 1000 && pov <= 17000) return kDirRight;
    return kDirOff;
  }
  // forward and backward
  if (pov <= 8000 || (pov >= 28000 && pov <= 36000)) return kDirLeft;
  if (pov >= 10000 && pov <= 26000) return kDirRight;
  return kDirOff;
}

namespace {

// The hat's angular distance from the line on which the mode gives no direction, as a percentage.
double hatSpeed(uint8_t povMode, uint32_t pov) {
  if (hatCentred(pov)) return 0;
  const double p = pov;
  double t;
  if (pov <= 9000) {
    t = povMode == kPov1 ? p : 9000 - p;
  } else if (pov <= 18000) {
    t = povMode == kPov1 ? 18000 - p : p - 9000;
  } else if (pov <= 27000) {
    t = povMode == kPov1 ? p - 18000 : 27000 - p;
  } else {
    t = povMode == kPov1 ? 36000 - p : p - 27000;
  }
  return t / kHatSector * 100;
}

uint8_t axisDirection(uint32_t a) {
  if (a < kDeadBandLow) return kDirLeft;
  if (a > kDeadBandHigh) return kDirRight;
  return kDirOff;
}

double axisSpeed(uint32_t a, bool intelligentInterface) {
  const double v = a;
  if (a < kDeadBandLow) {
    return intelligentInterface ? (kDeadBandLow - v) / kIntIntAxisSpan * 100
                                : (kRoboAxisCentre - v) / kRoboAxisCentre * 100;
  }
  if (a > kDeadBandHigh) {
    return intelligentInterface ? (v - kDeadBandHigh) / kIntIntAxisSpan * 100
                                : (v - kRoboAxisCentre) / kRoboAxisCentre * 100;
  }
  return 0;
}

// The direction axis of a slot in plain-axis mode. While the GUI thread moves a binding between the
// hat and an axis, a cycle may see the new field with the old mode; the hat field is never read as an
// axis (65535 would drive the motor right at full speed), it reads as centred for that cycle.
uint32_t directionAxisValue(const SharedState& state, int slot) {
  const SampleField field = get(state.table.dirAxisRef, slot);
  if (field == SampleField::Pov) return kAxisCentre;
  return readSampleField(state.joySample, field);
}

}  // namespace

bool buttonDown(const RunState& run, const SharedState& state, int index) {
  return index >= 0 && index < buttonFlagCount(state) && run.buttonDown[static_cast<size_t>(index)] != 0;
}

bool inputOn(const RunState& run, const SharedState& state, int index) {
  return index >= 0 && index < inputCount(state.connection.motorCount) &&
         run.inputOn[static_cast<size_t>(index)] != 0;
}

bool sampleJoystick(RunState& run, SharedState& state, JoystickSource& joystick) {
  if (joystick.joyGetPosEx(state.joystickId, state.joySample) != kJoyNoError) return false;
  const int count = buttonFlagCount(state);
  const uint32_t buttons = state.joySample.dwButtons;
  for (int k = 0; k < count; ++k) run.buttonDown[static_cast<size_t>(k)] = (buttons >> k) & 1u;
  return true;
}

bool controlCycle(RunState& run, SharedState& state, JoystickSource& joystick) {
  if (!sampleJoystick(run, state, joystick)) return false;

  const ConfigTable& table = state.table;
  const bool intelligentInterface = state.connection.isIntelligentInterface();
  const uint32_t pov = state.joySample.dwPOV;
  const int outputs = outputCount(state.connection.motorCount);

  for (int o = 0; o < outputs; ++o) {
    const auto out = static_cast<size_t>(o);
    const int slot = slotOfOutput(o);
    const uint8_t povMode = get(table.povMode, slot);
    bool restartPwm = false;  // the throttle's cuts and a change of direction start the pattern afresh

    // Direction: the first source that is set decides; with none, the output keeps its direction.
    if (get(table.dirFromAxis, slot)) {
      run.direction[out] =
          povMode != kPovNone ? hatDirection(povMode, pov) : axisDirection(directionAxisValue(state, slot));
    } else if (get(table.dirFromButtons, slot)) {
      if (buttonDown(run, state, get(table.buttonLeftSel, slot))) {
        run.direction[out] = kDirLeft;  // the left button wins when both are pressed
      } else if (buttonDown(run, state, get(table.buttonRightSel, slot))) {
        run.direction[out] = kDirRight;
      } else {
        run.direction[out] = kDirOff;
      }
    } else if (get(table.dirFixed, slot)) {
      // A fixed direction that is no direction code (a list without selection) stands still.
      const uint8_t fixed = get(table.fixedDirSel, slot);
      run.direction[out] = fixed <= kDirRight ? fixed : kDirOff;
    }

    // Speed in percent: the first source that is set decides; with none, the output keeps its speed.
    if (get(table.speedFromAxis, slot)) {
      run.speed[out] = povMode != kPovNone ? hatSpeed(povMode, pov)
                                           : axisSpeed(directionAxisValue(state, slot), intelligentInterface);
    } else if (get(table.speedFromThrottle, slot)) {
      const SampleField field = get(table.throttleAxisRef, slot);
      // Without a throttle binding the throttle reads as closed.
      const double t = field == SampleField::None ? 0.0 : readSampleField(state.joySample, field);
      const double speed = t / kThrottleFullScale * 100;
      restartPwm = speed <= kThrottleLowCut || speed >= kThrottleHighCut;
      run.speed[out] = speed <= kThrottleLowCut ? 0 : speed >= kThrottleHighCut ? 100 : speed;
    } else if (get(table.speedFixed, slot)) {
      run.speed[out] = get(table.speedPercent, slot);
    }
    if (run.speed[out] >= kSpeedClampFrom)
      run.speed[out] = intelligentInterface ? kIntIntFullSpeed : kRoboFullSpeed;

    // End switches of the previous exchange: "L" stops only direction 1, "R" only direction 2.
    if (get(table.endSwitchesOn, slot)) {
      if (run.direction[out] == kDirRight && inputOn(run, state, get(table.endSwitchRightSel, slot))) {
        run.direction[out] = kDirOff;
      }
      if (run.direction[out] != kDirRight && inputOn(run, state, get(table.endSwitchLeftSel, slot))) {
        run.direction[out] = kDirOff;
      }
    }

    if (restartPwm || run.direction[out] != run.lastDirection[out]) run.pwm.restart(out);
    run.lastDirection[out] = run.direction[out];
  }
  return true;
}

}  // namespace velomat
