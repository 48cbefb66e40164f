// The serial drivers against a pseudo-terminal whose other end a thread plays as the interface, where
// it takes Linux's terminals (hang-ups, termios flags, links to devices), and the rule that finds the
// device behind COMn. serial_exchange_test.cpp holds what holds on Windows too.
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
#include <optional>
#include <set>

#include "control/run_link.h"
#include "link/drivers/serial/port_names.h"
#include "link/interface_link.h"
#include "link_doubles.h"
#include "serial_peers.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
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
  // The driver cannot have it either, and the user is told why.
  EXPECT_EQ(asOrdinaryUser([&] {
              SerialPort port;
              return port.open(name, 9600) ? std::string("opened")
                                            : portOpenErrorText(port.lastOpenError(), "COM3");
            }),
            "COM3 wird von einem anderen Programm benutzt.\n"
            "Beenden Sie das andere Programm und versuchen Sie es noch einmal.");
  close(held);
  close(master);
}

}  // namespace
}  // namespace velomat
