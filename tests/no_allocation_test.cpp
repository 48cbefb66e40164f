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
#include "fake_joystick.h"
#include "fake_usb_transport.h"
#include "link/drivers/intelligent_interface_by_port.h"
#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/drivers/usb/hardware_robo_interface.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "parallel_interface_model.h"

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
                  state.io.inputOn[0] = static_cast<uint8_t>(i & 1);
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
  InterfaceLink link(intInt, robo, state.connection, state.stopRequested, boxes);
  ASSERT_TRUE(link.openInterface());
  ControlWorker worker(state, sdl, link, boxes, report);
  worker.start();
  JoySample warmUp;
  ASSERT_EQ(sdl.joyGetPosEx(0, warmUp), kJoyNoError);  // the first read opens the device

  const long counted = allocationsDuring([&] {
    worker.requestRun();
    for (int i = 0; intInt.wire().exchangeCount() < 20000; ++i) {
      move(i);
      std::this_thread::yield();
    }
    worker.requestStop();
    while (report.runs.load() == 0) std::this_thread::yield();
  });
  EXPECT_EQ(counted, 0);
  EXPECT_EQ(intInt.lastOutputWord(), 0u);  // the run ended with its all-off exchange
}

TEST(NoAllocation, exchanges_of_the_robo_interface_driver_allocate_nothing) {
  testing::FakeUsbTransport usb;  // its transfers allocate nothing either
  HardwareRoboInterface robo(usb, {});
  const uint32_t handle = robo.openUsbOrRadio(0, 0);
  ASSERT_NE(handle, kRoboFailure);
  int failures = 0;
  EXPECT_EQ(allocationsDuring([&] {
              for (int i = 0; i < kPasses; ++i) {
                failures += robo.sendOutputs(handle, i & 0xFF, 0x7531, 0) == kRoboFailure;
                failures += robo.readInputs(handle) == kRoboFailure;
              }
            }),
            0);
  EXPECT_EQ(failures, 0);
}

// The interface on a pseudo-terminal is played by a thread that answers each two-byte command with
// one byte from fixed buffers, so that every allocation counted is the driver's.
TEST(NoAllocation, exchanges_of_the_serial_intelligent_interface_driver_allocate_nothing) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64] = {};
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
              ptsname_r(master, name, sizeof name) == 0);
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);  // no hang-up between the driver's opens
  std::atomic<bool> stop{false};
  std::thread peer([&] {
    uint8_t command[2];
    size_t have = 0;
    const uint8_t reply = 0x5A;
    while (!stop) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 5) <= 0) continue;
      const ssize_t n = read(master, command + have, sizeof command - have);
      if (n > 0 && (have += static_cast<size_t>(n)) == sizeof command) {
        have = 0;
        if (write(master, &reply, 1) != 1) return;
      }
    }
  });
  SerialIntelligentInterface driver([&](std::string_view) { return std::string(name); });
  IntIntRecord record;
  record.interfaceType = kIntIntSerial;
  const bool opened = driver.open(record, "COM1") == 0;
  int failures = 0;
  const long allocations = allocationsDuring([&] {
    for (int i = 0; opened && i < 2000; ++i) failures += driver.exchange(record, i & 0xFF) != 0x5A;
  });
  stop = true;
  peer.join();
  driver.close(record);
  close(slave);
  close(master);
  ASSERT_TRUE(opened);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(failures, 0);
}

// The parallel interface, reached as the program reaches it: through the driver that picks the port,
// on a model of two modules whose port accesses allocate nothing.
TEST(NoAllocation, exchanges_of_the_parallel_intelligent_interface_driver_allocate_nothing) {
  testing::ParallelInterfaceModel model;
  model.modules = 2;
  ParallelIntelligentInterface parallel(model, [&](std::string_view) { return model.devicePath; });
  SerialIntelligentInterface serial({});
  IntelligentInterfaceByPort driver(serial, parallel);
  IntIntRecord record;
  record.interfaceType = kIntIntParallel;
  ASSERT_EQ(driver.open(record, "LPT1"), 0u);
  int wrong = 0;
  EXPECT_EQ(allocationsDuring([&] {
              for (uint32_t i = 0; i < kPasses; ++i) {
                model.setInputs(i & 0xFFFF);
                wrong += driver.exchange(record, i & 0x5555) != (i & 0xFFFF);
              }
              model.failAfter = 5;  // the port fails, and comes back at the next exchange
              wrong += driver.exchange(record, 0) != kIntIntFailure;
              model.failAfter = -1;
              wrong += driver.exchange(record, 0x0102) != (kPasses - 1) % 65536;
            }),
            0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(model.driven(), 0x0102u);
}

}  // namespace
}  // namespace velomat
