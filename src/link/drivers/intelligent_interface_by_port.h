// The Intelligent Interface on whichever port it hangs: one driver for the program, behind which the
// serial driver serves the serial ports and the parallel driver the parallel ones.
#pragma once

#include "link/drivers.h"

namespace velomat {

class IntelligentInterfaceByPort final : public IntelligentInterfaceDriver {
 public:
  IntelligentInterfaceByPort(IntelligentInterfaceDriver& serial, IntelligentInterfaceDriver& parallel)
      : serial_(serial), parallel_(parallel) {}

  // Hands the open to the driver of `port`. When that is the other driver than the one asked last,
  // the last one is closed first, so that a port it holds is given back.
  bool open(IntIntPort port, int32_t portNumber) override;
  // The driver asked last by open (the serial one before any open). Runs in the control loop.
  Inputs exchange(uint32_t outputWord) override { return current_->exchange(outputWord); }
  void close() override { current_->close(); }
  PortOpenError openError() const override { return current_->openError(); }

 private:
  IntelligentInterfaceDriver& serial_;
  IntelligentInterfaceDriver& parallel_;
  IntelligentInterfaceDriver* current_ = &serial_;
};

}  // namespace velomat
