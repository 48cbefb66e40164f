#include <gtest/gtest.h>

#include <thread>

#include "control/run_link.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link_doubles.h"

namespace velomat::sim {
namespace {

const SimOptions kNoDelay{.paced = false};  // each exchange moves the simulation's clock on by its time

// Opens `sim` on port kind `port`; true when it opened.
bool openOn(SimIntelligentInterface& sim, IntIntPort port) {
  return sim.open(port, 1);
}

TEST(SimIntelligentInterface, the_module_serves_outputs_5_to_8_and_e9_to_e16_when_the_exchange_reaches_it) {
  struct Row {
    IntIntPort type;
    bool module;
    int outputs, inputs;
    Clock::duration wire;
  };
  const Row rows[] = {{IntIntPort::Serial, false, 4, 8, kIntIntExchangeTime},
                      {IntIntPort::Serial, true, 4, 8, kIntIntExchangeTime},  // 0xC1 never reaches the module
                      {IntIntPort::SerialWithExtension, false, 4, 8, kIntIntExtensionExchangeTime},
                      {IntIntPort::SerialWithExtension, true, 8, 16, kIntIntExtensionExchangeTime},
                      {IntIntPort::Parallel, false, 4, 8, kIntIntParallelExchangeTime},
                      {IntIntPort::Parallel, true, 8, 16, kIntIntParallelExchangeTime}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << "port kind " << static_cast<int>(row.type) << ", module " << row.module);
    SimIntelligentInterface sim(kNoDelay);
    sim.setExtensionModule(row.module);
    ASSERT_TRUE(openOn(sim, row.type));
    EXPECT_EQ(sim.port(), row.type);
    EXPECT_EQ(sim.extensionModule(), row.module);
    EXPECT_EQ(sim.outputCount(), row.outputs);
    EXPECT_EQ(sim.inputCount(), row.inputs);
    EXPECT_EQ(sim.wire().exchangeTime(), row.wire);
    sim.setInput(0, true);
    sim.setInput(15, true);
    const bool extension = row.outputs == 8;
    EXPECT_EQ(sim.exchange(0b01 | 0b10 << 10), extension ? 0x8001u : 0x01u);
    EXPECT_EQ(sim.lastOutputWord(), extension ? 0b01u | 0b10u << 10 : 0b01u);
    const Clock::time_point now = sim.wire().lastExchange();
    EXPECT_EQ(sim.direction(0, now), 1);
    EXPECT_EQ(sim.direction(5, now), extension ? 2 : 0);
    EXPECT_EQ(sim.onShare(5, now), extension ? 1.0 : 0.0);
  }
}

TEST(SimIntelligentInterface, a_module_plugged_in_or_out_during_a_run_counts_from_the_next_exchange) {
  SimIntelligentInterface sim(kNoDelay);
  ASSERT_TRUE(openOn(sim, IntIntPort::SerialWithExtension));
  sim.setInput(8, true);
  const uint32_t motor5Left = 0b01 << 8;
  EXPECT_EQ(sim.exchange(motor5Left), 0u);  // without the module E9 reads open
  EXPECT_EQ(sim.direction(4, sim.wire().lastExchange()), 0);
  sim.setExtensionModule(true);
  EXPECT_EQ(sim.exchange(motor5Left), 0x100u);
  EXPECT_EQ(sim.direction(4, sim.wire().lastExchange()), 1);
  EXPECT_EQ(sim.wire().exchangeTime(), kIntIntExtensionExchangeTime);  // the command stays the same
  sim.setExtensionModule(false);
  EXPECT_EQ(sim.exchange(motor5Left), 0u);
  EXPECT_EQ(sim.lastOutputWord(), 0u);
  EXPECT_EQ(sim.direction(4, sim.wire().lastExchange()), 0);
}

TEST(SimIntelligentInterface, inputs_open_and_close) {
  SimIntelligentInterface sim(kNoDelay);
  ASSERT_TRUE(openOn(sim, IntIntPort::Serial));
  sim.setInput(7, true);
  sim.setInput(2, true);
  EXPECT_EQ(sim.exchange(0), 0x84u);
  sim.setInput(7, false);
  sim.setInput(99, true);  // no such input
  EXPECT_EQ(sim.exchange(0), 0x04u);
}

TEST(SimIntelligentInterface, outputs_decode_per_motor_and_both_bits_mean_off) {
  SimIntelligentInterface sim(kNoDelay);
  sim.setExtensionModule(true);
  ASSERT_TRUE(openOn(sim, IntIntPort::SerialWithExtension));
  sim.exchange(0b01 | 0b10 << 2 | 0b11 << 4 | 0b10 << 14);
  const Clock::time_point now = sim.wire().lastExchange();
  const uint8_t want[8] = {1, 2, 0, 0, 0, 0, 0, 2};
  for (int o = 0; o < 8; ++o) EXPECT_EQ(sim.direction(o, now), want[o]) << "output " << o;
  EXPECT_EQ(sim.direction(8, now), 0);
  EXPECT_EQ(sim.direction(-1, now), 0);
}

TEST(SimIntelligentInterface, without_addressing_the_extension_the_second_motor_byte_is_ignored) {
  SimIntelligentInterface sim(kNoDelay);
  sim.setExtensionModule(true);
  ASSERT_TRUE(openOn(sim, IntIntPort::Serial));
  sim.exchange(0xFF01);
  EXPECT_EQ(sim.lastOutputWord(), 0x01u);
  EXPECT_EQ(sim.direction(4, sim.wire().lastExchange()), 0);
}

TEST(SimIntelligentInterface, the_watchdog_switches_every_output_off_after_300_ms_without_exchange) {
  SimIntelligentInterface sim(kNoDelay);
  ASSERT_TRUE(openOn(sim, IntIntPort::Serial));
  sim.exchange(0b01 | 0b10 << 6);
  const Clock::time_point last = sim.wire().lastExchange();
  EXPECT_EQ(sim.direction(0, last + 299ms), 1);
  EXPECT_EQ(sim.direction(3, last + 300ms), 2);
  EXPECT_GT(sim.onShare(0, last + 300ms), 0);
  EXPECT_TRUE(sim.watchdogTripped(last + 301ms));
  EXPECT_EQ(sim.direction(0, last + 301ms), 0);
  EXPECT_EQ(sim.direction(3, last + 301ms), 0);
  EXPECT_EQ(sim.onShare(0, last + 301ms), 0);
  sim.exchange(0b01);  // the next exchange drives again
  EXPECT_EQ(sim.direction(0, sim.wire().lastExchange()), 1);
}

// What the stick did, as exchanges one wire time apart: `word` for `lasting`, every other exchange
// only when `half`.
struct Stretch {
  uint32_t word;
  Clock::duration lasting;
  bool half = false;
};

TEST(SimIntelligentInterface, the_on_share_follows_the_outputs_of_the_last_150_ms) {
  struct Row {
    const char* what;
    std::vector<Stretch> exchanges;
    Clock::duration silence;  // then no exchange for this long
    double share;             // of motor 1, within one slice of the window
    uint8_t direction;
  };
  const Row rows[] = {
      {"full left held after a second of half speed", {{0b01, 1s, true}, {0b01, 200ms}}, 0ms, 1.0, 1},
      {"released after a second full left", {{0b01, 1s}, {0, 200ms}}, 0ms, 0.0, 0},
      {"released 75 ms ago", {{0b01, 1s}, {0, 75ms}}, 0ms, 0.5, 1},
      {"half speed right for a second", {{0b10, 1s, true}}, 0ms, 0.5, 2},
      {"the first 30 ms after the open, full right", {{0b10, 30ms}}, 0ms, 1.0, 2},
      {"the run ended with its all-off exchange", {{0b01, 1s}, {0, 3100us}}, 200ms, 0.0, 0},
      {"the exchanges stopped, the outputs hold", {{0b01, 1s}}, 250ms, 1.0, 1},
      {"the exchanges stopped, the watchdog tripped", {{0b01, 1s}}, 301ms, 0.0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SimIntelligentInterface sim(kNoDelay);
    ASSERT_TRUE(openOn(sim, IntIntPort::Serial));
    for (const Stretch& stretch : row.exchanges) {
      for (Clock::duration t{}; t < stretch.lasting; t += kIntIntExchangeTime) {
        const bool on = !stretch.half || (t / kIntIntExchangeTime) % 2 == 0;
        sim.exchange(on ? stretch.word : 0);
      }
    }
    const Clock::time_point now = sim.wire().lastExchange() + row.silence;
    const double slice = static_cast<double>(kShareSlice.count()) / kShareWindow.count();
    EXPECT_NEAR(sim.onShare(0, now), row.share, slice + 0.01);
    EXPECT_EQ(sim.direction(0, now), row.direction);
    EXPECT_EQ(sim.onShare(1, now), 0);
  }
}

TEST(SimIntelligentInterface, faults_an_open_that_fails_exchanges_that_fail_and_a_lost_connection) {
  SimIntelligentInterface sim(kNoDelay);
  EXPECT_EQ(sim.exchange(0), std::nullopt);  // nothing is open yet
  sim.wire().setOpenFails(true);
  EXPECT_FALSE(openOn(sim, IntIntPort::Serial));
  EXPECT_FALSE(sim.isOpen());
  sim.wire().setOpenFails(false);
  ASSERT_TRUE(openOn(sim, IntIntPort::Serial));
  sim.setInput(1, true);

  sim.wire().failExchanges(2);
  EXPECT_EQ(sim.exchange(1), std::nullopt);
  EXPECT_EQ(sim.exchange(1), std::nullopt);
  EXPECT_EQ(sim.exchange(1), 0x02u);

  sim.wire().setConnectionLost(true);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(sim.exchange(1), std::nullopt);
  sim.wire().setConnectionLost(false);
  EXPECT_EQ(sim.exchange(1), 0x02u);
  EXPECT_EQ(sim.wire().exchangeCount(), 14u);
  EXPECT_EQ(sim.wire().failedExchangeCount(), 12u);

  sim.close();
  EXPECT_EQ(sim.exchange(1), std::nullopt);
  EXPECT_EQ(sim.closeCount(), 1);
}

TEST(SimRoboInterface, levels_directions_and_inputs) {
  SimRoboInterface sim(kNoDelay);
  ASSERT_TRUE(sim.open(RoboPort::Usb, -1));
  sim.setInput(0, true);
  sim.setInput(7, true);
  sim.setInput(8, true);  // the ROBO Interface has eight inputs
  ASSERT_TRUE(sim.sendOutputs(0b01 | 0b10 << 2 | 0b00 << 4 | 0b11 << 6, 0x7337));
  EXPECT_EQ(sim.readInputs(), 0x81u);
  const int wantDirection[4] = {1, 2, 0, 0}, wantLevel[4] = {7, 3, 0, 0};
  for (int o = 0; o < 4; ++o) {
    EXPECT_EQ(sim.direction(o), wantDirection[o]) << o;
    EXPECT_EQ(sim.level(o), wantLevel[o]) << o;  // a level without direction drives nothing
  }
  EXPECT_EQ(sim.lastSpeedWord(), 0x7337u);
}

TEST(SimRoboInterface, its_first_io_extension_serves_motors_5_to_8_and_e9_to_e16_and_is_counted) {
  // Motor 1 and motor 6 left, motor 8 right; levels 7, 5 and 2; E1, E10 and E16 closed.
  const uint32_t outputWord = 0b01 | 0b01u << 10 | 0b10u << 14;
  const uint32_t speedWord = 0x7u | 0x5u << 20 | 0x2u << 28;
  struct Row {
    bool module;
    int outputs, inputs, counted;
    uint32_t sentOutputs, inputWord;
    int motor6, level6, motor8;
  };
  const Row rows[] = {
      {false, 4, 8, 0, 0b01, 0x0001, 0, 0, 0},
      {true, 8, 16, 1, outputWord, 0x8201, 1, 5, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "extension " << row.module);
    SimRoboInterface sim(kNoDelay);
    sim.setExtensionModule(row.module);
    ASSERT_TRUE(sim.open(RoboPort::Usb, -1));
    EXPECT_EQ(sim.extensionModules(), row.counted);
    EXPECT_EQ(sim.outputCount(), row.outputs);
    EXPECT_EQ(sim.inputCount(), row.inputs);
    for (int k : {0, 9, 15}) sim.setInput(k, true);
    ASSERT_TRUE(sim.sendOutputs(outputWord, speedWord));
    EXPECT_EQ(sim.readInputs(), row.inputWord);
    EXPECT_EQ(sim.lastOutputWord(), row.sentOutputs);
    EXPECT_EQ(sim.direction(0), 1);  // left
    EXPECT_EQ(sim.level(0), 7);
    EXPECT_EQ(sim.direction(5), row.motor6);
    EXPECT_EQ(sim.level(5), row.level6);
    EXPECT_EQ(sim.direction(7), row.motor8);
  }
}

TEST(SimRoboInterface, an_extension_plugged_in_or_out_counts_from_the_next_exchange) {
  SimRoboInterface sim(kNoDelay);
  ASSERT_TRUE(sim.open(RoboPort::Serial, 1));
  sim.setInput(12, true);  // E13
  const uint32_t motor5Left = 0b01u << 8;
  ASSERT_TRUE(sim.sendOutputs(motor5Left, 0x7u << 16));
  EXPECT_EQ(sim.readInputs(), 0u);
  EXPECT_EQ(sim.direction(4), 0);
  sim.setExtensionModule(true);
  EXPECT_EQ(sim.extensionModules(), 1);
  ASSERT_TRUE(sim.sendOutputs(motor5Left, 0x7u << 16));
  EXPECT_EQ(sim.readInputs(), 1u << 12);
  EXPECT_EQ(sim.direction(4), 1);
  EXPECT_EQ(sim.level(4), 7);
  sim.setExtensionModule(false);
  ASSERT_TRUE(sim.sendOutputs(motor5Left, 0x7u << 16));
  EXPECT_EQ(sim.direction(4), 0);
  EXPECT_EQ(sim.extensionModules(), 0);
}

TEST(SimRoboInterface, faults_and_a_closed_interface) {
  SimRoboInterface sim(kNoDelay);
  EXPECT_FALSE(sim.sendOutputs(0, 0));  // not open
  EXPECT_EQ(sim.readInputs(), std::nullopt);
  sim.wire().setOpenFails(true);
  EXPECT_FALSE(sim.open(RoboPort::Serial, 1));
  sim.wire().setOpenFails(false);
  ASSERT_TRUE(sim.open(RoboPort::Serial, 1));
  sim.wire().failExchanges(1);
  EXPECT_FALSE(sim.sendOutputs(1, 0));
  EXPECT_TRUE(sim.sendOutputs(1, 0));
  sim.wire().setConnectionLost(true);
  EXPECT_FALSE(sim.sendOutputs(1, 0));
}

TEST(SimThroughTheLink, a_connection_that_fails_twice_is_retried_until_it_answers) {
  SimIntelligentInterface intInt(kNoDelay);
  SimRoboInterface robo(kNoDelay);
  ConnectionSettings connection;
  connection.interfaceKind = kIntelligentInterface;
  connection.portNumber = 1;
  connection.hasExtension = 1;
  std::atomic<uint8_t> stop{0};
  velomat::testing::ScriptedBoxes boxes;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  InterfaceLink link(intInt, robo, connection);
  RunLink runLink(link, stop, boxes);
  intInt.setExtensionModule(true);
  ASSERT_TRUE(link.openInterface());
  EXPECT_EQ(intInt.port(), IntIntPort::SerialWithExtension);
  EXPECT_TRUE(intInt.hasExtension());

  intInt.setInput(12, true);
  intInt.wire().failExchanges(2);
  EXPECT_EQ(runLink.exchangeIo(0b10 << 8, 0), 1u << 12);
  EXPECT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(intInt.direction(4, intInt.wire().lastExchange()), 2);
  link.closeInterface();
  EXPECT_FALSE(intInt.isOpen());
  EXPECT_EQ(robo.closeCount(), 0);
}

TEST(SimThreads, the_window_reads_closes_inputs_and_plugs_the_module_while_the_worker_exchanges) {
  SimIntelligentInterface sim(kNoDelay);
  ASSERT_TRUE(openOn(sim, IntIntPort::SerialWithExtension));
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> sawInputs{0};
  std::thread worker([&] {  // motor 1 at half speed
    for (uint32_t i = 0; !stop.load(); ++i) sawInputs.fetch_or(sim.exchange((i & 1) ? 0b01 : 0).value_or(0));
  });
  while (sim.wire().exchangeCount() < 100) std::this_thread::yield();  // a whole window and more
  int inconsistent = 0;  // what the window reads must always be a state the interface can be in
  int checked = 0;
  for (int i = 0; i < 2000; ++i) {
    sim.setInput(i % 16, (i / 16) % 2 == 0);
    const Clock::time_point now = sim.wire().now();
    const double share = sim.onShare(0, now);
    const uint8_t direction = sim.direction(0, now);
    // A read held up while the worker ran on asked about a time long past: it proves nothing.
    if (sim.wire().now() - now > kShareSlice) continue;
    ++checked;
    if (share < 0.35 || share > 0.65 || direction != 1 || sim.lastOutputWord() > 1) ++inconsistent;
  }
  for (int i = 0; i < 200; ++i) sim.setExtensionModule(i % 3 != 0);
  sim.setInput(15, true);
  sim.setExtensionModule(true);
  while ((sawInputs.load() & 0x8000) == 0) std::this_thread::yield();
  stop = true;
  worker.join();
  EXPECT_EQ(inconsistent, 0) << "of " << checked << " reads";
  EXPECT_GT(checked, 0);
  EXPECT_NEAR(sim.onShare(0), 0.5, 0.05);
}

}  // namespace
}  // namespace velomat::sim
