// USB devices through libusb-1.0: on Linux with the exchanges made directly on the device's usbfs node
// (libusb_transport_posix.cpp), on Windows through WinUSB (libusb_transport_win32.cpp).
#pragma once

#include <algorithm>
#include <array>
#include <chrono>

#include "link/drivers/usb/usb_transport.h"

struct libusb_context;
struct libusb_device_handle;
struct libusb_transfer;

namespace velomat {

// A transfer's timeout in milliseconds; 0 would mean "wait forever" to usbfs and libusb alike.
inline unsigned int libusbTimeout(std::chrono::milliseconds timeout) {
  return static_cast<unsigned int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 1));
}

// libusb finds the device, claims the interface (detaching a kernel driver that holds it) and makes
// the control requests. The interrupt transfers of the control loop bypass libusb: its Linux backend
// allocates an URB array on every submitted transfer, the synchronous libusb_interrupt_transfer as
// well as a preallocated asynchronous one. This class opens the device's node /dev/bus/usb/BBB/DDD
// itself, hands the descriptor to libusb (libusb_wrap_sys_device) and makes each interrupt transfer
// with one USBDEVFS_BULK ioctl on it: the kernel builds the URB (for an interrupt endpoint an
// interrupt URB), waits at most the given timeout and cancels the transfer when it runs out. No
// memory of this process is allocated for an exchange; the data goes through buffers of this object.
// On Windows libusb opens the device through WinUSB, which must be the device's driver (NoUsbDriver
// when it is not), and each interrupt transfer reuses one asynchronous transfer made at the open.
class LibusbTransport final : public UsbTransport {
 public:
  // Sets up a libusb context. When that fails every open fails.
  LibusbTransport();
  ~LibusbTransport() override;

  bool open(const UsbDeviceId& id) override;
  void close() override;
  PortOpenError lastOpenError() const override { return openError_; }
  int interruptOut(const uint8_t* data, int size, std::chrono::milliseconds timeout) override;
  int interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds timeout) override;
  void clearHalts() override;
  int controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                std::chrono::milliseconds timeout) override;

 private:
  static constexpr int kMaxPacket = 64;  // the largest interrupt packet of a full-speed device

  int transfer(uint8_t endpoint, int size, std::chrono::milliseconds timeout);
  // Notes the claimed interface of `id` and its IN packet size; true.
  bool claimedAs(const UsbDeviceId& id);

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  int fd_ = -1;                          // Linux: the usbfs node
  libusb_transfer* transfer_ = nullptr;  // Windows: the transfer every exchange reuses
  int done_ = 0;                         // Windows: the transfer under way has completed
  PortOpenError openError_ = PortOpenError::None;
  bool claimed_ = false;
  UsbDeviceId id_;
  int inPacket_ = kMaxPacket;  // wMaxPacketSize of the IN endpoint
  std::array<uint8_t, kMaxPacket> buffer_{};
};

}  // namespace velomat
