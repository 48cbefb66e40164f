// What a serial exchange costs the driver, against a pseudo-terminal whose other end a thread plays as
// an interface.
//
// Unpaced, the interface answers at once, sooner than a real line could carry the reply. The driver
// takes such a reply as it takes one that a stray byte entered: it counts once its last byte would
// have come with nothing behind it, so the time per exchange is wire_us, the exchange's time on a real
// line, and about one byte time and 2 ms more.
//
// Paced, the interface writes each byte of its reply when a real line at the interface's baud rate
// would deliver it, as a UART does. What counts then is how much of the exchange the driver spends on
// the processor: cpu_ms_per_s is the driver thread's CPU time per second of running (the answering
// thread is not counted).
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

#include "fake_usb_transport.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "pty_peer.h"

namespace velomat {
namespace {

using testing::Bytes;
using testing::byteTimeAt;
using testing::PtyPeer;

// The driver thread's CPU time and the wall time from construction to the report.
class CpuPerSecond {
 public:
  CpuPerSecond() : cpu0_(threadCpu()), wall0_(std::chrono::steady_clock::now()) {}
  void report(benchmark::State& bench) const {
    const double cpu = threadCpu() - cpu0_;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0_).count();
    if (wall > 0) bench.counters["cpu_ms_per_s"] = 1000 * cpu / wall;
  }

 private:
  static double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }
  double cpu0_;
  std::chrono::steady_clock::time_point wall0_;
};

// range(0): C1 (IntIntPort::Serial) or C2 (with extension module); range(1): 1 paced at 9600 baud.
void BM_IntelligentInterfaceSerialExchange(benchmark::State& bench) {
  const auto type = static_cast<IntIntPort>(bench.range(0));
  const bool paced = bench.range(1) != 0;
  PtyPeer peer([](const Bytes& command, int) { return testing::intelligentInterfaceReply(command, 0x0102); },
               false, paced ? byteTimeAt(9600) : std::chrono::nanoseconds::zero());
  SerialIntelligentInterface driver([&](int32_t) { return peer.path(); });
  if (!driver.open(type, 1)) {
    bench.SkipWithError("the interface on the pseudo-terminal did not answer");
    return;
  }
  uint32_t outputWord = 0;
  const CpuPerSecond cpu;
  for (auto _ : bench) {
    const Inputs inputs = driver.exchange(outputWord++ & 0xFFFF);
    if (!inputs) {
      bench.SkipWithError("lost connection");
      break;
    }
    benchmark::DoNotOptimize(inputs);
  }
  cpu.report(bench);
  driver.close();
  bench.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["wire_us"] = type == IntIntPort::SerialWithExtension ? 5200 : 3100;
}
BENCHMARK(BM_IntelligentInterfaceSerialExchange)
    ->ArgNames({"type", "paced"})
    ->Args({static_cast<int64_t>(IntIntPort::Serial), 0})
    ->Args({static_cast<int64_t>(IntIntPort::SerialWithExtension), 0})
    ->Args({static_cast<int64_t>(IntIntPort::Serial), 1})
    ->Args({static_cast<int64_t>(IntIntPort::SerialWithExtension), 1})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// sendOutputs and readInputs of the ROBO Interface on a serial port: 17 bytes out, 21 back.
// range(0): 1 paced at 38400 baud.
void BM_RoboSerialExchange(benchmark::State& bench) {
  const bool paced = bench.range(0) != 0;
  PtyPeer peer([](const Bytes& command, int) { return testing::roboInterfaceReply(command, 0x81); }, false,
               paced ? byteTimeAt(38400) : std::chrono::nanoseconds::zero());
  testing::FakeUsbTransport usb;
  HardwareRoboInterface driver(usb, [&](int32_t) { return peer.path(); });
  if (!driver.open(RoboPort::Serial, 1)) {
    bench.SkipWithError("the interface on the pseudo-terminal did not answer");
    return;
  }
  uint32_t outputWord = 0;
  const CpuPerSecond cpu;
  for (auto _ : bench) {
    if (!driver.sendOutputs(outputWord++ & 0xFF, 0x7777) || !driver.readInputs()) {
      bench.SkipWithError("lost connection");
      break;
    }
  }
  cpu.report(bench);
  driver.close();
  bench.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["wire_us"] = 38 * 10 * 1e6 / 38400;  // 38 bytes of ten bits each at 38400 baud
}
BENCHMARK(BM_RoboSerialExchange)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
