// The interfaces as far ends of a serial line, and the drivers that talk to them, for the serial tests
// of both platforms: the far end is a pseudo-terminal's on Linux and a COM port's under Wine.
#pragma once

#include <future>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fake_usb_transport.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "peer_replies.h"
#ifdef _WIN32
#include "com_peer_win32.h"
#else
#include "pty_peer.h"
#endif

namespace velomat {

using testing::Bytes;
using testing::PeerReply;
using testing::PtyPeer;

// C1 and C2: the interface without and with its extension module on a serial port.
constexpr IntIntPort C1 = IntIntPort::Serial, C2 = IntIntPort::SerialWithExtension;

// Answers as the interface does (`reply`), except command number `odd`, which gets `oddReply`.
inline PtyPeer::Answer answering(PeerReply (*reply)(const Bytes&, uint16_t), uint16_t inputs, int odd = -1,
                          PeerReply oddReply = {}) {
  return [=](const Bytes& command, int n) { return n == odd ? oddReply : reply(command, inputs); };
}
inline PtyPeer::Answer intIntAnswer(uint16_t inputs, int odd = -1, PeerReply oddReply = {}) {
  return answering(testing::intelligentInterfaceReply, inputs, odd, std::move(oddReply));
}
inline PtyPeer::Answer roboAnswer(uint16_t inputs, int odd = -1, PeerReply oddReply = {}) {
  return answering(testing::roboInterfaceReply, inputs, odd, std::move(oddReply));
}

// Every port but COM9 leads to the peer's terminal; the driver's questions are noted.
struct IntIntOnPeer {
  explicit IntIntOnPeer(PtyPeer::Answer answer) : peer(std::move(answer)) {}
  PtyPeer peer;
  std::vector<int32_t> asked;
  SerialIntelligentInterface driver{[this](int32_t port) {
    asked.push_back(port);
    return port == 9 ? std::string() : peer.path();
  }};
};

struct RoboOnPeer {
  explicit RoboOnPeer(PtyPeer::Answer answer) : peer(std::move(answer)) {}
  PtyPeer peer;
  testing::FakeUsbTransport usb;
  std::vector<int32_t> asked;
  HardwareRoboInterface driver{usb, [this](int32_t port) {
                                 asked.push_back(port);
                                 return port == 2 ? peer.path() : std::string();
                               }};
};

inline const Bytes kSessionOpen = {0xA1, 'f', 't', '-', 'R', 'o', 'b', 'o', '-', 'O', 'N', '-', 'V', '1'};

// A 0xF2 command: for the interface and then its first I/O extension, the direction byte and the
// three bytes of packed speed levels.
inline Bytes roboCommand(uint8_t direction, uint8_t b2, uint8_t b3, uint8_t b4, Bytes extension = {0, 0, 0, 0}) {
  Bytes command(17, 0);
  command[0] = 0xF2;
  command[1] = direction;
  command[2] = b2;
  command[3] = b3;
  command[4] = b4;
  std::copy(extension.begin(), extension.end(), command.begin() + 5);
  return command;
}

// An interface that answers every exchange with the inverse of its motor bytes as inputs, so that
// each input word names the exchange it belongs to. The exchange whose first motor byte is `lateFor`
// is answered late: `late` after the driver has given up waiting for it (`gaveUp`).
inline PtyPeer::Answer tellingAnswer(uint8_t lateFor, std::shared_future<void> gaveUp,
                              std::chrono::milliseconds late) {
  return [=](const Bytes& command, int) {
    PeerReply reply;
    switch (command[0]) {
      case 0xC1:
        reply.bytes = {static_cast<uint8_t>(~command[1])};
        break;
      case 0xC2:
        reply.bytes = {static_cast<uint8_t>(~command[1]), static_cast<uint8_t>(~command[2])};
        break;
      case 0xF2:
        reply = testing::roboInterfaceReply(command, static_cast<uint16_t>(~(command[1] | command[5] << 8)));
        break;
      default:  // the ROBO session: 0x5E ... and 0x5D
        return testing::roboInterfaceReply(command, 0);
    }
    if (command[1] == lateFor) {
      // Bounded only so that a test that fails early cannot hang.
      gaveUp.wait_for(std::chrono::seconds(10));
      reply.late = late;
    }
    return reply;
  };
}

// The drivers on a serial port: C1, C2, or the ROBO Interface.
enum class OnSerial { IntIntC1, IntIntC2, Robo };

// One exchange over either driver: the input word, or nothing for a lost connection.
class AnyDriver {
 public:
  AnyDriver(OnSerial kind, const std::string& path)
      : kind_(kind), intInt_([path](int32_t) { return path; }), robo_(usb_, [path](int32_t) { return path; }) {
    opened_ = kind == OnSerial::Robo ? robo_.open(RoboPort::Serial, 1)
                                     : intInt_.open(kind == OnSerial::IntIntC1 ? C1 : C2, 1);
  }
  bool opened() const { return opened_; }
  Inputs exchange(uint32_t outputWord) {
    if (kind_ != OnSerial::Robo) return intInt_.exchange(outputWord);
    if (!robo_.sendOutputs(outputWord, 0)) return std::nullopt;
    return robo_.readInputs();
  }

 private:
  OnSerial kind_;
  testing::FakeUsbTransport usb_;
  SerialIntelligentInterface intInt_;
  HardwareRoboInterface robo_;
  bool opened_ = false;
};

}  // namespace velomat
