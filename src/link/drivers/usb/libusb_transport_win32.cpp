// USB on Windows: libusb reaches the device through WinUSB. The interrupt transfers of the control loop
// reuse one asynchronous transfer made at the open, so that no exchange allocates a transfer of its own.
#include "link/drivers/usb/libusb_transport.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>

namespace velomat {

namespace {

void LIBUSB_CALL transferDone(libusb_transfer* transfer) {
  *static_cast<int*>(transfer->user_data) = 1;
}

// A device that Windows gave the manufacturer's driver, or none, cannot be opened through WinUSB.
PortOpenError openErrorFor(int result) {
  switch (result) {
    case LIBUSB_ERROR_NOT_SUPPORTED:
    case LIBUSB_ERROR_ACCESS:
      return PortOpenError::NoUsbDriver;
    case LIBUSB_ERROR_BUSY:
      return PortOpenError::InUse;
    default:
      return PortOpenError::None;
  }
}

}  // namespace

bool LibusbTransport::open(const UsbDeviceId& id) {
  close();
  openError_ = PortOpenError::None;
  if (context_ == nullptr) return false;

  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  int result = LIBUSB_ERROR_NOT_FOUND;
  for (ssize_t i = 0; i < count && handle_ == nullptr; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != id.vendor || descriptor.idProduct != id.product) continue;
    result = libusb_open(list[i], &handle_);
    if (result != LIBUSB_SUCCESS) handle_ = nullptr;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  if (handle_ == nullptr) {
    openError_ = openErrorFor(result);
    return false;
  }
  result = libusb_claim_interface(handle_, id.interfaceNumber);
  transfer_ = result == LIBUSB_SUCCESS ? libusb_alloc_transfer(0) : nullptr;
  if (transfer_ == nullptr) {
    openError_ = openErrorFor(result);
    if (result == LIBUSB_SUCCESS) libusb_release_interface(handle_, id.interfaceNumber);
    close();
    return false;
  }
  return claimedAs(id);
}

void LibusbTransport::close() {
  if (handle_ != nullptr) {
    if (claimed_) libusb_release_interface(handle_, id_.interfaceNumber);
    libusb_close(handle_);
    handle_ = nullptr;
  }
  claimed_ = false;
  if (transfer_ != nullptr) {
    libusb_free_transfer(transfer_);  // never under way here: transfer() waits for its end
    transfer_ = nullptr;
  }
}

int LibusbTransport::transfer(uint8_t endpoint, int size, std::chrono::milliseconds timeout) {
  if (!claimed_ || size < 0 || size > kMaxPacket) return -1;
  done_ = 0;
  libusb_fill_interrupt_transfer(transfer_, handle_, endpoint, buffer_.data(), size, transferDone, &done_,
                                 libusbTimeout(timeout));
  if (libusb_submit_transfer(transfer_) != LIBUSB_SUCCESS) return -1;
  // libusb ends the transfer itself at its timeout; the loop only waits for that end, which must come
  // before the transfer may be used again.
  bool cancelled = false;
  while (done_ == 0) {
    if (libusb_handle_events_completed(context_, &done_) < 0 && !cancelled) {
      libusb_cancel_transfer(transfer_);
      cancelled = true;
    }
  }
  return transfer_->status == LIBUSB_TRANSFER_COMPLETED ? transfer_->actual_length : -1;
}

}  // namespace velomat
