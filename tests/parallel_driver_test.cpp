// The parallel interface driver against a bit-level model of one or two modules, its port names, the
// ppdev port without a port, and the driver that picks the serial or the parallel one.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "link/drivers/intelligent_interface_by_port.h"
#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/parallel/parallel_port_names.h"
#include "link/drivers/parallel/ppdev_port.h"
#include "link/interface_link.h"
#include "link_doubles.h"
#include "parallel_interface_model.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ParallelInterfaceModel;

// A model on parallel port `portNumber` and the driver on it.
struct Rig {
  explicit Rig(int modules = 1, int32_t portNumber = 1) : port(portNumber) { model.modules = modules; }
  bool open(int32_t portNumber = 1) { return driver.open(kind, portNumber); }
  Inputs exchange(uint32_t outputWord) { return driver.exchange(outputWord); }

  int32_t port;
  IntIntPort kind = IntIntPort::Parallel;  // what the open asks for
  ParallelInterfaceModel model;
  ParallelIntelligentInterface driver{
      model, [this](int32_t n) { return n == port ? model.devicePath : std::string(); }};
};

// Motor m of 8 turns left, right or stands, differently in every pass i.
uint32_t movingOutputs(uint32_t i) {
  uint32_t word = 0;
  for (uint32_t m = 0; m < 8; ++m) {
    const uint32_t direction = (i / (m + 1) + m) % 3;
    if (direction != 0) word |= 1u << (2 * m + direction - 1);
  }
  return word;
}

TEST(ParallelInterface, outputs_are_latched_for_every_motor_of_one_or_two_modules) {
  struct Row {
    uint32_t outputWord;
    uint32_t latched;  // both modules; the first in bits 0..7
  };
  const Row rows[] = {
      {0x0001, 0x0001},  // M1 left
      {0x0002, 0x0002},  // M1 right
      {0x0040, 0x0040},  // M4 left
      {0x0080, 0x0080},  // M4 right
      {0x0100, 0x0100},  // M5 left, the second module's M1
      {0x8000, 0x8000},  // M8 right
      {0x5A5A, 0x5A5A}, {0xA596, 0xA596},
      {0x0000, 0x0000}, {0x0003, 0x0000},  // both bits of M1: M1 off, as sent
      {0x00C9, 0x0009},                    // both bits of M4 off, M1 and M2 as asked
      {0xE4A6, 0x24A6},                    // M8 both bits: off; M6, M7 and the first module as asked
      {0xFFFF0000, 0},                     // bits beyond motor 8 are nothing
  };
  for (int modules : {1, 2}) {
    Rig rig(modules);
    ASSERT_TRUE(rig.open());
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message() << modules << " modules, word 0x" << std::hex << row.outputWord);
      const int changesBefore = rig.model.latchChanges;
      const uint32_t latchedBefore = rig.model.latched();
      ASSERT_TRUE(rig.exchange(row.outputWord));
      const uint32_t want = modules == 2 ? row.latched : row.latched & 0xFF;
      EXPECT_EQ(rig.model.latched(), want);
      EXPECT_EQ(rig.model.driven(), want);
      // Each store changes at most once, from the old outputs to the new: no pattern of the shifting
      // ever reaches a motor.
      const int changed = ((want ^ latchedBefore) & 0xFF ? 1 : 0) + ((want ^ latchedBefore) & 0xFF00 ? 1 : 0);
      EXPECT_EQ(rig.model.latchChanges - changesBefore, changed);
    }
    EXPECT_EQ(rig.model.setupViolations, 0);
    EXPECT_EQ(rig.model.unclaimedAccesses, 0);
  }
}

TEST(ParallelInterface, the_model_switches_a_whole_module_off_for_a_motor_with_both_bits) {
  // What the driver keeps from happening: clocked in by hand, 0x07 (M1 both bits, M2 left) drives
  // nothing, not even M2.
  Rig rig;
  ParallelInterfaceModel& model = rig.model;
  ASSERT_TRUE(rig.open());
  for (int bit = 7; bit >= 0; --bit) {
    const uint8_t data = (0x07 >> bit) & 1 ? lpt::kDataOut : 0;
    ASSERT_TRUE(model.writeData(lpt::kTriggerX | lpt::kTriggerY | data));
    ASSERT_TRUE(model.writeData(lpt::kRest | data));
  }
  ASSERT_TRUE(model.writeData(lpt::kRest | lpt::kLoadOut));
  ASSERT_TRUE(model.writeData(lpt::kRest));
  EXPECT_EQ(model.latched(), 0x07u);
  EXPECT_EQ(model.driven(), 0u);
  ASSERT_TRUE(rig.exchange(0x07));
  EXPECT_EQ(model.latched(), 0x04u);
  EXPECT_EQ(model.driven(), 0x04u);  // the driver sends M1 as off: M2 runs
}

TEST(ParallelInterface, inputs_e1_to_e16_are_read_and_a_single_module_reads_e9_to_e16_open) {
  std::vector<uint32_t> words = {0x0000, 0xFFFF, 0xA55A, 0x00FF, 0xFF00, 0x8001};
  for (int k = 0; k < 16; ++k) words.push_back(1u << k);
  for (int modules : {1, 2}) {
    Rig rig(modules);
    ASSERT_TRUE(rig.open());
    for (uint32_t closed : words) {
      SCOPED_TRACE(::testing::Message() << modules << " modules, inputs 0x" << std::hex << closed);
      rig.model.setInputs(closed);
      EXPECT_EQ(rig.exchange(0x0201), modules == 2 ? closed : closed & 0xFF);
    }
    EXPECT_EQ(rig.model.setupViolations, 0);
  }
}

TEST(ParallelInterface, eight_motors_and_sixteen_inputs_go_both_ways_in_every_exchange) {
  Rig rig(2);
  ASSERT_TRUE(rig.open());
  for (uint32_t i = 0; i < 3000; ++i) {
    const uint32_t inputs = (i * 0x3B1Du) & 0xFFFF;  // end switches closing and opening
    rig.model.setInputs(inputs);
    ASSERT_EQ(rig.exchange(movingOutputs(i)), inputs) << i;
    ASSERT_EQ(rig.model.driven(), movingOutputs(i)) << i;
  }
  EXPECT_EQ(rig.model.setupViolations, 0);
}

TEST(ParallelInterface, the_outputs_switch_off_half_a_second_after_the_last_clock_pulse) {
  Rig rig;
  ParallelInterfaceModel& model = rig.model;
  ASSERT_TRUE(rig.open());
  ASSERT_TRUE(rig.exchange(0x55));
  model.advance(499ms);
  EXPECT_EQ(model.driven(), 0x55u);
  model.advance(2ms);
  EXPECT_EQ(model.driven(), 0u);
  EXPECT_EQ(model.latched(), 0x55u);  // the store keeps them; only the enable is gone

  ASSERT_TRUE(rig.exchange(0x55));  // the next exchange switches them on again
  EXPECT_EQ(model.driven(), 0x55u);
  for (int i = 0; i < 30; ++i) {  // an exchange every 400 ms keeps them on for twelve seconds
    model.advance(400ms);
    ASSERT_EQ(model.driven(), 0x55u) << i;
    ASSERT_TRUE(rig.exchange(0x55));
  }
}

TEST(ParallelInterface, the_open_switches_every_output_off_and_waits_for_a_timer_left_running) {
  Rig rig(2);
  rig.model.startTimerX(20ms);  // from power-on
  ASSERT_TRUE(rig.open());
  EXPECT_TRUE(rig.model.claimed);
  EXPECT_EQ(rig.model.latched(), 0u);
  EXPECT_GE(rig.model.now(), 20ms);
  EXPECT_EQ(rig.model.setupViolations, 0);
}

TEST(ParallelInterface, an_open_fails_without_device_port_or_answering_interface_and_keeps_no_port) {
  struct Row {
    const char* name;
    void (*setUp)(Rig&);
    int32_t port;
    bool opens;
  };
  const Row rows[] = {
      {"an interface, nothing on EX", [](Rig&) {}, 1, true},
      {"nothing on EX, parts at their tolerance", [](Rig& r) { r.model.pulseX = 80ms; }, 1, true},
      {"an interface, EX shorted", [](Rig& r) { r.model.pulseX = 20us; }, 1, true},
      {"two modules", [](Rig& r) { r.model.modules = 2; }, 1, true},
      {"every input closed", [](Rig& r) { r.model.setInputs(0xFFFF); }, 1, true},
      {"no device for the name", [](Rig&) {}, 2, false},
      {"the device cannot be claimed", [](Rig& r) { r.model.devicePath.clear(); }, 1, false},
      {"nothing on the port, BUSY high", [](Rig& r) { r.model.attached = false; }, 1, false},
      {"nothing on the port, BUSY low",
       [](Rig& r) {
         r.model.attached = false;
         r.model.floatingBusyLow = true;
       },
       1, false},
      {"timer X never ends", [](Rig& r) { r.model.pulseX = ParallelInterfaceModel::kForever; }, 1, false},
      {"the port fails while opening", [](Rig& r) { r.model.failAfter = 30; }, 1, false},
      {"a serial port", [](Rig& r) { r.kind = IntIntPort::Serial; }, 1, false},
      {"port 0", [](Rig&) {}, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    row.setUp(rig);
    ASSERT_EQ(rig.open(row.port), row.opens);
    EXPECT_EQ(rig.model.claimed, row.opens);
    EXPECT_LT(rig.model.now(), 210ms);  // within the timer's bound, twice: no long wait
    if (!row.opens) {
      EXPECT_EQ(rig.exchange(0x01), std::nullopt);
    }
    EXPECT_EQ(rig.model.unclaimedAccesses, 0);
  }
}

TEST(ParallelInterface, a_port_that_fails_is_a_lost_connection_and_the_next_exchange_claims_it_again) {
  Rig rig;
  ParallelInterfaceModel& model = rig.model;
  ASSERT_TRUE(rig.open());
  model.failAfter = 10;
  EXPECT_EQ(rig.exchange(0x11), std::nullopt);
  EXPECT_FALSE(model.claimed);
  model.devicePath.clear();  // still gone
  EXPECT_EQ(rig.exchange(0x11), std::nullopt);
  model.devicePath = "/dev/parport0";
  model.failAfter = -1;
  model.setInput(2, true);
  EXPECT_EQ(rig.exchange(0x11), 0x04u);
  EXPECT_EQ(model.driven(), 0x11u);
  EXPECT_EQ(model.claims, 3);
}

TEST(ParallelInterface, close_gives_the_port_back_and_a_closed_port_is_not_served) {
  Rig rig;
  ASSERT_TRUE(rig.open());
  EXPECT_TRUE(rig.model.claimed);
  rig.driver.close();
  EXPECT_FALSE(rig.model.claimed);
  EXPECT_EQ(rig.exchange(0x01), std::nullopt);
  EXPECT_EQ(rig.model.unclaimedAccesses, 0);
  ASSERT_TRUE(rig.open());  // and it opens again
  EXPECT_TRUE(rig.exchange(0x01));
}

TEST(ParallelLink, the_link_reaches_the_model_on_lpt_through_the_driver_that_picks_the_port) {
  Rig rig(2, 4);  // the entry "LPT"
  ParallelInterfaceModel& model = rig.model;
  testing::RecordingIntInt serial;
  IntelligentInterfaceByPort intInt(serial, rig.driver);
  testing::RecordingRobo robo;
  ConnectionSettings connection;
  connection.interfaceKind = kIntelligentInterface;
  connection.parallelPort = 1;
  connection.portNumber = 4;  // the entry "LPT"
  InterfaceLink link(intInt, robo, connection);

  ASSERT_TRUE(link.openInterface());
  model.setInputs(0x8421);
  EXPECT_EQ(link.exchangeIo(0x6009, 0), 0x8421u);
  EXPECT_EQ(model.driven(), 0x6009u);
  link.closeInterface();
  EXPECT_FALSE(model.claimed);
  ASSERT_EQ(serial.calls.size(), 1u);  // the serial driver was told to give back what it might hold
  EXPECT_EQ(serial.calls[0].role, "close");
}

TEST(IntelligentInterfaceByPort, each_type_goes_to_its_driver_and_a_switch_closes_the_other) {
  testing::RecordingIntInt serial, parallel;
  IntelligentInterfaceByPort intInt(serial, parallel);
  enum Call { Exchange, Close, OpenSerial, OpenSerialWithExtension, OpenParallel };
  struct Step {
    Call call;
    size_t serialCalls, parallelCalls;
    const char* lastRole;  // of the driver that got the call
  };
  const Step steps[] = {
      {Exchange, 1, 0, "exchange"},             // before any open: the serial driver
      {OpenParallel, 2, 1, "open"},             // switch: the serial driver is closed first
      {Exchange, 2, 2, "exchange"},             //
      {OpenParallel, 2, 3, "open"},             // same driver again: nothing closed
      {OpenSerialWithExtension, 3, 4, "open"},  // parallel closed (its 4th call), serial opened
      {Exchange, 4, 4, "exchange"},             //
      {Close, 5, 4, "close"},                   //
      {OpenSerial, 6, 4, "open"},               //
  };
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::Message() << "step " << n++);
    if (step.call == Exchange) {
      intInt.exchange(0x12);
    } else if (step.call == Close) {
      intInt.close();
    } else {
      intInt.open(step.call == OpenParallel ? IntIntPort::Parallel
                  : step.call == OpenSerial ? IntIntPort::Serial
                                            : IntIntPort::SerialWithExtension,
                  1);
    }
    ASSERT_EQ(serial.calls.size(), step.serialCalls);
    ASSERT_EQ(parallel.calls.size(), step.parallelCalls);
  }
  EXPECT_EQ(parallel.calls[3].role, "close");
  EXPECT_EQ(serial.calls[1].role, "close");
  EXPECT_EQ(serial.calls.back().role, "open");
}

class ParallelPortNames : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("velomat-lpt-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "dev");
    fs::create_directories(root / "config");
    places.devDir = (root / "dev").string();
    places.configDir = (root / "config").string();
  }
  void TearDown() override { fs::remove_all(root); }
  void device(const char* name) { std::ofstream(root / "dev" / name).put('x'); }
  std::string dev(const char* name) const { return (root / "dev" / name).string(); }
  std::string link(const char* name) const { return (root / "config" / name).string(); }

  fs::path root;
  PortPlaces places;
};

TEST_F(ParallelPortNames, lptn_is_parport_n_minus_1_unless_a_link_points_elsewhere_and_lpt_is_the_first) {
  device("parport2");
  device("parport10");
  device("parport1");
  device("ttyS0");
  fs::create_symlink(dev("parport10"), link("LPT1"));
  fs::create_symlink(root / "nowhere", link("LPT3"));
  struct Row {
    int32_t port;
    std::string device;
  };
  const Row rows[] = {
      {1, link("LPT1")},  // the link wins
      {2, dev("parport1")},
      {3, link("LPT3")},     // a link that points nowhere still wins
      {4, dev("parport1")},  // "LPT": the lowest number, 1 before 2 and 10
      {5, dev("parport1")},  // a larger number from a damaged file is "LPT" too
      {0, ""},
      {-1, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.port);
    EXPECT_EQ(findParallelDevice(row.port, places), row.device);
  }
  device("parport0");
  EXPECT_EQ(findParallelDevice(4, places), dev("parport0"));
  fs::create_symlink(dev("parport2"), link("LPT"));
  EXPECT_EQ(findParallelDevice(4, places), link("LPT"));
  places.configDir.clear();  // no home: no links
  EXPECT_EQ(findParallelDevice(1, places), dev("parport0"));
  fs::remove_all(root / "dev");
  EXPECT_EQ(findParallelDevice(4, places), "");
}

// The real port without a real port: every way the claim can fail leaves nothing open.
int openDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TEST(PpdevPort, a_claim_fails_on_a_missing_device_or_a_file_that_is_no_port_and_keeps_nothing_open) {
  const fs::path file = fs::temp_directory_path() / ("velomat-not-a-port-" + std::to_string(getpid()));
  std::ofstream(file).put('x');
  PpdevPort port;
  const int before = openDescriptors();
  EXPECT_FALSE(port.claim("/nonexistent/parport0"));
  EXPECT_FALSE(port.claim(file.c_str()));  // PPEXCL is refused: a plain file
  EXPECT_FALSE(port.claim(nullptr));
  EXPECT_FALSE(port.isClaimed());
  EXPECT_EQ(openDescriptors(), before);
  uint8_t status = 0;
  EXPECT_FALSE(port.writeData(0x08));
  EXPECT_FALSE(port.readStatus(status));
  port.release();
  fs::remove(file);
}

TEST(PpdevPort, an_ordinary_user_without_rights_to_the_device_gets_a_failed_claim) {
  const fs::path file = fs::temp_directory_path() / ("velomat-root-port-" + std::to_string(getpid()));
  std::ofstream(file).put('x');
  ASSERT_EQ(chmod(file.c_str(), 0660), 0);  // like /dev/parport0: root and the group lp
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    PpdevPort port;
    const bool claimed = port.claim(file.c_str());
    _exit(claimed || errno != EACCES ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  fs::remove(file);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "2: could not become uid 65534; 1: the claim did not fail for want of rights";
}

}  // namespace
}  // namespace velomat
