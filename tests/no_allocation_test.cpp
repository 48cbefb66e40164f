// A run allocates nothing: every malloc of the process is counted while the cycles and the drivers'
// exchanges run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "control/control_cycle.h"
#include "control/control_worker.h"
#include "control/live_readings.h"
#include "fake_joystick.h"
#include "fake_usb_transport.h"
#include "link/drivers/intelligent_interface_by_port.h"
#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "parallel_interface_model.h"
#include "rf_data_link_model.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* pointer, size_t size);

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void count() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// operator new goes through malloc, so these three see every allocation of C and C++ code alike.
extern "C" void* malloc(size_t size) noexcept {
  count();
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) noexcept {
  count();
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* pointer, size_t size) noexcept {
  count();
  return __libc_realloc(pointer, size);
}

namespace velomat {
namespace {

constexpr int kPasses = 100000;

template <typename Body>
long allocationsDuring(Body body) {
  allocations = 0;
  counting = true;
  body();
  counting = false;
  return allocations.load();
}

void configureAllSources(SharedState& state, int32_t motorCount) {
  state.joystickCaps = {kJoyCapsHasZ | kJoyCapsHasPov, 3, 12};
  state.connection.motorCount = motorCount;
  state.connection.interfaceKind = kIntelligentInterface;
  applyTableDefaults(state.table, state.joystickCaps, motorCount);
  set(state.table.dirFixed, 4, 0);
  set(state.table.dirFromButtons, 4, 1);
  set(state.table.speedFixed, 4, 0);
  set(state.table.speedFromThrottle, 4, 1);
  bindDirectionAxis(state.table, 1, {SampleField::Pov, kPov2});
  set(state.table.dirFromAxis, 1, 1);
  set(state.table.endSwitchesOn, 0, 1);
}

// Makes `passes` exchange steps with a driver that is open: none may allocate, and none may fail. A
// step gives the number of its calls that did not get what they should.
template <typename Step>
void expectExchangesAllocateNothingAndSucceed(uint32_t passes, Step step) {
  int failures = 0;
  EXPECT_EQ(allocationsDuring([&] {
              for (uint32_t i = 0; i < passes; ++i) failures += step(i);
            }),
            0);
  EXPECT_EQ(failures, 0);
}

TEST(NoAllocation, the_counter_sees_allocations) {
  EXPECT_GE(allocationsDuring([] { ::operator delete(::operator new(16)); }), 1);
  EXPECT_GE(allocationsDuring([] { std::free(std::malloc(16)); }), 1);
}

TEST(NoAllocation, a_long_run_of_cycles_with_a_frozen_sample_allocates_nothing) {
  for (int32_t motorCount : {4, 8}) {
    SharedState state;
    configureAllSources(state, motorCount);
    testing::FakeJoystick joystick;
    joystick.next.dwXpos = 1000;
    joystick.next.dwButtons = 0b101;
    joystick.next.dwPOV = 4500;
    RunState run;
    EXPECT_EQ(allocationsDuring([&] {
                for (int i = 0; i < kPasses; ++i) {
                  run.inputOn[0] = static_cast<uint8_t>(i & 1);
                  controlCycle(run, state, joystick);
                }
              }),
              0)
        << motorCount << " motors";
  }
}

// A virtual stick that moves as a hand moves it: the axes sweep, a button and the hat change. Button 12
// is never pressed (a test may watch it as a stop button).
class MovingStick : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdl.ok());
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    stick = std::make_unique<VirtualJoystick>(3, 12, 1, "Testknueppel");
    ASSERT_TRUE(stick->ok());
    configureAllSources(state, 8);
  }
  void move(int i) {
    static constexpr Uint8 kHat[] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_CENTERED, SDL_HAT_LEFTDOWN};
    stick->axis(0, static_cast<Sint16>(i % 65536 - 32768));
    stick->axis(1, static_cast<Sint16>(32767 - i % 65536));
    stick->axis(2, static_cast<Sint16>((i * 7) % 65536 - 32768));
    stick->button(i % 11, (i & 1) != 0);
    stick->hat(kHat[i % 4]);
  }

  SdlJoystick sdl;  // before the stick: SDL runs while it attaches and detaches
  std::unique_ptr<VirtualJoystick> stick;
  SharedState state;
};

TEST_F(MovingStick, a_long_run_of_cycles_reading_a_moving_sdl_joystick_allocates_nothing) {
  RunState run;
  controlCycle(run, state, sdl);  // the first read opens the device
  uint32_t lastX = 0;
  EXPECT_EQ(allocationsDuring([&] {
              for (int i = 0; i < kPasses; ++i) {
                move(i);
                controlCycle(run, state, sdl);
                lastX = state.joySample.dwXpos;
              }
            }),
            0);
  EXPECT_EQ(lastX, static_cast<uint32_t>((kPasses - 1) % 65536));  // the reads saw the stick move
}

class NeverAsked final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view, std::string_view, BoxButtons) override { return BoxAnswer::Retry; }
};

class CountingReport final : public RunReport {
 public:
  void runFinished(uint64_t, RunEnd) override { runs.fetch_add(1); }
  std::atomic<int> runs{0};
};

TEST_F(MovingStick,
       a_whole_run_from_wake_up_to_the_all_off_exchange_allocates_nothing_while_the_stick_moves) {
  state.connection.hasExtension = 1;
  state.stopControls.buttonOn = 1;  // checked in every pass, never pressed
  state.stopControls.buttonSel = 11;
  sim::SimIntelligentInterface intInt({.paced = false});
  sim::SimRoboInterface robo({.paced = false});
  NeverAsked boxes;
  CountingReport report;
  InterfaceLink link(intInt, robo, state.connection);
  ASSERT_TRUE(link.openInterface());
  ControlWorker worker(state, sdl, link, boxes, report);
  worker.start();
  JoySample warmUp;
  ASSERT_EQ(sdl.joyGetPosEx(0, warmUp), kJoyNoError);  // the first read opens the device

  // The live view open: a reader takes the run's record and works out what it shows, meanwhile.
  LiveReadings view;
  std::atomic<bool> viewing{false}, done{false};
  std::atomic<int> readings{0};
  std::thread reader([&] {  // made before the count: a thread's start allocates
    while (!viewing.load()) std::this_thread::yield();
    for (auto now = LiveReadings::Clock::now(); viewing.load(); now += std::chrono::milliseconds(33)) {
      const RunSnapshot run = state.monitor.read();
      view.update(run, stickReadingOf(run), now);
      readings.fetch_add(1);
    }
    done = true;
  });
  const long counted = allocationsDuring([&] {
    viewing = true;
    worker.requestRun();
    for (int i = 0; intInt.wire().exchangeCount() < 20000 || readings.load() < 100; ++i) {
      move(i);
      std::this_thread::yield();
    }
    worker.requestStop();
    while (report.runs.load() == 0) std::this_thread::yield();
    viewing = false;
    while (!done.load()) std::this_thread::yield();
  });
  reader.join();
  EXPECT_EQ(counted, 0);
  EXPECT_GT(view.run().exchanges, 0u);
  EXPECT_EQ(intInt.lastOutputWord(), 0u);  // the run ended with its all-off exchange
}

TEST(NoAllocation, exchanges_of_the_robo_interface_driver_on_usb_and_radio_allocate_nothing) {
  testing::FakeUsbTransport usb;      // its transfers allocate nothing either
  testing::RfDataLinkModel radio(3);  // nor do the link's
  for (const RoboPort port : {RoboPort::Usb, RoboPort::Radio}) {
    SCOPED_TRACE(port == RoboPort::Usb ? "USB" : "radio");
    HardwareRoboInterface robo(port == RoboPort::Usb ? static_cast<UsbTransport&>(usb) : radio, {});
    ASSERT_TRUE(robo.open(port, -1));
    expectExchangesAllocateNothingAndSucceed(kPasses, [&](uint32_t i) {
      const int sendFailed = !robo.sendOutputs(i & 0xFFFF, 0x75316420);
      return sendFailed + !robo.readInputs();
    });
  }
}

// The far end of a pseudo-terminal played from fixed buffers, so that every allocation counted is the
// driver's: it answers C1 with one byte, the ROBO session request with its five, each ROBO command
// with 21 and the session's end with one.
class FixedPeer {
 public:
  FixedPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ok_ = master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
          ptsname_r(master_, name_, sizeof name_) == 0;
    slave_ = ok_ ? open(name_, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;  // no hang-up between the driver's opens
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  ~FixedPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  bool ok() const { return ok_; }
  const char* name() const { return name_; }

 private:
  void run() {
    uint8_t command[32];
    size_t have = 0;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0) continue;
      const ssize_t n = read(master_, command + have, sizeof command - have);
      if (n <= 0) continue;
      have += static_cast<size_t>(n);
      const uint8_t first = command[0];
      const size_t size = first == 0xC1 ? 2 : first == 0xA1 ? 14 : first == 0xF2 ? 17 : 1;
      if (have < size) continue;
      have = 0;
      static constexpr uint8_t kIntInt[1] = {0x5A}, kSession[5] = {0x5E, 1, 2, 3, 4}, kEnd[1] = {0x5D};
      static constexpr uint8_t kRobo[21] = {0x5A, 0xA5};
      const uint8_t* reply = first == 0xC1   ? kIntInt
                             : first == 0xA1 ? kSession
                             : first == 0xF2 ? kRobo
                                             : kEnd;
      const size_t length = first == 0xC1 ? 1 : first == 0xA1 ? 5 : first == 0xF2 ? 21 : 1;
      if (write(master_, reply, length) != static_cast<ssize_t>(length)) return;
    }
  }

  int master_ = -1, slave_ = -1;
  bool ok_ = false;
  char name_[64] = {};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(NoAllocation, exchanges_of_the_serial_intelligent_interface_driver_allocate_nothing) {
  FixedPeer peer;
  ASSERT_TRUE(peer.ok());
  SerialIntelligentInterface driver([&](int32_t) { return std::string(peer.name()); });
  ASSERT_TRUE(driver.open(IntIntPort::Serial, 1));
  expectExchangesAllocateNothingAndSucceed(2000,
                                           [&](uint32_t i) { return driver.exchange(i & 0xFF) != 0x5A; });
  driver.close();
}

// Each exchange takes its 10 ms on the wire: the driver waits for the reply's time on the line.
TEST(NoAllocation, exchanges_of_the_robo_interface_driver_on_a_serial_port_allocate_nothing) {
  FixedPeer peer;
  ASSERT_TRUE(peer.ok());
  testing::FakeUsbTransport usb;
  HardwareRoboInterface robo(usb, [&](int32_t) { return std::string(peer.name()); });
  ASSERT_TRUE(robo.open(RoboPort::Serial, 1));
  expectExchangesAllocateNothingAndSucceed(200, [&](uint32_t i) {
    const int sendFailed = !robo.sendOutputs(i & 0xFFFF, 0x75316420);
    return sendFailed + (robo.readInputs() != 0xA55A);
  });
  robo.close();
}

// The parallel interface, reached as the program reaches it: through the driver that picks the port,
// on a model of two modules whose port accesses allocate nothing.
TEST(NoAllocation, exchanges_of_the_parallel_intelligent_interface_driver_allocate_nothing) {
  testing::ParallelInterfaceModel model;
  model.modules = 2;
  ParallelIntelligentInterface parallel(model, [&](int32_t) { return model.devicePath; });
  SerialIntelligentInterface serial({});
  IntelligentInterfaceByPort driver(serial, parallel);
  ASSERT_TRUE(driver.open(IntIntPort::Parallel, 1));
  expectExchangesAllocateNothingAndSucceed(kPasses, [&](uint32_t i) {
    model.setInputs(i & 0xFFFF);
    return driver.exchange(i & 0x5555) != (i & 0xFFFF);
  });
  expectExchangesAllocateNothingAndSucceed(1, [&](uint32_t) {  // the port fails, and comes back after
    model.failAfter = 5;
    const int wrong = driver.exchange(0).has_value();
    model.failAfter = -1;
    return wrong + (driver.exchange(0x0102) != (kPasses - 1) % 65536u);
  });
  EXPECT_EQ(model.driven(), 0x0102u);
}

}  // namespace
}  // namespace velomat
