// What a serial exchange costs beyond its time on the wire: the drivers against a pseudo-terminal
// whose other end a thread plays as an interface that answers at once. A pseudo-terminal has no wire
// time, so the whole time per exchange is the cost: the driver's system calls, the terminal layer and
// the answering thread's turn. wire_us is what the same exchange takes on a real line.
#include <benchmark/benchmark.h>

#include "fake_usb_transport.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link/drivers/usb/hardware_robo_interface.h"
#include "pty_peer.h"

namespace velomat {
namespace {

using testing::Bytes;
using testing::PtyPeer;

void BM_IntelligentInterfaceSerialExchange(benchmark::State& bench) {
  const int32_t type = static_cast<int32_t>(bench.range(0));
  PtyPeer peer([](const Bytes& command, int) { return testing::intelligentInterfaceReply(command, 0x0102); },
               false);
  SerialIntelligentInterface driver([&](std::string_view) { return peer.path(); });
  IntIntRecord record;
  record.interfaceType = type;
  if (driver.open(record, "COM1") == kIntIntFailure) {
    bench.SkipWithError("the interface on the pseudo-terminal did not answer");
    return;
  }
  uint32_t outputWord = 0;
  for (auto _ : bench) {
    const uint32_t inputs = driver.exchange(record, outputWord++ & 0xFFFF);
    if (inputs == kIntIntFailure) {
      bench.SkipWithError("lost connection");
      break;
    }
    benchmark::DoNotOptimize(inputs);
  }
  driver.close(record);
  bench.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["wire_us"] = type == kIntIntSerialWithExtension ? 5200 : 3100;
}
BENCHMARK(BM_IntelligentInterfaceSerialExchange)
    ->Arg(kIntIntSerial)
    ->Arg(kIntIntSerialWithExtension)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// sendOutputs and readInputs of the ROBO Interface on a serial port: 17 bytes out, 21 back.
void BM_RoboSerialExchange(benchmark::State& bench) {
  PtyPeer peer([](const Bytes& command, int) { return testing::roboInterfaceReply(command, 0x81); }, false);
  testing::FakeUsbTransport usb;
  HardwareRoboInterface driver(usb, [&](std::string_view) { return peer.path(); });
  const uint32_t handle = driver.openSerial(70, 1, 0);
  if (handle == kRoboFailure) {
    bench.SkipWithError("the interface on the pseudo-terminal did not answer");
    return;
  }
  uint32_t outputWord = 0;
  for (auto _ : bench) {
    if (driver.sendOutputs(handle, outputWord++ & 0xFF, 0x7777, 0) == kRoboFailure ||
        driver.readInputs(handle) == kRoboFailure) {
      bench.SkipWithError("lost connection");
      break;
    }
  }
  driver.close(handle);
  bench.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["wire_us"] = 38 * 10 * 1e6 / 38400;  // 38 bytes of ten bits each at 38400 baud
}
BENCHMARK(BM_RoboSerialExchange)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
