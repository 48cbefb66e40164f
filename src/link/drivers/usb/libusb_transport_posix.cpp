#include "link/drivers/usb/libusb_transport.h"

#include <fcntl.h>
#include <libusb.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velomat {

bool LibusbTransport::open(const UsbDeviceId& id) {
  close();
  if (context_ == nullptr) return false;

  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  bool found = false;
  uint8_t bus = 0, address = 0;
  for (ssize_t i = 0; i < count && !found; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != id.vendor || descriptor.idProduct != id.product) continue;
    bus = libusb_get_bus_number(list[i]);
    address = libusb_get_device_address(list[i]);
    found = true;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  if (!found) return false;

  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, address);
  fd_ = ::open(node, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) return false;  // gone since the list was made, or no permission on the node
  if (libusb_wrap_sys_device(context_, static_cast<intptr_t>(fd_), &handle_) != LIBUSB_SUCCESS) {
    handle_ = nullptr;
    close();
    return false;
  }
  libusb_set_auto_detach_kernel_driver(handle_, 1);  // not every system can; the claim then tells
  if (libusb_claim_interface(handle_, id.interfaceNumber) != LIBUSB_SUCCESS) {
    close();
    return false;
  }
  return claimedAs(id);
}

void LibusbTransport::close() {
  if (handle_ != nullptr) {
    if (claimed_) libusb_release_interface(handle_, id_.interfaceNumber);
    libusb_close(handle_);  // leaves a wrapped descriptor open
    handle_ = nullptr;
  }
  claimed_ = false;
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int LibusbTransport::transfer(uint8_t endpoint, int size, std::chrono::milliseconds timeout) {
  if (!claimed_ || size < 0 || size > kMaxPacket) return -1;
  usbdevfs_bulktransfer request{};
  request.ep = endpoint;
  request.len = static_cast<unsigned int>(size);
  request.timeout = libusbTimeout(timeout);
  request.data = buffer_.data();
  // No retry on EINTR: the kernel waits uninterruptibly, and a repeated OUT would send twice.
  const int moved = ioctl(fd_, USBDEVFS_BULK, &request);
  return moved < 0 ? -1 : moved;
}

}  // namespace velomat
