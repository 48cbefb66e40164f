// The one way to the interface hardware: open, exchange, close, through the driver of the connected
// interface family (the sign of interfaceKind chooses it on every call).
#pragma once

#include <atomic>
#include <cstdint>

#include "link/drivers.h"
#include "link/message_box.h"
#include "records/connection.h"

namespace velomat {

inline constexpr const char* kLostConnectionText = "Verbindung zum Interface verloren";

class InterfaceLink {
 public:
  InterfaceLink(IntelligentInterfaceDriver& intInt, RoboInterfaceDriver& robo,
                const ConnectionSettings& connection, std::atomic<uint8_t>& stopRequested,
                MessageBoxes& boxes)
      : intInt_(intInt), robo_(robo), connection_(connection), stopRequested_(stopRequested), boxes_(boxes) {}
  InterfaceLink(const InterfaceLink&) = delete;
  InterfaceLink& operator=(const InterfaceLink&) = delete;

  // Opens the interface the connection settings name. True when the driver reports success. Shows
  // nothing; the caller reports a failure. GUI thread, before the control worker runs.
  bool openInterface();

  // One exchange: sends the words and returns the input word. A lost connection asks Retry/Cancel:
  // Retry sends the same three words again, Cancel sets stopRequested and ends the process with exit
  // code 0. Never returns a failure value. Runs in the control loop.
  uint32_t exchangeIo(uint32_t outputWord, uint32_t speedWord, uint32_t extraWord);

  // Closes the driver of the current interface family.
  void closeInterface();

  const IntIntRecord& intIntRecord() const { return intIntRecord_; }
  uint32_t roboHandle() const { return roboHandle_; }
  const char* portName() const { return portName_; }

 private:
  IntelligentInterfaceDriver& intInt_;
  RoboInterfaceDriver& robo_;
  const ConnectionSettings& connection_;
  std::atomic<uint8_t>& stopRequested_;
  MessageBoxes& boxes_;

  IntIntRecord intIntRecord_;
  uint32_t roboHandle_ = kRoboNoHandle;
  char portName_[kPortNameSize] = {};
};

}  // namespace velomat
