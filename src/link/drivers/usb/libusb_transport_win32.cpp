#include <libusb.h>

#include <algorithm>
#include <cstring>

#include "link/drivers/usb/libusb_transport.h"

namespace velomat {

// Windows has no usbfs: libusb opens the device through the WinUSB driver bound to it and makes every
// transfer itself. A device without WinUSB (the interface's own driver, or none) cannot be opened.

namespace {

// libusb takes the timeout in milliseconds, and 0 would mean "wait forever".
unsigned int timeoutMs(std::chrono::milliseconds timeout) {
  return static_cast<unsigned int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 1));
}

}  // namespace

LibusbTransport::LibusbTransport() {
  if (libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
}

LibusbTransport::~LibusbTransport() {
  close();
  if (context_ != nullptr) libusb_exit(context_);
}

bool LibusbTransport::open(const UsbDeviceId& id) {
  close();
  if (context_ == nullptr) return false;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  for (ssize_t i = 0; i < count && handle_ == nullptr; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != id.vendor || descriptor.idProduct != id.product) continue;
    if (libusb_open(list[i], &handle_) != LIBUSB_SUCCESS) handle_ = nullptr;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  if (handle_ == nullptr) return false;
  if (libusb_claim_interface(handle_, id.interfaceNumber) != LIBUSB_SUCCESS) {
    close();
    return false;
  }
  claimed_ = true;
  id_ = id;
  const int packet = libusb_get_max_packet_size(libusb_get_device(handle_), id.inEndpoint);
  inPacket_ = packet > 0 && packet <= kMaxPacket ? packet : kMaxPacket;
  return true;
}

void LibusbTransport::close() {
  if (handle_ != nullptr) {
    if (claimed_) libusb_release_interface(handle_, id_.interfaceNumber);
    libusb_close(handle_);
    handle_ = nullptr;
  }
  claimed_ = false;
}

int LibusbTransport::transfer(uint8_t endpoint, int size, std::chrono::milliseconds timeout) {
  if (!claimed_ || size < 0 || size > kMaxPacket) return -1;
  int moved = 0;
  const int result =
      libusb_interrupt_transfer(handle_, endpoint, buffer_.data(), size, &moved, timeoutMs(timeout));
  return result == LIBUSB_SUCCESS ? moved : -1;
}

int LibusbTransport::interruptOut(const uint8_t* data, int size, std::chrono::milliseconds timeout) {
  if (size < 0 || size > kMaxPacket) return -1;
  std::memcpy(buffer_.data(), data, static_cast<size_t>(size));
  return transfer(id_.outEndpoint, size, timeout);
}

int LibusbTransport::interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds timeout) {
  if (capacity <= 0) return -1;
  // Asked for in whole packets of the endpoint, as on Linux: asking for less than a packet would turn
  // a longer one into an overflow error.
  const int packets = (capacity + inPacket_ - 1) / inPacket_;
  const int moved = transfer(id_.inEndpoint, std::min(packets * inPacket_, kMaxPacket), timeout);
  if (moved < 0) return -1;
  const int kept = std::min(moved, capacity);
  std::memcpy(data, buffer_.data(), static_cast<size_t>(kept));
  return kept;
}

void LibusbTransport::clearHalts() {
  if (!claimed_) return;
  libusb_clear_halt(handle_, id_.inEndpoint);
  libusb_clear_halt(handle_, id_.outEndpoint);
}

int LibusbTransport::controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                               std::chrono::milliseconds timeout) {
  if (handle_ == nullptr || capacity < 0 || capacity > 0xFFFF) return -1;
  const int moved =
      libusb_control_transfer(handle_, request.requestType, request.request, request.value, request.index,
                              data, static_cast<uint16_t>(capacity), timeoutMs(timeout));
  return moved < 0 ? -1 : moved;
}

}  // namespace velomat
