// The serial drivers against a far end that a thread plays as the interface: the bytes on the wire,
// late replies and the faults a real line brings. The same on Linux, against a pseudo-terminal, and
// on Windows under Wine, against a COM port.
#include <gtest/gtest.h>

#include <future>
#include <random>

#include "serial_peers.h"

namespace velomat {
namespace {

// Opens an interface on `type` that answers with `inputs`, makes one exchange and returns the bytes
// that went out for it and its result.
std::pair<Bytes, Inputs> exchangeOnce(IntIntPort type, uint32_t outputWord, uint16_t inputs) {
  IntIntOnPeer s(intIntAnswer(inputs));
  EXPECT_TRUE(s.driver.open(type, 1));
  const Inputs result = s.driver.exchange(outputWord);
  const std::vector<Bytes> commands = s.peer.commands();
  EXPECT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands.front(), type == C1 ? Bytes({0xC1, 0}) : Bytes({0xC2, 0, 0}));  // the open's all-off
  return {commands.back(), result};
}

TEST(IntelligentInterfaceOverSerial, every_motor_bit_goes_out_as_it_is_and_the_input_bytes_come_back) {
  struct Row {
    IntIntPort type;
    uint32_t outputWord;
    Bytes wire;
    uint16_t inputs;
    uint32_t result;
  };
  const Row rows[] = {
      {C1, 0x00, {0xC1, 0x00}, 0, 0},
      {C1, 0x01, {0xC1, 0x01}, 0, 0},
      {C1, 0x02, {0xC1, 0x02}, 0, 0},
      {C1, 0x03, {0xC1, 0x03}, 0, 0},  // motor 1 off, left, right, both bits (the interface stops it)
      {C1, 0x40, {0xC1, 0x40}, 0, 0},
      {C1, 0x80, {0xC1, 0x80}, 0, 0},
      {C1, 0xC0, {0xC1, 0xC0}, 0, 0},            // motor 4
      {C1, 0x0A, {0xC1, 0x0A}, 0, 0},            // a line feed stays one byte
      {C1, 0xFF01, {0xC1, 0x01}, 0xFF80, 0x80},  // without extension module one byte each way
      {C2, 0x0100, {0xC2, 0x00, 0x01}, 0, 0},
      {C2, 0x0200, {0xC2, 0x00, 0x02}, 0, 0},
      {C2, 0x0300, {0xC2, 0x00, 0x03}, 0, 0},  // motor 5
      {C2, 0xC000, {0xC2, 0x00, 0xC0}, 0, 0},  // motor 8
      {C2, 0xA55A, {0xC2, 0x5A, 0xA5}, 0x8001, 0x8001},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.type == C1 ? "C1 " : "C2 ") << std::hex << row.outputWord);
    EXPECT_EQ(exchangeOnce(row.type, row.outputWord, row.inputs),
              std::make_pair(row.wire, Inputs(row.result)));
  }
}

TEST(IntelligentInterfaceOverSerial, inputs_e1_to_e16_arrive_untouched_by_the_terminal) {
  const std::pair<IntIntPort, uint16_t> rows[] = {
      {C1, 0x0001}, {C1, 0x0080}, {C2, 0x0100}, {C2, 0x8000}, {C2, 0xFFFF},  // E1, E8, E9, E16, all
      {C1, 0x000D}, {C1, 0x000A}, {C2, 0x1311},                // carriage return, line feed, XON and XOFF
      {C1, 0x0003}, {C1, 0x0004}, {C1, 0x007F}, {C1, 0x00FF},  // interrupt, end of file, delete, bit 7
  };
  for (auto [type, inputs] : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << inputs);
    EXPECT_EQ(exchangeOnce(type, 0, inputs).second, inputs);
  }
}

// A surplus reply is never data: the command goes out once more once the line is quiet, and only
// that command's reply counts.
TEST(RoboInterfaceOverSerial, the_session_eight_motors_inputs_e1_to_e16_and_the_close_go_over_the_port) {
  RoboOnPeer s(roboAnswer(0xC35A));
  ASSERT_TRUE(s.driver.open(RoboPort::Serial, 2));
  EXPECT_EQ(s.asked, std::vector<int32_t>{2});
  // Motor 1 left, motor 2 right, motor 6 left, motor 8 right; levels 7 5 3 0 and 1 6 2 4.
  EXPECT_TRUE(s.driver.sendOutputs(0x8409, 0x42610357));
  EXPECT_EQ(s.driver.readInputs(), 0xC35Au);
  s.driver.close();  // waits for the answer to 0xA2, so the peer has seen it
  // 0x0357: halves 7 7 5 5 3 3 0 0 from M1A on; 0x4261: 1 1 6 6 2 2 4 4 from M5A on.
  const std::vector<Bytes> want = {kSessionOpen,
                                   roboCommand(0, 0, 0, 0),
                                   roboCommand(0x09, 0x7F, 0xBB, 0x01, {0x84, 0x89, 0x2D, 0x91}),
                                   {0xA2}};
  EXPECT_EQ(s.peer.commands(), want);
  EXPECT_FALSE(s.driver.sendOutputs(0, 0));
  EXPECT_TRUE(s.usb.opens.empty());
}

TEST(LateReplies, a_late_reply_is_a_lost_connection_and_never_the_input_word_of_a_later_exchange) {
  struct Row {
    const char* name;
    OnSerial type;
    uint32_t mask;  // the motor and input bits the interface has
    int lateMs;     // after the driver gave up, which it does 100 ms after the command
  };
  const Row rows[] = {
      {"C1", OnSerial::IntIntC1, 0x00FF, 50},  // 150 ms after the command
      {"C2", OnSerial::IntIntC2, 0xFFFF, 50},
      {"ROBO serial", OnSerial::Robo, 0xFFFF, 50},
      // Later than the time in which the drivers drop late bytes: the reply after it gives it away.
      {"C1", OnSerial::IntIntC1, 0x00FF, 160},
      {"C2", OnSerial::IntIntC2, 0xFFFF, 300},
      {"ROBO serial", OnSerial::Robo, 0xFFFF, 160},
  };
  constexpr int kExchanges = 50, kLate = 3;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.name << ", " << row.lateMs << " ms after the bound");
    std::promise<void> gaveUp;
    // Paced as a real line: the reply to the next command cannot follow a late one at once.
    PtyPeer peer(tellingAnswer(kLate, gaveUp.get_future().share(), std::chrono::milliseconds(row.lateMs)),
                 false, testing::byteTimeAt(row.type == OnSerial::Robo ? 38400 : 9600));
    AnyDriver driver(row.type, peer.path());
    ASSERT_TRUE(driver.opened());
    int failures = 0, lastFailure = 0;
    for (int i = 1; i <= kExchanges; ++i) {
      const uint32_t outputWord = static_cast<uint32_t>(i | i << 8) & row.mask;
      const Inputs inputs = driver.exchange(outputWord);
      if (i == kLate) {
        EXPECT_EQ(inputs, std::nullopt);  // its reply comes only after this
        gaveUp.set_value();
      }
      if (!inputs) {
        ++failures;
        lastFailure = i;
      } else {
        EXPECT_EQ(inputs, ~outputWord & row.mask) << "exchange " << i;  // its own inputs, no other's
      }
    }
    EXPECT_LT(lastFailure, kExchanges - 10) << failures << " failures";  // back in step well before the end
  }
}

// The faults a real line brings, each once at a random exchange of a run: a stray byte (ahead of a
// reply, inside it or behind it), a lost byte, a byte held back briefly or past the reply bound. At
// most one exchange's inputs may be wrong, the driver is in step again within five exchanges, and a
// stray byte never costs a lost connection: its reply is asked for once more.
TEST(LineFaults, a_stray_lost_or_held_back_byte_costs_at_most_one_input_word_and_five_exchanges) {
  enum class Fault { Stray, Lost, HeldBack, HeldPastTheBound };
  struct Kind {
    const char* name;
    OnSerial type;
    uint32_t mask;
    size_t replySize;
  };
  const Kind kinds[] = {{"C1", OnSerial::IntIntC1, 0x00FF, 1},
                        {"C2", OnSerial::IntIntC2, 0xFFFF, 2},
                        {"ROBO serial", OnSerial::Robo, 0xFFFF, 21}};
  const std::pair<Fault, const char*> faults[] = {{Fault::Stray, "stray"},
                                                  {Fault::Lost, "lost"},
                                                  {Fault::HeldBack, "held back 5 ms"},
                                                  {Fault::HeldPastTheBound, "held back 150 ms"}};
  constexpr int kExchanges = 40, kAttempts = 10;
  std::mt19937 random(20261208);
  for (const Kind& kind : kinds) {
    for (const auto& [fault, faultName] : faults) {
      const size_t size = kind.replySize;
      const size_t anywhere = std::uniform_int_distribution<size_t>(0, size - 1)(random);
      // A stray byte may also come behind the reply; a lost or held back one is one of the reply's.
      std::vector<size_t> positions{0, anywhere};
      if (fault == Fault::Stray) positions.push_back(size);
      for (const size_t position : positions) {
        const int at = std::uniform_int_distribution<int>(3, 20)(random);
        SCOPED_TRACE(::testing::Message() << kind.name << ", " << faultName << " byte at " << position
                                          << " of the reply to exchange " << at);
        // The open's commands come first: the all-off exchange, and on the ROBO Interface its session.
        const int faulty = at + (kind.type == OnSerial::Robo ? 1 : 0);
        const PtyPeer::Answer inverted = tellingAnswer(0xFF, {}, {});  // no motor byte is 0xFF here
        int wrong = 0, failures = 0, lastAmiss = 0;
        // A run in which the machine kept the simulated wire from its pace proves nothing; it runs again.
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
          PtyPeer peer(
              [=](const Bytes& command, int n) {
                PeerReply reply = inverted(command, n);
                if (n != faulty) return reply;
                const auto byte = reply.bytes.begin() + static_cast<long>(position);
                if (fault == Fault::Stray) reply.bytes.insert(byte, 0x00);
                if (fault == Fault::Lost) reply.bytes.erase(byte);
                reply.pauseAt = position;
                if (fault == Fault::HeldBack) reply.pause = std::chrono::milliseconds(5);
                if (fault == Fault::HeldPastTheBound) reply.pause = std::chrono::milliseconds(150);
                return reply;
              },
              false, testing::byteTimeAt(kind.type == OnSerial::Robo ? 38400 : 9600));
          AnyDriver driver(kind.type, peer.path());
          ASSERT_TRUE(driver.opened());
          wrong = failures = lastAmiss = 0;
          for (int i = 1; i <= kExchanges; ++i) {
            const uint32_t outputWord = static_cast<uint32_t>(i | i << 8) & kind.mask;
            const Inputs inputs = driver.exchange(outputWord);
            if (!inputs) {
              ++failures;
            } else if (*inputs != (~outputWord & kind.mask)) {
              ++wrong;
            } else {
              continue;
            }
            lastAmiss = i;
          }
          if (peer.paceKept()) break;
        }
        EXPECT_LE(wrong, 1);
        EXPECT_EQ(failures, fault == Fault::Lost || fault == Fault::HeldPastTheBound ? 1 : 0);
        EXPECT_LT(lastAmiss - at, 5) << "in step again only after exchange " << lastAmiss;
      }
    }
  }
}

}  // namespace
}  // namespace velomat
