// How long the interface drivers wait for an interface before they call the connection lost.
#pragma once

#include <chrono>

namespace velomat {

// The longest exchange on the wire takes 10 ms (ROBO Interface; 5.2 ms on the Intelligent Interface
// with extension module). A USB serial adapter may hold received bytes back for its latency timer
// (16 ms by default on the common ones) and a radio link adds its own hop. 100 ms is several times
// all of that and still a third of the 300 ms after which an interface switches its motors off by
// itself: a reply that does not come within 100 ms is a lost connection.
inline constexpr std::chrono::milliseconds kReplyBound{100};

}  // namespace velomat
