// The USB operations the ROBO Interface driver needs, behind a seam of their own: LibusbTransport
// reaches real devices, the tests put a fake in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/drivers/port_open_error.h"

namespace velomat {

// Which device to open and which of its endpoints carry the exchanges.
struct UsbDeviceId {
  uint16_t vendor = 0;
  uint16_t product = 0;
  uint8_t interfaceNumber = 0;
  uint8_t outEndpoint = 0;  // interrupt OUT
  uint8_t inEndpoint = 0;   // interrupt IN
  bool operator==(const UsbDeviceId&) const = default;
};

// A control request with a data stage from the device to the host.
struct UsbControlRequest {
  uint8_t requestType = 0;  // bmRequestType
  uint8_t request = 0;      // bRequest
  uint16_t value = 0;       // wValue
  uint16_t index = 0;       // wIndex
  bool operator==(const UsbControlRequest&) const = default;
};

// One device at a time. Not thread-safe: the driver calls it from one thread at a time.
class UsbTransport {
 public:
  UsbTransport() = default;
  UsbTransport(const UsbTransport&) = delete;
  UsbTransport& operator=(const UsbTransport&) = delete;
  virtual ~UsbTransport() = default;

  // Finds the first device with id.vendor and id.product, opens it and claims id.interfaceNumber.
  // False when there is none or it cannot be claimed. Closes what was open first. May allocate.
  virtual bool open(const UsbDeviceId& id) = 0;
  // Releases the interface and closes the device. Harmless when nothing is open.
  virtual void close() = 0;
  // Why the last open failed where the system said why (NoUsbDriver: the device is there, but no
  // driver lets this program reach it); None otherwise.
  virtual PortOpenError lastOpenError() const { return PortOpenError::None; }

  // Interrupt transfers on the endpoints of the open device, each given up after `timeout`. They
  // return the number of bytes sent or received (at most `capacity`; a longer packet is cut), or -1
  // when the transfer failed, timed out or the device is gone. They must not allocate: the control
  // loop calls them.
  virtual int interruptOut(const uint8_t* data, int size, std::chrono::milliseconds timeout) = 0;
  virtual int interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds timeout) = 0;

  // Clears a halt on both interrupt endpoints of the open device: an endpoint that stalled answers
  // nothing until the host clears it, also after the device is closed and opened again. Harmless on
  // an endpoint that is not halted. May allocate.
  virtual void clearHalts() = 0;

  // A vendor request to the device; the bytes of its answer, or -1. May allocate.
  virtual int controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                        std::chrono::milliseconds timeout) = 0;
};

}  // namespace velomat
