// A USB bus with at most one device, behind the transport seam: the tests plug it in and out, make
// transfers fail and read what the driver sent. The device answers each command once: the reply is
// what `reply` holds when the command comes, and it waits in the device until the host reads it.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "link/drivers/usb/usb_transport.h"

namespace velomat::testing {

class FakeUsbTransport final : public UsbTransport {
 public:
  // The device.
  uint16_t vendor = 0x146A, product = 0x0001;
  bool plugged = true;
  int plugInAtOpen = 0;  // when > 0: the device is plugged in at this open attempt (1 = the first)
  bool claimFails = false;
  bool answers = true;    // the device answers commands
  int lateReplies = 0;    // the next this many replies come after the host has given up waiting
  int failOuts = 0;       // this many OUT transfers fail
  bool inHalted = false;  // the IN endpoint stalled: it answers nothing until the host clears it
  int replyLength = 21;
  std::array<uint8_t, 64> reply{};
  int controlAnswer = 4;  // bytes of a control answer; -1: the request is refused

  // What the driver did.
  std::vector<UsbDeviceId> opens;  // every open attempt
  std::vector<UsbControlRequest> controls;
  bool isOpen = false;
  int closes = 0;
  std::array<uint8_t, 64> sent{};  // the last OUT packet
  int sentSize = 0, outs = 0;
  int haltsCleared = 0;

  bool open(const UsbDeviceId& id) override {
    close();
    opens.push_back(id);
    if (plugInAtOpen > 0 && static_cast<int>(opens.size()) == plugInAtOpen) plugged = true;
    isOpen = plugged && id.vendor == vendor && id.product == product && !claimFails;
    return isOpen;
  }
  void close() override {
    if (isOpen) ++closes;
    isOpen = false;
  }
  int interruptOut(const uint8_t* data, int size, std::chrono::milliseconds) override {
    if (!isOpen || !plugged || size > 64) return -1;
    if (failOuts > 0) {
      --failOuts;
      return -1;
    }
    std::memcpy(sent.data(), data, static_cast<size_t>(size));
    sentSize = size;
    ++outs;
    if (answers) held_[static_cast<size_t>(owed_++ % held_.size())] = {reply, replyLength};
    return size;
  }
  int interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds) override {
    if (!isOpen || !plugged || inHalted || read_ == owed_) return -1;  // a stall, or nothing to send
    if (lateReplies > 0) {
      --lateReplies;
      return -1;
    }
    const Held& held = held_[static_cast<size_t>(read_++ % held_.size())];
    const int n = std::min(held.length, capacity);
    std::memcpy(data, held.bytes.data(), static_cast<size_t>(n));
    return n;
  }
  void clearHalts() override {
    if (!isOpen) return;
    inHalted = false;
    ++haltsCleared;
  }
  int controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                std::chrono::milliseconds) override {
    controls.push_back(request);
    if (!isOpen || !plugged || controlAnswer < 0) return -1;
    const int n = std::min(controlAnswer, capacity);
    std::memset(data, 0, static_cast<size_t>(n));
    return n;
  }

 private:
  struct Held {
    std::array<uint8_t, 64> bytes{};
    int length = 0;
  };
  std::array<Held, 8> held_{};  // replies not yet read, oldest first
  long owed_ = 0, read_ = 0;
};

}  // namespace velomat::testing
