// The Intelligent Interface on whichever port the record names: one driver for the program, behind
// which the serial driver serves interfaceType 1 and 2 and the parallel driver serves type 10.
#pragma once

#include "link/drivers.h"

namespace velomat {

class IntelligentInterfaceByPort final : public IntelligentInterfaceDriver {
 public:
  IntelligentInterfaceByPort(IntelligentInterfaceDriver& serial, IntelligentInterfaceDriver& parallel)
      : serial_(serial), parallel_(parallel) {}

  // Hands the open to the driver of record.interfaceType. When that is the other driver than the one
  // asked last, the last one is closed first, so that a port it holds is given back.
  uint32_t open(IntIntRecord& record, const char* portName) override;
  // The driver asked last by open (the serial one before any open). Runs in the control loop.
  uint32_t exchange(IntIntRecord& record, uint32_t outputWord) override {
    return current_->exchange(record, outputWord);
  }
  void close(IntIntRecord& record) override { current_->close(record); }

 private:
  IntelligentInterfaceDriver& serial_;
  IntelligentInterfaceDriver& parallel_;
  IntelligentInterfaceDriver* current_ = &serial_;
};

}  // namespace velomat
