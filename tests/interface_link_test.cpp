#include <gtest/gtest.h>

#include <chrono>
#include <deque>

#include "control/run_link.h"
#include "link_doubles.h"

namespace velomat {
namespace {

using testing::DriverCall;
using testing::openCall;
using testing::RecordingIntInt;
using testing::RecordingRobo;
using testing::ScriptedBoxes;

// A link on recording drivers, and the link as the worker uses it, asking scripted boxes; the tables
// make a fresh one for each row.
struct Rig {
  ConnectionSettings connection;
  std::atomic<uint8_t> stopRequested{0};
  RecordingIntInt intInt;
  RecordingRobo robo;
  ScriptedBoxes boxes;
  InterfaceLink link{intInt, robo, connection};
  RunLink runLink{link, stopRequested, boxes};

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

TEST_F(Link, intelligent_interface_open_passes_the_port_and_its_number) {
  struct Row {
    int32_t port;
    uint8_t parallel, extension;
    IntIntPort kind;
  };
  const Row rows[] = {
      {3, 0, 0, IntIntPort::Serial},
      {3, 0, 1, IntIntPort::SerialWithExtension},
      {1, 0, 0, IntIntPort::Serial},
      {4, 0, 1, IntIntPort::SerialWithExtension},
      {2, 1, 0, IntIntPort::Parallel},
      {2, 1, 1, IntIntPort::Parallel},  // the parallel chain ignores the extension flag
      {1, 1, 0, IntIntPort::Parallel},
      {3, 1, 0, IntIntPort::Parallel},
      {4, 1, 0, IntIntPort::Parallel},  // the entry "LPT"
      {4, 1, 1, IntIntPort::Parallel},
      {-1, 0, 0, IntIntPort::Serial},  // from a damaged file: the driver refuses it
      {2147483647, 0, 0, IntIntPort::Serial},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.port);
    intInt.calls.clear();
    intelligentInterface(row.port, row.parallel, row.extension);
    EXPECT_TRUE(link.openInterface());
    ASSERT_EQ(intInt.calls.size(), 1u);
    EXPECT_EQ(intInt.calls[0], openCall(row.kind, row.port));
  }
  EXPECT_TRUE(robo.calls.empty());
}

TEST_F(Link, the_drivers_open_result_is_the_links) {
  for (bool ok : {false, true}) {
    intelligentInterface(1, 0, 0);
    intInt.openResults = {ok};
    EXPECT_EQ(link.openInterface(), ok);
    connection.interfaceKind = kRoboUsb;
    robo.openResults = {ok};
    EXPECT_EQ(link.openInterface(), ok);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, robo_open_passes_how_the_interface_is_reached) {
  struct Row {
    int32_t kind, port;
    RoboPort wire;
  };
  const Row rows[] = {
      {0, -1, RoboPort::Usb},     {80, -1, RoboPort::Radio}, {70, 3, RoboPort::Serial},
      {70, 1, RoboPort::Serial},  {5, -1, RoboPort::Radio},  // any other ROBO kind opens by radio
      {1000, 2, RoboPort::Radio},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    robo.calls.clear();
    connection.interfaceKind = row.kind;
    connection.portNumber = row.port;
    EXPECT_TRUE(link.openInterface());
    ASSERT_EQ(robo.calls.size(), 1u);
    EXPECT_EQ(robo.calls[0], openCall(row.wire, row.port));
  }
  EXPECT_TRUE(intInt.calls.empty());
}

TEST_F(Link, an_intelligent_interface_exchange_passes_only_the_output_word) {
  intelligentInterface(1, 0, 1);
  ASSERT_TRUE(link.openInterface());
  intInt.inputWord = 0xFFFF;  // all sixteen inputs closed is a valid answer
  EXPECT_EQ(runLink.exchangeIo(0xA5, 0x37), 0xFFFFu);
  EXPECT_EQ(intInt.calls.back(), (DriverCall{"exchange", {0xA5}}));
  EXPECT_TRUE(robo.calls.empty());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Link, a_robo_exchange_sends_then_reads) {
  connection.interfaceKind = kRoboSerial;
  connection.portNumber = 2;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  robo.inputWord = 0x81;
  EXPECT_EQ(runLink.exchangeIo(0x06, 0x37), 0x81u);
  const std::vector<DriverCall> want = {{"sendOutputs", {0x06, 0x37}}, {"readInputs", {}}};
  EXPECT_EQ(robo.calls, want);
}

TEST_F(Link, a_failed_robo_send_skips_the_read_and_retry_resends_the_same_words) {
  connection.interfaceKind = kRoboUsb;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  robo.sendResults = {false};
  robo.inputWord = 0x05;
  boxes.answers = {BoxAnswer::Retry};
  EXPECT_EQ(runLink.exchangeIo(0x09, 0x71), 0x05u);
  const DriverCall send{"sendOutputs", {0x09, 0x71}};
  const std::vector<DriverCall> want = {send, send, {"readInputs", {}}};
  EXPECT_EQ(robo.calls, want);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Verbindung zum Interface verloren");
  EXPECT_EQ(boxes.shown[0].caption, "");  // the application's title
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::RetryCancel);
  EXPECT_EQ(stopRequested.load(), 0);
}

TEST_F(Link, retry_goes_on_until_an_answer) {
  intelligentInterface(2, 0, 0);
  ASSERT_TRUE(link.openInterface());
  intInt.calls.clear();
  intInt.exchangeResults = {std::nullopt, std::nullopt, std::nullopt};
  intInt.inputWord = 0x03;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry, BoxAnswer::Ok};  // any answer but Cancel retries
  EXPECT_EQ(runLink.exchangeIo(0x40, 0), 0x03u);
  EXPECT_EQ(boxes.shown.size(), 3u);
  ASSERT_EQ(intInt.calls.size(), 4u);
  for (const DriverCall& call : intInt.calls) EXPECT_EQ(call, (DriverCall{"exchange", {0x40}}));
}

TEST_F(Link, a_robo_read_that_fails_is_a_lost_connection_too) {
  connection.interfaceKind = kRoboRadio;
  ASSERT_TRUE(link.openInterface());
  robo.readResults = {std::nullopt, std::nullopt};
  robo.inputWord = 0;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  EXPECT_EQ(runLink.exchangeIo(1, 2), 0u);
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
    t.intInt.exchangeResults = {std::nullopt};  // one glitch: the next exchange would go through
    t.intInt.inputWord = 0x0F;
    t.intInt.duringExchange = [&] {
      if (row.before == Before::Stop) t.stopRequested.store(1);
      if (row.before == Before::End) t.runLink.beginEnding();
      t.intInt.duringExchange = nullptr;
    };
    t.boxes.answers = {row.answer};
    const uint32_t inputs = t.runLink.exchangeIo(0x30, 0);
    EXPECT_EQ(inputs, row.exchanges == 2 ? 0x0Fu : 0u);
    EXPECT_EQ(t.boxes.shown.size(), row.boxes);
    EXPECT_EQ(t.intInt.calls.size(), row.exchanges);
    EXPECT_EQ(t.runLink.ending(), row.ending);
    EXPECT_EQ(t.runLink.cancelled(), row.cancelled);
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
    std::deque<Inputs> results;  // of the tries, then the interface answers
    std::deque<BoxAnswer> answers;
    bool switchedOff;
    size_t boxes;
    size_t tries;
    milliseconds slept;
  };
  const Inputs kLost = std::nullopt;
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
       std::deque<Inputs>(1000, kLost),
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
    t.runLink.setSwitchOffClock(clock);
    ASSERT_TRUE(t.openedSerialIntelligentInterface());
    if (row.ending) t.runLink.beginEnding();
    t.intInt.exchangeResults = row.results;
    t.boxes.answers = row.answers;
    EXPECT_EQ(t.runLink.switchOff(), row.switchedOff);
    EXPECT_EQ(t.boxes.shown.size(), row.boxes);
    EXPECT_EQ(t.intInt.calls.size(), row.tries);
    EXPECT_EQ(clock.slept, row.slept);
    for (const DriverCall& call : t.intInt.calls) EXPECT_EQ(call, (DriverCall{"exchange", {0}}));
  }
}

TEST_F(Link, close_reaches_only_the_driver_of_the_connected_family) {
  intelligentInterface(1, 0, 0);
  link.closeInterface();
  EXPECT_EQ(intInt.calls, (std::vector<DriverCall>{{"close", {}}}));
  EXPECT_TRUE(robo.calls.empty());

  intInt.calls.clear();
  connection.interfaceKind = kRoboUsb;
  ASSERT_TRUE(link.openInterface());
  robo.calls.clear();
  link.closeInterface();
  EXPECT_EQ(robo.calls, (std::vector<DriverCall>{{"close", {}}}));
  EXPECT_TRUE(intInt.calls.empty());
}

}  // namespace
}  // namespace velomat
