// The driver seam: one abstract class per interface driver library, one member per operation of the
// library, named by its role. All arguments and results are 32-bit values; the failure values are
// those the libraries use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velomat {

inline constexpr uint32_t kIntIntFailure = 0x1FFFF;    // Intelligent Interface: open or exchange failed
inline constexpr uint32_t kRoboFailure = 0xE0000001;   // ROBO Interface: open or send failed
inline constexpr uint32_t kRoboNoHandle = 0xFFFFFFFF;  // roboHandle before any open

// True for both values a driver reports a lost connection with.
inline bool isLinkFailure(uint32_t result) {
  return result == kIntIntFailure || result == kRoboFailure;
}

// interfaceType values the program writes before each Intelligent Interface open.
inline constexpr int32_t kIntIntSerial = 1;
inline constexpr int32_t kIntIntSerialWithExtension = 2;
inline constexpr int32_t kIntIntParallel = 10;

// The record passed to every Intelligent Interface call. The program writes only interfaceType; the
// rest belongs to the driver.
struct IntIntRecord {
  uint8_t driverData[8] = {};
  int32_t interfaceType = 0;
  uint8_t driverData2[12] = {};
};
static_assert(sizeof(IntIntRecord) == 24);
static_assert(offsetof(IntIntRecord, interfaceType) == 8);

inline constexpr size_t kPortNameSize = 8;  // "COM%1d", "LPT%1d" or "LPT", terminator included

// The Intelligent Interface library. A device has one owner: no copies, no moves.
class IntelligentInterfaceDriver {
 public:
  IntelligentInterfaceDriver() = default;
  IntelligentInterfaceDriver(const IntelligentInterfaceDriver&) = delete;
  IntelligentInterfaceDriver& operator=(const IntelligentInterfaceDriver&) = delete;
  virtual ~IntelligentInterfaceDriver() = default;

  // Opens the interface on `portName` ("COM1" .. "COM4", "LPT1" .. "LPT3", "LPT") as
  // record.interfaceType says. kIntIntFailure on failure, any other value on success. GUI thread.
  virtual uint32_t open(IntIntRecord& record, const char* portName) = 0;

  // Sets the outputs (two bits per motor: bit 2m left, 2m+1 right) and returns the input word (bit k
  // is input E(k+1)), or kIntIntFailure / kRoboFailure when the connection is lost.
  // Runs in the control loop: blocks for one exchange on the wire at most, must not allocate.
  virtual uint32_t exchange(IntIntRecord& record, uint32_t outputWord) = 0;

  // Closes the interface. The result is not looked at.
  virtual void close(IntIntRecord& record) = 0;
};

// The ROBO Interface library.
class RoboInterfaceDriver {
 public:
  RoboInterfaceDriver() = default;
  RoboInterfaceDriver(const RoboInterfaceDriver&) = delete;
  RoboInterfaceDriver& operator=(const RoboInterfaceDriver&) = delete;
  virtual ~RoboInterfaceDriver() = default;

  // Opens a ROBO Interface over USB (connectionCode 0) or radio (80). Returns the handle, or
  // kRoboFailure. `reserved` is always 0. GUI thread.
  virtual uint32_t openUsbOrRadio(uint32_t connectionCode, uint32_t reserved) = 0;

  // Opens a ROBO Interface on serial port `portNumber` (1..4); `connectionCode` is 70. Returns the
  // handle, or kRoboFailure.
  virtual uint32_t openSerial(uint32_t connectionCode, uint32_t portNumber, uint32_t reserved) = 0;

  // Sends the direction bits and the speed levels (four bits per output). kRoboFailure when the
  // connection is lost; any other result means nothing.
  // Runs in the control loop: blocks for one exchange on the wire at most, must not allocate.
  virtual uint32_t sendOutputs(uint32_t handle, uint32_t outputWord, uint32_t speedWord,
                               uint32_t extraWord) = 0;

  // Returns the input word (bit k is input E(k+1)), or kIntIntFailure / kRoboFailure when the
  // connection is lost. Runs in the control loop, right after sendOutputs.
  virtual uint32_t readInputs(uint32_t handle) = 0;

  // Closes the interface. The result is not looked at.
  virtual void close(uint32_t handle) = 0;

  // How many I/O extensions the interface counted in its last reply, or -1 when none has said. GUI
  // thread, after an open; never in the control loop.
  virtual int extensionModules() const { return -1; }
};

}  // namespace velomat
