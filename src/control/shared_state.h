// Everything the program's threads share, in one place that lives as long as the program.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/config_table.h"
#include "control/run_monitor.h"
#include "records/connection.h"
#include "records/joystick_records.h"

namespace velomat {

// The stop controls of the main window ("Aus-Button:", "Aus-Taster:") as they stand. The GUI thread
// keeps them current; the control worker reads them in every iteration.
struct StopControls {
  std::atomic<uint8_t> buttonOn{0};    // "Aus-Button:" ticked
  std::atomic<int32_t> buttonSel{-1};  // its list's selected index, -1 for none
  std::atomic<uint8_t> inputOn{0};     // "Aus-Taster:" ticked
  std::atomic<int32_t> inputSel{-1};
};

struct SharedState {
  ConfigTable table;
  ConnectionSettings connection;
  JoystickCaps joystickCaps;
  uint32_t joystickId = 0;
  JoySample joySample;  // the bindings refer to its fields
  StopControls stopControls;
  std::atomic<uint8_t> stopRequested{0};  // 1 ends the current run at its next test
  RunMonitor monitor;                     // what the runs show, for the live view
};

}  // namespace velomat
