#include "link/drivers/intelligent_interface_by_port.h"

namespace velomat {

bool IntelligentInterfaceByPort::open(IntIntPort port, int32_t portNumber) {
  IntelligentInterfaceDriver& next = port == IntIntPort::Parallel ? parallel_ : serial_;
  if (&next != current_) current_->close();
  current_ = &next;
  return next.open(port, portNumber);
}

}  // namespace velomat
