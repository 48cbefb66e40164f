// The one way to the interface hardware: open, exchange, close, through the driver of the connected
// interface family (the sign of interfaceKind chooses it on every call). It asks the user nothing: a
// lost connection comes back as no inputs, and the control worker decides what to ask.
#pragma once

#include <cstdint>
#include <string>

#include "link/drivers.h"
#include "records/connection.h"

namespace velomat {

class InterfaceLink {
 public:
  InterfaceLink(IntelligentInterfaceDriver& intInt, RoboInterfaceDriver& robo,
                const ConnectionSettings& connection)
      : intInt_(intInt), robo_(robo), connection_(connection) {}
  InterfaceLink(const InterfaceLink&) = delete;
  InterfaceLink& operator=(const InterfaceLink&) = delete;

  // Opens the interface the connection settings name. True when the driver reports success. Shows
  // nothing; the caller reports a failure. GUI thread, before the control worker runs.
  bool openInterface();
  // Why the last open failed, for the user, where a port or the system said why (another program
  // holds the port, the system cannot reach it); "" otherwise. GUI thread.
  std::string openFailureReason() const;
  // Whether 8 motors are set on a ROBO Interface that counts no I/O extension behind it: motors 5 to 8
  // would be driven into nothing. GUI thread, after a successful open.
  bool extensionMissing() const {
    return !connection_.isIntelligentInterface() && connection_.motorCount == 8 &&
           robo_.extensionModules() == 0;
  }

  // One try of the words on the wire: the inputs, or nothing when the connection is lost. The
  // Intelligent Interface takes the output word only; on the ROBO Interface the outputs go first and
  // the inputs are read second, and a send that fails is not followed by a read.
  // Runs in the control loop.
  Inputs exchangeIo(uint32_t outputWord, uint32_t speedWord);

  // Closes the driver of the current interface family.
  void closeInterface();

 private:
  IntelligentInterfaceDriver& intInt_;
  RoboInterfaceDriver& robo_;
  const ConnectionSettings& connection_;
};

}  // namespace velomat
