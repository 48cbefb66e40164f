// The serial drivers against a pseudo-terminal whose other end a thread plays as the interface, and
// the rule that finds the device behind COMn.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <set>

#include "control/run_link.h"
#include "fake_usb_transport.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link_doubles.h"
#include "pty_peer.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::PeerReply;
using testing::PtyPeer;

// Answers as the interface does (`reply`), except command number `odd`, which gets `oddReply`.
PtyPeer::Answer answering(PeerReply (*reply)(const Bytes&, uint16_t), uint16_t inputs, int odd = -1,
                          PeerReply oddReply = {}) {
  return [=](const Bytes& command, int n) { return n == odd ? oddReply : reply(command, inputs); };
}
PtyPeer::Answer intIntAnswer(uint16_t inputs, int odd = -1, PeerReply oddReply = {}) {
  return answering(testing::intelligentInterfaceReply, inputs, odd, std::move(oddReply));
}
PtyPeer::Answer roboAnswer(uint16_t inputs, int odd = -1, PeerReply oddReply = {}) {
  return answering(testing::roboInterfaceReply, inputs, odd, std::move(oddReply));
}

// Every port but COM9 leads to the peer's terminal; the driver's questions are noted.
struct IntIntOnPeer {
  explicit IntIntOnPeer(PtyPeer::Answer answer) : peer(std::move(answer)) {}
  PtyPeer peer;
  std::vector<int32_t> asked;
  SerialIntelligentInterface driver{[this](int32_t port) {
    asked.push_back(port);
    return port == 9 ? std::string() : peer.path();
  }};
};

struct RoboOnPeer {
  explicit RoboOnPeer(PtyPeer::Answer answer) : peer(std::move(answer)) {}
  PtyPeer peer;
  testing::FakeUsbTransport usb;
  std::vector<int32_t> asked;
  HardwareRoboInterface driver{usb, [this](int32_t port) {
                                 asked.push_back(port);
                                 return port == 2 ? peer.path() : std::string();
                               }};
};

// C1 and C2: the interface without and with its extension module on a serial port.
constexpr IntIntPort C1 = IntIntPort::Serial, C2 = IntIntPort::SerialWithExtension;

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
TEST(IntelligentInterfaceOverSerial, a_missing_short_or_surplus_reply_is_a_lost_connection_until_it_answers) {
  struct Row {
    const char* fault;
    IntIntPort type;
    PeerReply reply;
    Inputs first;  // what the exchange that meets the fault returns
    bool comesBack;
  };
  const Row rows[] = {
      {"no reply", C1, {}, std::nullopt, true},
      {"short reply", C2, {{0x12}}, std::nullopt, true},
      {"surplus reply", C1, {{0x12, 0x34, 0x56}}, 0x21, true},
      {"the peer hangs up", C1, {{}, true}, std::nullopt, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    IntIntOnPeer s(intIntAnswer(0x21, 1, row.reply));
    ASSERT_TRUE(s.driver.open(row.type, 3));
    EXPECT_EQ(s.driver.exchange(0x05), row.first);
    EXPECT_EQ(s.driver.exchange(0x05), row.comesBack ? Inputs(0x21) : std::nullopt);
  }
}

TEST(IntelligentInterfaceOverSerial, an_open_fails_without_port_or_answer) {
  struct Row {
    const char* why;
    IntIntPort type;
    int32_t port;
    bool answers, asksForPort;
  };
  const Row rows[] = {
      {"no answer", C1, 1, false, true},
      {"no answer", C2, 4, false, true},
      {"no such port", C1, 9, true, true},
      {"parallel port", IntIntPort::Parallel, 1, true, false},
      {"parallel port", IntIntPort::Parallel, 4, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.why << " " << row.port);
    IntIntOnPeer s(row.answers ? intIntAnswer(0) : [](const Bytes&, int) { return PeerReply{}; });
    EXPECT_FALSE(s.driver.open(row.type, row.port));
    EXPECT_EQ(s.asked.size(), row.asksForPort ? 1u : 0u);
    EXPECT_EQ(s.driver.exchange(0), std::nullopt);
  }
}

TEST(IntelligentInterfaceOverSerial, close_sends_nothing_and_only_an_open_interface_exchanges) {
  IntIntOnPeer s(intIntAnswer(0x07));
  s.driver.close();
  EXPECT_EQ(s.driver.exchange(1), std::nullopt);
  ASSERT_TRUE(s.driver.open(C1, 1));
  EXPECT_EQ(s.driver.exchange(1), 0x07u);
  s.driver.close();
  EXPECT_EQ(s.driver.exchange(1), std::nullopt);
  ASSERT_TRUE(s.driver.open(C1, 1));  // the port is free again
  EXPECT_EQ(s.peer.commands(), (std::vector<Bytes>{{0xC1, 0}, {0xC1, 1}, {0xC1, 0}}));
}

const Bytes kSessionOpen = {0xA1, 'f', 't', '-', 'R', 'o', 'b', 'o', '-', 'O', 'N', '-', 'V', '1'};

// A 0xF2 command: for the interface and then its first I/O extension, the direction byte and the
// three bytes of packed speed levels.
Bytes roboCommand(uint8_t direction, uint8_t b2, uint8_t b3, uint8_t b4, Bytes extension = {0, 0, 0, 0}) {
  Bytes command(17, 0);
  command[0] = 0xF2;
  command[1] = direction;
  command[2] = b2;
  command[3] = b3;
  command[4] = b4;
  std::copy(extension.begin(), extension.end(), command.begin() + 5);
  return command;
}

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

TEST(RoboInterfaceOverSerial, an_open_fails_without_the_session_or_its_first_answer) {
  struct Row {
    const char* why;
    int32_t port;
    int odd;  // the command that gets the odd reply: 0 the session request, 1 the first exchange
    PeerReply reply;
  };
  const Row rows[] = {
      {"no session answer", 2, 0, {}},
      {"wrong session answer", 2, 0, {{0x5F, 1, 2, 3, 4}}},
      {"short session answer", 2, 0, {{0x5E, 1}}},
      {"no exchange answer", 2, 1, {}},
      {"no such port", 3, -1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    RoboOnPeer s(roboAnswer(0, row.odd, row.reply));
    EXPECT_FALSE(s.driver.open(RoboPort::Serial, row.port));
  }
}

TEST(RoboInterfaceOverSerial, a_lost_reply_opens_a_new_session_on_the_next_call) {
  RoboOnPeer s(roboAnswer(0x11, 2, {}));  // the first command after the open stays unanswered
  ASSERT_TRUE(s.driver.open(RoboPort::Serial, 2));
  ASSERT_TRUE(s.driver.sendOutputs(0x01, 0));
  EXPECT_EQ(s.driver.readInputs(), std::nullopt);
  EXPECT_TRUE(s.driver.sendOutputs(0x01, 0));
  EXPECT_EQ(s.driver.readInputs(), 0x11u);
  const std::vector<Bytes> want = {kSessionOpen, roboCommand(0, 0, 0, 0), roboCommand(1, 0, 0, 0),
                                   kSessionOpen, roboCommand(1, 0, 0, 0)};
  EXPECT_EQ(s.peer.commands(), want);
}

// An interface that answers every exchange with the inverse of its motor bytes as inputs, so that
// each input word names the exchange it belongs to. The exchange whose first motor byte is `lateFor`
// is answered late: `late` after the driver has given up waiting for it (`gaveUp`).
PtyPeer::Answer tellingAnswer(uint8_t lateFor, std::shared_future<void> gaveUp,
                              std::chrono::milliseconds late) {
  return [=](const Bytes& command, int) {
    PeerReply reply;
    switch (command[0]) {
      case 0xC1:
        reply.bytes = {static_cast<uint8_t>(~command[1])};
        break;
      case 0xC2:
        reply.bytes = {static_cast<uint8_t>(~command[1]), static_cast<uint8_t>(~command[2])};
        break;
      case 0xF2:
        reply = testing::roboInterfaceReply(command, static_cast<uint16_t>(~(command[1] | command[5] << 8)));
        break;
      default:  // the ROBO session: 0x5E ... and 0x5D
        return testing::roboInterfaceReply(command, 0);
    }
    if (command[1] == lateFor) {
      // Bounded only so that a test that fails early cannot hang.
      gaveUp.wait_for(std::chrono::seconds(10));
      reply.late = late;
    }
    return reply;
  };
}

// The drivers on a serial port: C1, C2, or the ROBO Interface.
enum class OnSerial { IntIntC1, IntIntC2, Robo };

// One exchange over either driver: the input word, or nothing for a lost connection.
class AnyDriver {
 public:
  AnyDriver(OnSerial kind, const std::string& path)
      : kind_(kind),
        intInt_([path](int32_t) { return path; }),
        robo_(usb_, [path](int32_t) { return path; }) {
    opened_ = kind == OnSerial::Robo ? robo_.open(RoboPort::Serial, 1)
                                     : intInt_.open(kind == OnSerial::IntIntC1 ? C1 : C2, 1);
  }
  bool opened() const { return opened_; }
  Inputs exchange(uint32_t outputWord) {
    if (kind_ != OnSerial::Robo) return intInt_.exchange(outputWord);
    if (!robo_.sendOutputs(outputWord, 0)) return std::nullopt;
    return robo_.readInputs();
  }

 private:
  OnSerial kind_;
  testing::FakeUsbTransport usb_;
  SerialIntelligentInterface intInt_;
  HardwareRoboInterface robo_;
  bool opened_ = false;
};

// A port that another program left with a hang-up on close, flow control and two stop bits is set to
// what the interfaces need: 8N1, no modem line, at their baud rate.
TEST(SerialPortFlags, an_open_sets_the_control_flags_whole_whatever_the_port_kept) {
  const std::pair<OnSerial, speed_t> rows[] = {{OnSerial::IntIntC1, B9600}, {OnSerial::Robo, B38400}};
  for (const auto& [type, speed] : rows) {
    SCOPED_TRACE(type == OnSerial::Robo ? "ROBO Interface" : "Intelligent Interface");
    PtyPeer peer(type == OnSerial::Robo ? roboAnswer(0) : intIntAnswer(0));
    const int fd = open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios kept{};
    ASSERT_EQ(tcgetattr(fd, &kept), 0);
    kept.c_cflag |= HUPCL | CRTSCTS | CSTOPB;
    kept.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &kept), 0);
    AnyDriver driver(type, peer.path());
    ASSERT_TRUE(driver.opened());
    termios set{};
    ASSERT_EQ(tcgetattr(fd, &set), 0);
    EXPECT_EQ(set.c_cflag & (HUPCL | CRTSCTS | CSTOPB | CLOCAL | CREAD | CSIZE | PARENB),
              CLOCAL | CREAD | CS8);
    EXPECT_EQ(cfgetospeed(&set), speed);
    close(fd);
  }
}

TEST(LateReplies, a_late_reply_is_a_lost_connection_and_never_the_input_word_of_a_later_exchange) {
  struct Row {
    const char* interface;
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
    SCOPED_TRACE(::testing::Message() << row.interface << ", " << row.lateMs << " ms after the bound");
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
  constexpr int kExchanges = 40;
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
        int wrong = 0, failures = 0, lastAmiss = 0;
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
        EXPECT_LE(wrong, 1);
        EXPECT_EQ(failures, fault == Fault::Lost || fault == Fault::HeldPastTheBound ? 1 : 0);
        EXPECT_LT(lastAmiss - at, 5) << "in step again only after exchange " << lastAmiss;
      }
    }
  }
}

struct IntIntLink {
  explicit IntIntLink(IntelligentInterfaceDriver& intInt, MessageBoxes& boxes)
      : link(intInt, robo, connection), runLink(link, stop, boxes) {
    connection.interfaceKind = kIntelligentInterface;
    connection.portNumber = 1;
    connection.hasExtension = 1;
  }
  ConnectionSettings connection;
  std::atomic<uint8_t> stop{0};
  testing::RecordingRobo robo;
  InterfaceLink link;
  RunLink runLink;
};

TEST(InterfaceLinkOverSerial, retry_goes_on_when_the_interface_answers_again) {
  PtyPeer peer([](const Bytes& command, int n) {
    return n == 1 || n == 2 ? PeerReply{} : testing::intelligentInterfaceReply(command, 0x0300);
  });
  SerialIntelligentInterface intInt([&](int32_t) { return peer.path(); });
  testing::ScriptedBoxes boxes;
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  boxes.throwWhenUsedUp = true;
  IntIntLink s(intInt, boxes);
  ASSERT_TRUE(s.link.openInterface());
  EXPECT_EQ(s.runLink.exchangeIo(0x0206, 0), 0x0300u);
  EXPECT_EQ(boxes.shown.size(), 2u);
  const Bytes exchange = {0xC2, 0x06, 0x02};
  EXPECT_EQ(peer.commands(), (std::vector<Bytes>{{0xC2, 0, 0}, exchange, exchange, exchange}));
}

struct TempDir {
  TempDir() {
    char name[] = "/tmp/velomat-test-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

// The user answers Retry after doing something (or nothing) about the lost connection; a fifth box
// means the connection never comes back.
class RetryAfter final : public MessageBoxes {
 public:
  std::function<void(int box)> doing;
  int shown = 0;
  BoxAnswer show(std::string_view, std::string_view, BoxButtons) override {
    if (++shown > 4) throw std::logic_error("the connection did not come back");
    doing(shown);
    return BoxAnswer::Retry;
  }
};

TEST(InterfaceLinkOverSerial, retry_opens_a_vanished_port_again_once_its_device_is_back) {
  TempDir config;
  PtyPeer unplugged(intIntAnswer(0x0001, 1, {{}, true}));  // hangs up at the first exchange
  std::optional<PtyPeer> pluggedBackIn;
  fs::create_symlink(unplugged.path(), config.path / "COM1");
  SerialIntelligentInterface intInt(portResolver({config.path.string(), config.path.string(), {}}));
  RetryAfter boxes;
  boxes.doing = [&](int box) {
    if (box < 2) return;  // the first Retry finds nothing behind the link
    pluggedBackIn.emplace(intIntAnswer(0x4002));
    fs::remove(config.path / "COM1");
    fs::create_symlink(pluggedBackIn->path(), config.path / "COM1");
  };
  IntIntLink s(intInt, boxes);
  ASSERT_TRUE(s.link.openInterface());
  EXPECT_EQ(s.runLink.exchangeIo(0x0001, 0), 0x4002u);
  EXPECT_EQ(boxes.shown, 2);
  EXPECT_EQ(pluggedBackIn->commands(), std::vector<Bytes>{Bytes({0xC2, 0x01, 0x00})});
}

TEST(ComPortRule, a_link_wins_then_adapters_modems_and_uarts_count_in_numeric_order) {
  TempDir tree;
  const fs::path dev = tree.path / "dev", tty = tree.path / "tty", config = tree.path / "config";
  fs::create_directories(dev);
  fs::create_directories(config);
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "ttyS1", "ttyS2",
                           "ttyS10", "ttyUSBx", "ttyS01", "tty0", "console"}) {
    std::ofstream(dev / name).put('\n');
  }
  for (auto [name, type] : {std::pair{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS10", "4"}}) {  // ttyS2: none
    fs::create_directories(tty / name);
    std::ofstream(tty / name / "type") << type;
  }
  fs::create_symlink("/nonexistent/ttyX", config / "COM3");
  const PortPlaces places{config.string(), dev.string(), tty.string()};
  const std::pair<int32_t, fs::path> rows[] = {
      {1, dev / "ttyUSB0"},  {2, dev / "ttyUSB1"}, {3, config / "COM3"},  // even pointing nowhere
      {4, dev / "ttyUSB10"}, {5, dev / "ttyACM0"}, {6, dev / "ttyS0"},   {7, dev / "ttyS10"},
  };
  for (const auto& [port, path] : rows) {
    SCOPED_TRACE(port);
    EXPECT_EQ(findSerialDevice(port, places), path.string());
  }
  for (const int32_t port : {8, 0, -1, 2147483647}) {
    EXPECT_EQ(findSerialDevice(port, places), "") << port;  // no device
  }
  EXPECT_EQ(findSerialDevice(3, {"", dev.string(), tty.string()}), (dev / "ttyUSB2").string());
}

TEST(ComPortRule, the_links_live_in_the_xdg_config_home_or_else_in_home_dot_config) {
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"/x", "/h", "/x/velomat"},
      {nullptr, "/h", "/h/.config/velomat"},
      {"x", "/h", "/h/.config/velomat"},
      {"", "/h", "/h/.config/velomat"},  // only an absolute path counts
      {nullptr, nullptr, ""},
      {nullptr, "h", ""},
  };
  for (auto [xdg, home, dir] : rows) {
    SCOPED_TRACE(::testing::Message() << (xdg ? xdg : "-") << " " << (home ? home : "-"));
    EXPECT_EQ(portPlacesFor(xdg, home).configDir, dir);
  }
}

// Runs `body` as the ordinary user nobody (uid and gid 65534) in a child process when the test runs as
// root, else right here, and returns what it returns: rights on files must hold for ordinary users.
std::string asOrdinaryUser(const std::function<std::string()>& body) {
  if (geteuid() != 0) return body();
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    const std::string result = body();
    const bool written =
        write(pipeEnds[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
    _exit(written ? 0 : 3);
  }
  close(pipeEnds[1]);
  std::string result;
  char buffer[256];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
    result.append(buffer, static_cast<size_t>(n));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child as nobody ended with " << status;
  return result;
}

// A sysfs and /dev of built-in ports ttyS0..ttyS<n> for the COM rule, with a port that answers as
// `uarts` says when it is asked itself; every port asked is noted.
struct BuiltInPorts {
  BuiltInPorts() {
    fs::permissions(tree.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);  // nobody may look in
    fs::create_directories(dev);
    fs::create_directories(tty);
  }
  void port(const std::string& name) { std::ofstream(dev / name).put('\n'); }
  void type(const std::string& name, const char* text, fs::perms perms = fs::perms::owner_read) {
    fs::create_directories(tty / name);
    std::ofstream(tty / name / "type") << text;
    fs::permissions(tty / name / "type", perms);
  }
  // "COM1=ttyS0 COM2=- ... asked ttyS1 ttyS3": which port each name stands for, and which were asked.
  std::string lookUp(int names) {
    std::set<std::string> asked;
    PortPlaces places{"", dev.string(), tty.string(), [&](const std::string& path) {
                        asked.insert(fs::path(path).filename().string());
                        return uarts.count(fs::path(path).filename().string()) != 0;
                      }};
    std::string result;
    for (int n = 1; n <= names; ++n) {
      const std::string device = findSerialDevice(n, places);
      result += "COM" + std::to_string(n) + "=" +
                (device.empty() ? "-" : fs::path(device).filename().string()) + " ";
    }
    result += "asked";
    for (const std::string& name : asked) result += " " + name;
    return result;
  }

  TempDir tree;
  fs::path dev = tree.path / "dev", tty = tree.path / "tty";
  std::set<std::string> uarts;  // the ports that say they have a UART when asked
};

TEST(ComPortRule, a_built_in_port_whose_type_cannot_be_read_is_asked_itself) {
  BuiltInPorts ports;
  for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS4", "ttyS5"}) ports.port(name);
  ports.type("ttyS0", "4");                              // a 16550A: counts, not asked
  ports.type("ttyS1", "0");                              // no UART: does not count, not asked
  fs::create_directories(ports.tty / "ttyS3" / "type");  // a type that is no file
  ports.type("ttyS4", "");                               // an empty type
  ports.type("ttyS5", "x");                              // a type that is no number
  ports.uarts = {"ttyS2", "ttyS5"};                      // ttyS2 has no sysfs entry at all
  EXPECT_EQ(ports.lookUp(4), "COM1=ttyS0 COM2=ttyS2 COM3=ttyS5 COM4=- asked ttyS2 ttyS3 ttyS4 ttyS5");
}

TEST(ComPortRule, an_ordinary_user_who_may_not_read_the_type_finds_the_same_ports_by_asking_them) {
  BuiltInPorts ports;
  for (const char* name : {"ttyS0", "ttyS1", "ttyS2"}) ports.port(name);
  // As on older kernels: "type" is for root alone (here for no one: root reads it all the same).
  ports.type("ttyS0", "4", fs::perms::none);
  ports.type("ttyS1", "0", fs::perms::none);
  ports.type("ttyS2", "4", fs::perms::none);
  ports.uarts = {"ttyS0", "ttyS2"};
  EXPECT_EQ(asOrdinaryUser([&] { return ports.lookUp(3); }),
            "COM1=ttyS0 COM2=ttyS2 COM3=- asked ttyS0 ttyS1 ttyS2");
  if (geteuid() == 0) {
    EXPECT_EQ(ports.lookUp(3), "COM1=ttyS0 COM2=ttyS2 COM3=- asked");  // root reads the type
  }
}

TEST(ComPortRule, a_port_asked_itself_has_a_uart_only_when_it_says_so_or_another_program_holds_it) {
  TempDir dir;
  std::ofstream(dir.path / "file").put('\n');
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64] = {};
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
              ptsname_r(master, name, sizeof name) == 0);
  EXPECT_FALSE(uartBehind(name)) << "a pseudo-terminal has no serial line behind it";
  EXPECT_FALSE(uartBehind((dir.path / "file").string())) << "not a terminal";
  EXPECT_FALSE(uartBehind((dir.path / "none").string())) << "no such device";
  // Held for itself alone (TIOCEXCL) by a program: the port is there, though it cannot be asked.
  const int held = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(ioctl(held, TIOCEXCL), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(name, 65534, 65534), 0);  // nobody's own terminal, as a user's is
  }
  EXPECT_EQ(asOrdinaryUser([&] { return std::string(uartBehind(name) ? "there" : "not there"); }), "there");
  close(held);
  close(master);
}

}  // namespace
}  // namespace velomat
