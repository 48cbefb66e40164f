// What a far end that plays an interface answers, whatever carries its bytes: a pseudo-terminal
// (pty_peer.h) or, under Wine, a COM port (com_peer_win32.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velomat::testing {

using Bytes = std::vector<uint8_t>;

// One byte on a line at `baud`: start bit, eight data bits, stop bit.
constexpr std::chrono::nanoseconds byteTimeAt(int baud) {
  return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

struct PeerReply {
  Bytes bytes;                        // written back at once; none: the peer stays silent
  bool hangUp = false;                // then the peer closes its end, as an unplugged adapter would
  std::chrono::milliseconds late{0};  // the reply starts this much later than the wire allows
  size_t pauseAt = 0;                 // the line stops `pause` long before this byte of the reply
  std::chrono::milliseconds pause{0};
};

// The length of a command by its first byte; an unknown byte counts as a command of its own.
inline size_t commandSizeOf(uint8_t first) {
  return first == 0xC1 ? 2 : first == 0xC2 ? 3 : first == 0xA1 ? 14 : first == 0xF2 ? 17 : 1;
}

// The Intelligent Interface: it answers 0xC1 with the low byte of `inputs` and 0xC2 with both bytes.
inline PeerReply intelligentInterfaceReply(const Bytes& command, uint16_t inputs) {
  const uint8_t low = inputs & 0xFF, high = inputs >> 8;
  return command[0] == 0xC1 ? PeerReply{{low}} : command[0] == 0xC2 ? PeerReply{{low, high}} : PeerReply{};
}

// The ROBO Interface on a serial port: session open and close, and 21 bytes for each command with
// the inputs E1..E8 in byte 0 and E9..E16 (its first I/O extension) in byte 1.
inline PeerReply roboInterfaceReply(const Bytes& command, uint16_t inputs) {
  Bytes reply(21, 0xEE);
  reply[0] = inputs & 0xFF;
  reply[1] = inputs >> 8;
  return command[0] == 0xA1   ? PeerReply{{0x5E, 0x01, 0x02, 0x03, 0x04}}
         : command[0] == 0xA2 ? PeerReply{{0x5D}}
         : command[0] == 0xF2 ? PeerReply{reply}
                              : PeerReply{};
}

}  // namespace velomat::testing
