// One whole iteration of the run loop (control cycle, speed shaping, exchange, the record for the live
// view) against the simulated interfaces, and the exchange rate the paced simulation reaches against its wire limit.
#include <benchmark/benchmark.h>

#include "control/output_stage.h"
#include "fake_joystick.h"
#include "link/drivers/sim/sim_interfaces.h"

namespace velomat {
namespace {

class NeverAsked final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view, std::string_view, BoxButtons) override { return BoxAnswer::Retry; }
};

struct Loop {
  Loop(int32_t kind, int32_t motorCount, bool paced)
      : intInt({.paced = paced}),
        robo({.paced = paced}),
        link(intInt, robo, state.connection),
        runLink(link, state.stopRequested, boxes) {
    state.joystickCaps = {kJoyCapsHasZ | kJoyCapsHasPov, 3, 12};
    state.connection.interfaceKind = kind;
    state.connection.motorCount = motorCount;
    state.connection.hasExtension = motorCount == 8;
    state.connection.portNumber = 1;
    applyTableDefaults(state.table, state.joystickCaps, motorCount);
    for (int slot = 0; slot < kSlotCount; ++slot) {
      set(state.table.endSwitchesOn, slot, 1);
      set(state.table.fixedDirSel, slot, kDirRight);
      set(state.table.speedPercent, slot, static_cast<uint8_t>(10 + 10 * slot));
    }
    joystick.next.dwXpos = 10000;
    joystick.next.dwYpos = 50000;
    intInt.setExtensionModule(motorCount == 8);
    link.openInterface();
  }
  // As the worker's loop does it, the live view's record included.
  void iteration() {
    controlCycle(run, state, joystick);
    shapeSpeeds(run, state);
    run.lastInputWord = driveOutputs(run, state, runLink);
    state.monitor.publish(state.joySample, run.outputWord, run.speedWord, run.lastInputWord);
  }

  SharedState state;
  testing::FakeJoystick joystick;
  sim::SimIntelligentInterface intInt;
  sim::SimRoboInterface robo;
  NeverAsked boxes;
  InterfaceLink link;
  RunLink runLink;
  RunState run;
};

void BM_LoopIterationIntelligentInterface(benchmark::State& bench) {
  Loop loop(kIntelligentInterface, static_cast<int32_t>(bench.range(0)), false);
  for (auto _ : bench) loop.iteration();
  benchmark::DoNotOptimize(loop.run);
}
BENCHMARK(BM_LoopIterationIntelligentInterface)->Arg(4)->Arg(8);

void BM_LoopIterationRobo(benchmark::State& bench) {
  Loop loop(kRoboUsb, 4, false);
  for (auto _ : bench) loop.iteration();
  benchmark::DoNotOptimize(loop.run);
}
BENCHMARK(BM_LoopIterationRobo);

// Real time per iteration against the paced simulation; wire_limit is what the link allows at most.
void BM_PacedExchangeRate(benchmark::State& bench) {
  const int32_t kind = static_cast<int32_t>(bench.range(0));
  const int32_t motorCount = static_cast<int32_t>(bench.range(1));
  Loop loop(kind, motorCount, true);
  const sim::SimWire& wire = kind < 0 ? loop.intInt.wire() : loop.robo.wire();
  for (auto _ : bench) loop.iteration();
  const double wireSeconds = std::chrono::duration<double>(wire.exchangeTime()).count();
  bench.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["wire_limit_per_s"] = 1 / wireSeconds;
}
BENCHMARK(BM_PacedExchangeRate)
    ->Args({kIntelligentInterface, 4})
    ->Args({kIntelligentInterface, 8})
    ->Args({kRoboUsb, 4})
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
