// What the live view "Joystick und Interface" shows, worked out on the GUI thread at each of its
// refreshes: from what the worker published during a run (RunMonitor), and from the view's own
// reading of the joystick between runs. Nothing here touches the control loop.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "config/config_table.h"
#include "control/run_monitor.h"

namespace velomat {

// The on-share of an Intelligent Interface output is measured over this much of the latest
// exchanges: short enough to follow the stick, long enough for the software PWM's pattern.
inline constexpr std::chrono::milliseconds kShareWindow{150};
inline constexpr std::chrono::milliseconds kRateWindow{1000};  // exchanges per second over
// How long a control the user moved stays marked, and how far an axis must move to count: below that
// a resting stick's noise.
inline constexpr std::chrono::milliseconds kMovedMark{1000};
inline constexpr uint32_t kAxisMoveThreshold = 1500;

// The joystick as the view shows it: axes X, Y, Z, R, U, V (0..65535), buttons, hat.
struct StickReading {
  std::array<uint32_t, kMaxJoystickAxes> axes{kAxisCentre, kAxisCentre, kAxisCentre,
                                              kAxisCentre, kAxisCentre, kAxisCentre};
  uint32_t buttons = 0;
  uint32_t pov = kHatCentred;
};

StickReading stickReadingOf(const JoySample& sample);
StickReading stickReadingOf(const RunSnapshot& run);

class LiveReadings {
 public:
  using Clock = std::chrono::steady_clock;

  // One refresh at `now`: what the worker published, and the joystick as it stands.
  void update(const RunSnapshot& run, const StickReading& stick, Clock::time_point now);

  const RunSnapshot& run() const { return run_; }
  const StickReading& stick() const { return stick_; }

  // Exchanges per second over the last kRateWindow (0 before two refreshes).
  double exchangeRate() const;
  // The direction output o (0..7) was driven in within the last kShareWindow: kDirOff when no exchange
  // of that time drove it. A software PWM drives an output only in some of the exchanges; the direction
  // holds through the ones between.
  uint8_t direction(int output) const;
  // Share of the exchanges of the last kShareWindow in which output o was driven, 0..1.
  double share(int output) const;
  // The speed level 0..7 the last exchange sent for output o (ROBO Interface), 0 when it is off.
  // (The ROBO Interface drives an output in every exchange, so its direction is the last word's.)
  int level(int output) const;
  // Input E(k+1) was closed at the last exchange.
  bool inputClosed(int k) const { return k >= 0 && k < kMaxInputs && ((run_.inputWord >> k) & 1u) != 0; }

  // Whether the user moved the control within kMovedMark before the last refresh.
  bool axisMoved(int axis) const { return recent(axisMoved_.at(static_cast<size_t>(axis))); }
  bool buttonMoved(int button) const { return recent(buttonMoved_.at(static_cast<size_t>(button))); }
  bool hatMoved() const { return recent(hatMoved_); }

 private:
  struct Sample {
    Clock::time_point at{};
    uint64_t exchanges = 0;
    std::array<uint64_t, kMaxOutputs> driven{};
  };
  static constexpr size_t kHistory = 64;  // more than a second of refreshes at 30 a second

  bool recent(Clock::time_point moved) const {
    return moved != Clock::time_point{} && now_ - moved < kMovedMark;
  }
  // The oldest kept refresh no older than `window`, else the oldest one kept.
  const Sample& since(std::chrono::milliseconds window) const;

  RunSnapshot run_;
  StickReading stick_;
  std::array<uint32_t, kMaxJoystickAxes> markedAt_{};  // each axis where it was last marked moved
  bool seenStick_ = false;
  Clock::time_point now_{};
  std::array<Sample, kHistory> history_{};
  size_t newest_ = 0, kept_ = 0;
  std::array<Clock::time_point, kMaxJoystickAxes> axisMoved_{};
  std::array<Clock::time_point, kMaxJoystickButtons> buttonMoved_{};
  Clock::time_point hatMoved_{};
};

// For each input E1..E16, the motors whose end switches it is, as the configuration table has them for
// the outputs of a run with `motorCount` outputs ("M1 L", "M3 R", joined by ", "; empty for none).
std::array<std::string, kMaxInputs> endSwitchOwners(const ConfigTable& table, int32_t motorCount);

}  // namespace velomat
