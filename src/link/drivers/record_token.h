// Which record an Intelligent Interface driver opened: a number written into the record's driver data
// at the open, so that the driver serves that record alone and refuses it once it is closed.
#pragma once

#include <cstdint>
#include <cstring>

#include "link/drivers.h"

namespace velomat {

class RecordToken {
 public:
  bool owns(const IntIntRecord& record) const {
    return token_ != 0 && std::memcmp(record.driverData, &token_, sizeof token_) == 0;
  }
  bool issued() const { return token_ != 0; }
  // A successful open: a number no record of this driver has had before (0 is never one).
  void issue(IntIntRecord& record) {
    if (++last_ == 0) ++last_;
    token_ = last_;
    std::memcpy(record.driverData, &token_, sizeof token_);
  }
  // An open that begins: the record opened before is served no more.
  void withdraw() { token_ = 0; }
  // The close of `record`, which the driver owns.
  void withdraw(IntIntRecord& record) {
    token_ = 0;
    std::memset(record.driverData, 0, sizeof token_);
  }

 private:
  uint32_t token_ = 0;  // written into the open record; 0 while nothing is open
  uint32_t last_ = 0;
};

}  // namespace velomat
