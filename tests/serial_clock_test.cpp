// The serial reply logic on a line whose clock the test drives, waiting as Windows waits: its timer
// ticks every 15.6 ms, a port's read time-out ends only on a tick, while a read ends as soon as the
// bytes it waits for are there, and a wait on the clock lasts as long as the waitable timer's
// resolution makes it. Real time cannot show this on Linux or under Wine, whose timers are fine.
#include <gtest/gtest.h>

#include <vector>

#include "link/drivers/reply_bound.h"
#include "link/drivers/serial/serial_port.h"

namespace velomat {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;
using Clock = SerialLine::Clock;

constexpr auto kTick = 15625us;  // Windows' default timer tick

// An interface at the far end of a wire: it answers each command once the command has crossed, and
// its reply's bytes come one byte time apart. The clock moves only when the port waits.
class ClockedLine final : public SerialLine {
 public:
  // `timerStep`: how finely a wait on the clock ends (0: exactly). `silentAt`: the command that gets
  // no reply, or -1.
  ClockedLine(nanoseconds timerStep, int silentAt) : timerStep_(timerStep), silentAt_(silentAt) {}

  PortOpenError open(const char*, int baud) override {
    byteTime_ = nanoseconds(10'000'000'000LL / baud);
    open_ = true;
    return PortOpenError::None;
  }
  bool isOpen() const override { return open_; }
  void close() override { open_ = false; }
  Clock::time_point now() const override { return now_; }

  long write(const uint8_t* data, size_t size) override {
    for (size_t i = 0; i < size; ++i) {
      lineFree_ = std::max(lineFree_, now_) + byteTime_;
      command_.push_back(data[i]);
    }
    const size_t whole = command_[0] == 0xC1 ? 2 : command_[0] == 0xC2 ? 3 : 17;
    if (command_.size() >= whole) answer();
    return static_cast<long>(size);
  }
  Wait waitWritable(Clock::time_point) override { return Wait::Ready; }

  long read(uint8_t* data, size_t room) override {
    size_t n = 0;
    while (n < room && !coming_.empty() && coming_.front().at <= now_) {
      data[n++] = coming_.front().byte;
      coming_.erase(coming_.begin());
    }
    return static_cast<long>(n);
  }
  // As a read with the port's read time-out: over when the count-th byte is there, else on the
  // first tick at or after the deadline.
  Wait waitReadable(size_t count, Clock::time_point deadline) override {
    const auto ticks = (deadline - kEpoch + kTick - 1ns) / kTick;
    const Clock::time_point timeOut = std::max(now_, kEpoch + ticks * kTick);
    if (count <= coming_.size() && coming_[count - 1].at <= timeOut) {
      now_ = std::max(now_, coming_[count - 1].at);
      return Wait::Ready;
    }
    now_ = timeOut;
    ++timedOut_;
    return Wait::TimedOut;
  }
  void sleepUntil(Clock::time_point until) override {
    if (until <= now_) return;
    const nanoseconds asked = until - now_;
    now_ += timerStep_ == 0ns ? asked : (asked + timerStep_ - 1ns) / timerStep_ * timerStep_;
  }
  void dropInput() override {
    while (!coming_.empty() && coming_.front().at <= now_) coming_.erase(coming_.begin());
  }

  int timedOut() const { return timedOut_; }

 private:
  struct Coming {
    Clock::time_point at;
    uint8_t byte;
  };
  // The Intelligent Interface sends back the inverse of the motor bytes, the ROBO Interface 21 bytes.
  void answer() {
    std::vector<uint8_t> reply;
    if (command_[0] == 0xF2) {
      reply.assign(21, static_cast<uint8_t>(~command_[1]));
    } else {
      for (size_t i = 1; i < command_.size(); ++i) reply.push_back(static_cast<uint8_t>(~command_[i]));
    }
    Clock::time_point at = lineFree_;
    if (commands_++ != silentAt_) {
      for (const uint8_t byte : reply) coming_.push_back({at += byteTime_, byte});
    }
    command_.clear();
  }

  static constexpr Clock::time_point kEpoch{};
  const nanoseconds timerStep_;
  const int silentAt_;
  nanoseconds byteTime_{1};
  bool open_ = false;
  Clock::time_point now_ = kEpoch + 1h;
  Clock::time_point lineFree_{};
  std::vector<uint8_t> command_;
  std::vector<Coming> coming_;
  int commands_ = 0;
  int timedOut_ = 0;
};

TEST(SerialClock, exchanges_run_at_the_wires_rate_however_coarse_the_systems_tick) {
  struct Row {
    const char* name;
    uint8_t command;
    size_t commandSize, replySize;
    int baud;
    nanoseconds timerStep;  // 0: a high-resolution waitable timer; 1 ms: the timer raised to 1 ms
    int silentAt;           // the exchange whose reply does not come, or -1
    microseconds slack;     // how much longer than on the wire an exchange may take on average
  };
  const Row rows[] = {
      {"C1", 0xC1, 2, 1, 9600, 0ns, -1, 10us},
      {"C2", 0xC2, 3, 2, 9600, 0ns, -1, 10us},
      {"ROBO", 0xF2, 17, 21, 38400, 0ns, -1, 10us},
      {"C1", 0xC1, 2, 1, 9600, 1ms, -1, 10us},
      {"C2", 0xC2, 3, 2, 9600, 1ms, -1, 10us},
      // A look up to 1 ms late finds the reply's first byte, takes it for a byte that came too soon
      // and waits for any byte behind the reply: three quarters of the wire's rate, not a fifth.
      {"ROBO", 0xF2, 17, 21, 38400, 1ms, -1, 3200us},
      // A lost reply costs ticks while the line is settled, and then the rate is the wire's again.
      {"C1", 0xC1, 2, 1, 9600, 0ns, 10, 10us},
      {"ROBO", 0xF2, 17, 21, 38400, 0ns, 10, 10us},
  };
  constexpr int kExchanges = 60, kBackInStep = 3;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.name << ", timer step " << row.timerStep.count()
                                      << " ns, silent at " << row.silentAt);
    ClockedLine line(row.timerStep, row.silentAt);
    SerialPort port(line);
    ASSERT_TRUE(port.open("COM1", row.baud));
    const nanoseconds wire = nanoseconds(10'000'000'000LL / row.baud) *
                             static_cast<long>(row.commandSize + row.replySize);
    nanoseconds steadyTime{0};
    int steady = 0, lost = 0, timedOutInStep = 0;
    for (int i = 0; i < kExchanges; ++i) {
      uint8_t command[17] = {row.command, static_cast<uint8_t>(i), static_cast<uint8_t>(i + 1)};
      uint8_t reply[21] = {};
      const Clock::time_point start = line.now();
      const int timedOutBefore = line.timedOut();
      const bool ok = port.send(command, row.commandSize) == PortResult::Ok &&
                      port.readReply(reply, row.replySize) == PortResult::Ok;
      if (!ok) {
        ++lost;
        continue;
      }
      EXPECT_EQ(reply[0], static_cast<uint8_t>(~i)) << "exchange " << i << " took another's reply";
      if (row.silentAt >= 0 && i >= row.silentAt && i < row.silentAt + kBackInStep) continue;
      timedOutInStep += line.timedOut() - timedOutBefore;
      steadyTime += line.now() - start;
      ++steady;
    }
    EXPECT_EQ(lost, row.silentAt >= 0 ? 1 : 0);
    ASSERT_GT(steady, 0);
    // No exchange in step waits for a time-out, which would end on a tick, and together they take
    // the wire's time and little more.
    EXPECT_EQ(timedOutInStep, 0);
    EXPECT_LE(steadyTime / steady, wire + row.slack)
        << duration<double, std::micro>(steadyTime / steady).count() << " us an exchange";
    EXPECT_GE(steadyTime / steady, wire);
  }
}

}  // namespace
}  // namespace velomat
