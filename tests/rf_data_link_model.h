// A model of the RF Data Link (USB vendor 146a, product 0003) and the ROBO Interfaces it reaches by
// radio, behind the transport seam. Written from the public facts on the link, not from the driver:
//  - interface 0, interrupt endpoints OUT 0x02 and IN 0x82;
//  - vendor request 0xC0 / 0x52 with wValue (n << 8) | 5, wIndex 0: the link answers 35 bytes, FA 00
//    when an interface has call sign n, FA FF when none has;
//  - 0xC0 / 0xFB with wValue (n << 8) | 2, wIndex 1 opens the session with call sign n: 2 bytes;
//  - 0xC0 / 0x21 with wValue n << 8, wIndex 0 closes it: 1 byte, 0xD7;
//  - in a session, a 32-byte command 0x8B is answered with 42 bytes; the command holds the direction
//    byte and the packed speed levels of the interface (bytes 1..4) and of its I/O extensions (5..8,
//    9..12, 13..16); the reply the inputs of the interface (byte 0) and of its I/O extensions (1..3)
//    and analogue values after them. The link does not answer any other command.
// The reply stays in the link until the host asks for it, also across a close of the device: a reply
// that came late is still there at the next read.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "link/drivers/usb/usb_transport.h"

namespace velomat::testing {

class RfDataLinkModel final : public UsbTransport {
 public:
  static constexpr UsbDeviceId kDevice{0x146A, 0x0003, 0, 0x02, 0x82};

  // One ROBO Interface with its first I/O extension, as the link's radio reaches it.
  struct Station {
    bool present = false;
    std::array<uint8_t, 2> directions{};  // the interface's and the extension's direction byte
    std::array<uint8_t, 16> levels{};     // M1A, M1B, ... M8B
    std::array<uint8_t, 2> inputs{};      // E1..E8, E9..E16
    int commands = 0;                     // 0x8B commands it has taken
  };
  std::array<Station, 9> stations{};  // by call sign 1..8; entry 0 is never used

  bool plugged = true;
  bool answersRequests = true;  // false: every vendor request times out
  int holdReplies = 0;          // the next this many replies come too late for the read that waits for them

  // What the driver did.
  struct Control {
    UsbControlRequest request;
    int length = 0;  // wLength
    bool operator==(const Control&) const = default;
  };
  std::vector<Control> controls;  // every request, answered or not
  std::vector<UsbDeviceId> opens;
  bool isOpen = false;
  int session = 0;        // the call sign of the open session; 0: none
  int strayCommands = 0;  // packets the link did not take as a command
  std::array<uint8_t, 64> sent{};
  int sentSize = 0;

  explicit RfDataLinkModel(int callSign) { stations[static_cast<size_t>(callSign)].present = true; }

  Station& at(int callSign) { return stations[static_cast<size_t>(callSign)]; }

  bool open(const UsbDeviceId& id) override {
    close();
    opens.push_back(id);
    isOpen = plugged && id == kDevice;
    return isOpen;
  }
  void close() override { isOpen = false; }
  void clearHalts() override {}  // the link's endpoints never stall here

  int controlIn(const UsbControlRequest& request, uint8_t* data, int capacity,
                std::chrono::milliseconds) override {
    controls.push_back({request, capacity});
    if (!isOpen || !plugged || !answersRequests || request.requestType != 0xC0) return -1;
    const int n = request.value >> 8;
    const bool known = n >= 1 && n <= 8;
    uint8_t answer[35] = {};
    int size = -1;
    if (request.request == 0x52 && (request.value & 0xFF) == 5 && request.index == 0 && known) {
      answer[0] = 0xFA;
      answer[1] = at(n).present ? 0x00 : 0xFF;
      size = 35;
    } else if (request.request == 0xFB && (request.value & 0xFF) == 2 && request.index == 1 && known &&
               at(n).present) {
      session = n;
      answer[0] = 0x01;
      answer[1] = 0x00;
      size = 2;
    } else if (request.request == 0x21 && (request.value & 0xFF) == 0 && request.index == 0 && known) {
      if (session == n) session = 0;
      answer[0] = 0xD7;
      size = 1;
    }
    if (size < 0) return -1;
    size = std::min(size, capacity);
    std::memcpy(data, answer, static_cast<size_t>(size));
    return size;
  }

  int interruptOut(const uint8_t* data, int size, std::chrono::milliseconds) override {
    if (!isOpen || !plugged || size > 64) return -1;
    std::memcpy(sent.data(), data, static_cast<size_t>(size));
    sentSize = size;
    if (session == 0 || size != 32 || data[0] != 0x8B) {
      ++strayCommands;  // taken off the bus, never answered
      return size;
    }
    Station& station = at(session);
    station.directions = {data[1], data[5]};
    for (int module = 0; module < 2; ++module) {
      const uint8_t* packed = data + 2 + 4 * module;
      const uint32_t bits = packed[0] | packed[1] << 8 | packed[2] << 16;
      for (int half = 0; half < 8; ++half) {
        station.levels[static_cast<size_t>(8 * module + half)] = static_cast<uint8_t>((bits >> 3 * half) & 7);
      }
    }
    ++station.commands;
    // The reply: inputs of the interface and its extension, no second or third extension, then
    // analogue values that are no inputs.
    Reply& reply = replies_[static_cast<size_t>(owed_++ % replies_.size())];
    reply.fill(0x5A);
    reply[0] = station.inputs[0];
    reply[1] = station.inputs[1];
    reply[2] = reply[3] = 0;
    return size;
  }

  int interruptIn(uint8_t* data, int capacity, std::chrono::milliseconds) override {
    if (!isOpen || !plugged || read_ == owed_) return -1;  // nothing to send: the host's wait times out
    if (holdReplies > 0) {
      --holdReplies;  // it comes after the host has given up waiting
      return -1;
    }
    const Reply& reply = replies_[static_cast<size_t>(read_++ % replies_.size())];
    const int n = std::min(static_cast<int>(reply.size()), capacity);
    std::memcpy(data, reply.data(), static_cast<size_t>(n));
    return n;
  }

 private:
  using Reply = std::array<uint8_t, 42>;
  std::array<Reply, 8> replies_{};  // held until read, oldest first
  long owed_ = 0, read_ = 0;
};

}  // namespace velomat::testing
