#include "link/drivers/parallel/parallel_port_names.h"

#include <utility>

namespace velomat {

PortResolver parallelPortResolver(PortPlaces places) {
  return [places = std::move(places)](int32_t portNumber) { return findParallelDevice(portNumber, places); };
}

PortResolver systemParallelPortResolver() {
  return parallelPortResolver(systemPortPlaces());
}

}  // namespace velomat
