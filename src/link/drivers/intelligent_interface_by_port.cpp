#include "link/drivers/intelligent_interface_by_port.h"

namespace velomat {

uint32_t IntelligentInterfaceByPort::open(IntIntRecord& record, const char* portName) {
  IntelligentInterfaceDriver& next = record.interfaceType == kIntIntParallel ? parallel_ : serial_;
  if (&next != current_) current_->close(record);
  current_ = &next;
  return next.open(record, portName);
}

}  // namespace velomat
