// USB devices through libusb-1.0: on Linux with the exchanges made directly on the device's usbfs node
// (libusb_transport_posix.cpp), on Windows through libusb's own transfers over WinUSB
// (libusb_transport_win32.cpp, where libusb allocates for each transfer).
#pragma once

#include <array>

#include "link/drivers/usb/usb_transport.h"

struct libusb_context;
struct libusb_device_handle;

namespace velomat {

// libusb finds the device, claims the interface (detaching a kernel driver that holds it) and makes
// the control requests. The interrupt transfers of the control loop bypass libusb: its Linux backend
// allocates an URB array on every submitted transfer, the synchronous libusb_interrupt_transfer as
// well as a preallocated asynchronous one. This class opens the device's node /dev/bus/usb/BBB/DDD
// itself, hands the descriptor to libusb (libusb_wrap_sys_device) and makes each interrupt transfer
// with one USBDEVFS_BULK ioctl on it: the kernel builds the URB (for an interrupt endpoint an
// interrupt URB), waits at most the given timeout and cancels the transfer when it runs out. No
// memory of this process is allocated for an exchange; the data goes through buffers of this object.
class LibusbTransport final : public UsbTransport {
 public:
  // Sets up a libusb context. When that fails every open fails.
  LibusbTransport();
  ~LibusbTransport() override;

  bool open(const UsbDeviceId& id) override;
  void close() override;
  int interruptOut(const uint8_t* data, int size, std::chrono::milliseconds timeout) override;
  int interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds timeout) override;
  void clearHalts() override;
  int controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                std::chrono::milliseconds timeout) override;

 private:
  static constexpr int kMaxPacket = 64;  // the largest interrupt packet of a full-speed device

  int transfer(uint8_t endpoint, int size, std::chrono::milliseconds timeout);

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  int fd_ = -1;  // the usbfs node (Linux)
  bool claimed_ = false;
  UsbDeviceId id_;
  int inPacket_ = kMaxPacket;  // wMaxPacketSize of the IN endpoint
  std::array<uint8_t, kMaxPacket> buffer_{};
};

}  // namespace velomat
