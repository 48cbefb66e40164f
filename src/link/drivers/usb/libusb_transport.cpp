// What libusb does alike on every system; libusb_transport_posix.cpp and _win32.cpp open the device and
// make its interrupt transfers.
#include "link/drivers/usb/libusb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>

namespace velomat {

LibusbTransport::LibusbTransport() {
  if (libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
}

LibusbTransport::~LibusbTransport() {
  close();
  if (context_ != nullptr) libusb_exit(context_);
}

bool LibusbTransport::claimedAs(const UsbDeviceId& id) {
  claimed_ = true;
  id_ = id;
  const int packet = libusb_get_max_packet_size(libusb_get_device(handle_), id.inEndpoint);
  inPacket_ = packet > 0 && packet <= kMaxPacket ? packet : kMaxPacket;
  return true;
}

int LibusbTransport::interruptOut(const uint8_t* data, int size, std::chrono::milliseconds timeout) {
  if (size < 0 || size > kMaxPacket) return -1;
  std::memcpy(buffer_.data(), data, static_cast<size_t>(size));
  return transfer(id_.outEndpoint, size, timeout);
}

int LibusbTransport::interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds timeout) {
  if (capacity <= 0) return -1;
  // Asked for in whole packets of the endpoint: a transfer ends with a short packet or when its
  // length is full, so asking for less than a packet would turn a longer one into an overflow error,
  // and asking for more than the reply when it fills its last packet would wait for one more.
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
                              data, static_cast<uint16_t>(capacity), libusbTimeout(timeout));
  return moved < 0 ? -1 : moved;
}

}  // namespace velomat
