#include "link/drivers/parallel/parallel_port_names.h"

#include <utility>

namespace velomat {

PortResolver parallelPortResolver(PortPlaces places) {
  return [places = std::move(places)](std::string_view portName) {
    return findParallelDevice(portName, places);
  };
}

PortResolver systemParallelPortResolver() {
  return parallelPortResolver(systemPortPlaces());
}

}  // namespace velomat
