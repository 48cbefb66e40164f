#include <gtest/gtest.h>

#include <chrono>
#include <deque>

#include "link/interface_link.h"
#include "link_doubles.h"

namespace velomat {
namespace {

using testing::DriverCall;
using testing::RecordingIntInt;
using testing::RecordingRobo;
using testing::ScriptedBoxes;

// A link on recording drivers; the tables make a fresh one for each row.
struct Rig {
  ConnectionSettings connection;
  std::atomic<uint8_t> stopRequested{0};
  RecordingIntInt intInt;
  RecordingRobo robo;
  ScriptedBoxes boxes;
  InterfaceLink link{intInt, robo, connection, stopRequested, boxes};

  void intelligentInterface(int32_t port, uint8_t parallel, uint8_t extension) {
    connection.interfaceKind = kIntelligentInterface;
    connection.portNumber = port;
    connection.parallelPort = parallel;
    connection.hasExtension = extension;
  }
  // An Intelligent Interface on COM1, opened, with nothing recorded yet.
  bool openedSerialIntelligentInterface() {
    intelligentInterface(1, 0, 0);
    const bool opened = link.openInterface();
    intInt.calls.clear();
    return opened;
  }
};

class Link : public ::testing::Test, public Rig {};

TEST_F(Link, intelligent_interface_open_passes_type_and_port_name) {
  struct Row {
    int32_t port;
    uint8_t parallel, extension;
    int32_t interfaceType;
    const char* portName;
  };
  const Row rows[] = {
      {3, 0, 0, 1, "COM3"},
      {3, 0, 1, 2, "COM3"},
      {1, 0, 0, 1, "COM1"},
      {4, 0, 1, 2, "COM4"},
      {2, 1, 0, 10, "LPT2"},
      {2, 1, 1, 10, "LPT2"},
      {1, 1, 0, 10, "LPT1"},
      {3, 1, 0, 10, "LPT3"},
      {4, 1, 0, 10, "LPT"},
      {4, 1, 1, 10, "LPT"},
      {-1, 0, 0, 1, "COM-1"},            // from a damaged file: the driver refuses it
      {2147483647, 0, 0, 1, "COM2147"},  // cut to the name's eight bytes
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.portName);
    intInt.calls.clear();
    intInt.interfaceTypes.clear();
    intelligentInterface(row.port, row.parallel, row.extension);
    EXPECT_TRUE(link.openInterface());
    ASSERT_EQ(intInt.calls.size(), 1u);
    EXPECT_EQ(intInt.calls[0], (DriverCall{"open", {}, row.portName}));
    EXPECT_EQ(intInt.interfaceTypes[0], row.interfaceType);
    EXPECT_EQ(link.intIntRecord().interfaceType, row.interfaceType);
  }
  EXPECT_TRUE(robo.calls.empty());
}

TEST_F(Link, only_0x1ffff_fails_an_intelligent_interface_open) {
  intelligentInterface(1, 0, 0);
  const std::pair<uint32_t, bool> rows[] = {
      {0x1FFFF, false}, {0, true}, {1, true}, {0xE0000001, true}, {0xFFFF, true}};
  for (auto [result, ok] : rows) {
    intInt.openResults = {result};
    EXPECT_EQ(link.openInterface(), ok) << std::hex << result;
  }
}

TEST_F(Link, robo_open_passes_the_connection_code_and_keeps_the_handle) {
  struct Row {
    int32_t kind, port;
    DriverCall call;
  };
  const Row rows[] = {
      {0, -1, {"openUsbOrRadio", {0, 0}, {}}},    {80, -1, {"openUsbOrRadio", {80, 0}, {}}},
      {70, 3, {"openSerial", {70, 3, 0}, {}}},    {70, 1, {"openSerial", {70, 1, 0}, {}}},
      {5, -1, {"openUsbOrRadio", {80, 0}, {}}},  // any other ROBO kind opens by radio
      {1000, 2, {"openUsbOrRadio", {80, 0}, {}}},
  };
  EXPECT_EQ(link.roboHandle(), 0xFFFFFFFFu);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    robo.calls.clear();
    connection.interfaceKind = row.kind;
    connection.portNumber = row.port;
    robo.handle = 0x100 + static_cast<uint32_t>(row.kind);
    EXPECT_TRUE(link.openInterface());
    ASSERT_EQ(robo.calls.size(), 1u);
    EXPECT_EQ(robo.calls[0], row.call);
    EXPECT_EQ(link.roboHandle(), robo.handle);
  }
  EXPECT_TRUE(intInt.calls.empty());
}

TEST_F(Link, a_failed_robo_open_keeps_the_failure_value_as_handle) {
  connection.interfaceKind = kRoboUsb;
  robo.openResults = {0xE0000001};
  EXPECT_FALSE(link.openInterface());
  EXPECT_EQ(link.roboHandle(), 0xE0000001u);
  robo.openResults = {0x1FFFF};  // only 0xE0000001 fails a ROBO open
  EXPECT_TRUE(link.openInterface());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, an_intelligent_interface_exchange_passes_only_the_output_word) {
  intelligentInterface(1, 0, 1);
  ASSERT_TRUE(link.openInterface());
  intInt.inputWord = 0xFFFF;  // all sixteen inputs closed is a valid answer
  EXPECT_EQ(link.exchangeIo(0xA5, 0x37, 0), 0xFFFFu);
  EXPECT_EQ(intInt.calls.back(), (DriverCall{"exchange", {0xA5}, {}}));
  EXPECT_TRUE(robo.calls.empty());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, a_robo_exchange_sends_then_reads) {
  connection.interfaceKind = kRoboSerial;
  connection.portNumber = 2;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  robo.inputWord = 0x81;
  robo.sendResults = {0x1FFFF};  // a send result other than 0xE0000001 is not looked at
  EXPECT_EQ(link.exchangeIo(0x06, 0x37, 0), 0x81u);
  const std::vector<DriverCall> want = {{"sendOutputs", {0x1234, 0x06, 0x37, 0}, {}},
                                        {"readInputs", {0x1234}, {}}};
  EXPECT_EQ(robo.calls, want);
}

TEST_F(Link, a_failed_robo_send_skips_the_read_and_retry_resends_the_same_words) {
  connection.interfaceKind = kRoboUsb;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  robo.sendResults = {0xE0000001};
  robo.inputWord = 0x05;
  boxes.answers = {BoxAnswer::Retry};
  EXPECT_EQ(link.exchangeIo(0x09, 0x71, 0), 0x05u);
  const DriverCall send{"sendOutputs", {0x1234, 0x09, 0x71, 0}, {}};
  const std::vector<DriverCall> want = {send, send, {"readInputs", {0x1234}, {}}};
  EXPECT_EQ(robo.calls, want);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Verbindung zum Interface verloren");
  EXPECT_EQ(boxes.shown[0].caption, "");  // the application's title
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::RetryCancel);
  EXPECT_EQ(stopRequested.load(), 0);
}

TEST_F(Link, both_failure_values_are_a_lost_connection_and_retry_goes_on_until_an_answer) {
  intelligentInterface(2, 0, 0);
  ASSERT_TRUE(link.openInterface());
  intInt.calls.clear();
  intInt.exchangeResults = {0x1FFFF, 0xE0000001, 0x1FFFF};
  intInt.inputWord = 0x03;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry, BoxAnswer::Ok};  // any answer but Cancel retries
  EXPECT_EQ(link.exchangeIo(0x40, 0, 0), 0x03u);
  EXPECT_EQ(boxes.shown.size(), 3u);
  ASSERT_EQ(intInt.calls.size(), 4u);
  for (const DriverCall& call : intInt.calls) EXPECT_EQ(call, (DriverCall{"exchange", {0x40}, {}}));
}

TEST_F(Link, a_robo_read_that_fails_is_a_lost_connection_too) {
  connection.interfaceKind = kRoboRadio;
  ASSERT_TRUE(link.openInterface());
  robo.readResults = {0x1FFFF, 0xE0000001};
  robo.inputWord = 0;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  EXPECT_EQ(link.exchangeIo(1, 2, 0), 0u);
  EXPECT_EQ(boxes.shown.size(), 2u);
}

// What a lost connection does once the user has stopped or is ending: the words of the exchange under
// way never go out again, and nothing is asked of a user who is ending the program.
TEST_F(Link, after_a_stop_or_during_the_end_a_lost_connection_sends_no_motor_words_again) {
  enum class Before { Nothing, Stop, End };
  struct Row {
    const char* what;
    Before before;  // what the user did while the failing exchange was under way
    BoxAnswer answer;
    size_t boxes, exchanges;
    bool ending, cancelled;
  };
  const Row rows[] = {
      {"Retry resends", Before::Nothing, BoxAnswer::Retry, 1, 2, false, false},
      {"NOT-AUS, then Retry", Before::Stop, BoxAnswer::Retry, 1, 1, false, false},
      {"Cancel ends the program", Before::Nothing, BoxAnswer::Cancel, 1, 1, true, true},
      {"Ende during the exchange", Before::End, BoxAnswer::Retry, 0, 1, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Rig t;
    ASSERT_TRUE(t.openedSerialIntelligentInterface());
    t.intInt.exchangeResults = {0x1FFFF};  // one glitch: the next exchange would go through
    t.intInt.inputWord = 0x0F;
    t.intInt.duringExchange = [&] {
      if (row.before == Before::Stop) t.stopRequested.store(1);
      if (row.before == Before::End) t.link.beginEnding();
      t.intInt.duringExchange = nullptr;
    };
    t.boxes.answers = {row.answer};
    const uint32_t inputs = t.link.exchangeIo(0x30, 0, 0);
    EXPECT_EQ(inputs, row.exchanges == 2 ? 0x0Fu : 0u);
    EXPECT_EQ(t.boxes.shown.size(), row.boxes);
    EXPECT_EQ(t.intInt.calls.size(), row.exchanges);
    EXPECT_EQ(t.link.ending(), row.ending);
    EXPECT_EQ(t.link.cancelled(), row.cancelled);
    EXPECT_EQ(t.stopRequested.load(), row.before != Before::Nothing || row.cancelled ? 1 : 0);
  }
}

// A clock that moves only when the link waits on it: the window of tries passes at once.
class SteppedClock final : public SwitchOffClock {
 public:
  std::chrono::steady_clock::time_point now() override { return now_; }
  void sleepFor(std::chrono::milliseconds pause) override {
    now_ += pause;
    slept += pause;
  }
  std::chrono::milliseconds slept{0};

 private:
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1)};
};

TEST_F(Link, the_all_off_exchange_is_asked_for_until_the_end_then_tried_again_for_a_while) {
  using std::chrono::milliseconds;
  struct Row {
    const char* what;
    bool ending;
    std::deque<uint32_t> results;  // of the tries, then the interface answers
    std::deque<BoxAnswer> answers;
    bool switchedOff;
    size_t boxes;
    size_t tries;
    milliseconds slept;
  };
  constexpr uint32_t kLost = 0x1FFFF;
  const Row rows[] = {
      {"goes through", false, {}, {}, true, 0, 1, milliseconds(0)},
      {"Retry until it goes through",
       false,
       {kLost, kLost},
       {BoxAnswer::Retry, BoxAnswer::Retry},
       true,
       2,
       3,
       milliseconds(0)},
      // After Cancel the program is ending: each failed try is followed by a pause of 40 ms.
      {"Cancel: tried again without asking",
       false,
       {kLost, kLost, kLost},
       {BoxAnswer::Cancel},
       true,
       1,
       4,
       milliseconds(120)},
      {"ending: a glitch is over after a few tries",
       true,
       {kLost, kLost, kLost},
       {},
       true,
       0,
       4,
       milliseconds(120)},
      // A try every 40 ms from the first one on, the last one when the second is up.
      {"ending: the line stays lost",
       true,
       std::deque<uint32_t>(1000, kLost),
       {},
       false,
       0,
       26,
       milliseconds(1000)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Rig t;
    SteppedClock clock;
    t.link.setSwitchOffClock(clock);
    ASSERT_TRUE(t.openedSerialIntelligentInterface());
    if (row.ending) t.link.beginEnding();
    t.intInt.exchangeResults = row.results;
    t.boxes.answers = row.answers;
    EXPECT_EQ(t.link.switchOff(), row.switchedOff);
    EXPECT_EQ(t.boxes.shown.size(), row.boxes);
    EXPECT_EQ(t.intInt.calls.size(), row.tries);
    EXPECT_EQ(clock.slept, row.slept);
    for (const DriverCall& call : t.intInt.calls) EXPECT_EQ(call, (DriverCall{"exchange", {0}, {}}));
  }
}

TEST_F(Link, close_reaches_only_the_driver_of_the_connected_family) {
  intelligentInterface(1, 0, 0);
  link.closeInterface();
  EXPECT_EQ(intInt.calls, (std::vector<DriverCall>{{"close", {}, {}}}));
  EXPECT_TRUE(robo.calls.empty());

  intInt.calls.clear();
  connection.interfaceKind = kRoboUsb;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  link.closeInterface();
  EXPECT_EQ(robo.calls, (std::vector<DriverCall>{{"close", {0x1234}, {}}}));
  EXPECT_TRUE(intInt.calls.empty());
}

}  // namespace
}  // namespace velomat
