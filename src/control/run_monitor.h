// What a run shows while it goes on: the joystick sample it steered by, the words of its last exchange
// and how often each output was driven. The control worker publishes it after every exchange; the GUI
// thread reads it at its own pace, about 30 times a second, for the live view.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "records/connection.h"
#include "records/joystick_records.h"

namespace velomat {

// One reading of the monitor. The joystick and the words are all of the same exchange; the counts are
// read beside them and may be further on. An output's count is at most one ahead of `exchanges`.
struct RunSnapshot {
  bool running = false;    // a run is between its first and its all-off exchange
  uint64_t exchanges = 0;  // exchanges that reached the interface since the program started
  std::array<uint32_t, kMaxJoystickAxes> axes{};  // X, Y, Z, R, U, V as the run read them, 0..65535
  uint32_t buttons = 0;                           // bit k: button k+1
  uint32_t pov = kHatCentred;                     // the hat in hundredths of a degree, 65535 centred
  uint32_t outputWord = 0, speedWord = 0, inputWord = 0;
  // Per output: in how many of the exchanges so far it was driven (one direction bit set), and in which
  // direction the last of them drove it (1 left, 2 right; 0 before the first).
  std::array<uint64_t, kMaxOutputs> driven{};
  std::array<uint8_t, kMaxOutputs> drivenDirection{};
  bool lineDown = false;  // between runs: the last reading of the inputs found no interface
};

// A sequence lock with one writer, the control worker: it never waits and never allocates, and a
// reader that met a record half written reads again. Every field is an atomic of its own, so no
// reading is a data race. A worker that exchanges faster than a reader can read (a simulation without
// wire time) could keep it reading again for ever; a reader that missed a few times therefore asks the
// worker to leave the record as it is until it has read it. The counts go on meanwhile.
class RunMonitor {
 public:
  // After each exchange of a run that reached the interface. Control worker only; runs in the control
  // loop: a few plain stores.
  void publish(const JoySample& sample, uint32_t outputWord, uint32_t speedWord, uint32_t inputWord);
  // At the start of a run (true) and after its all-off exchange (false). Control worker only.
  void setRunning(bool running);
  // Between runs: the inputs an all-off exchange read, or that none came through (`answered` false:
  // the inputs stay as last read). Control worker only.
  void publishInputs(bool answered, uint32_t inputWord);

  // Any one thread at a time (the GUI thread's refresh).
  RunSnapshot read();

 private:
  static constexpr int kMissesBeforeHold = 8;

  void beginWrite();
  void endWrite();

  std::atomic<uint32_t> sequence_{0};  // odd while the worker writes
  uint32_t written_ = 0;               // the worker's own copy of the sequence
  std::atomic<bool> hold_{false};      // a reader asks the worker to leave the record alone
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> exchanges_{0};
  std::array<std::atomic<uint32_t>, kMaxJoystickAxes> axes_{};
  std::atomic<uint32_t> buttons_{0};
  std::atomic<uint32_t> pov_{kHatCentred};
  std::atomic<uint32_t> outputWord_{0}, speedWord_{0}, inputWord_{0};
  std::atomic<bool> lineDown_{false};
  std::array<std::atomic<uint64_t>, kMaxOutputs> driven_{};
  std::array<std::atomic<uint8_t>, kMaxOutputs> drivenDirection_{};
};

}  // namespace velomat
