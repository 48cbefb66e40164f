// What one control-cycle pass costs, next to the 3.1 ms of the fastest exchange with an interface.
#include <benchmark/benchmark.h>

#include "control/control_cycle.h"
#include "fake_joystick.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"

namespace velomat {
namespace {

void configure(SharedState& state, int32_t motorCount) {
  state.joystickCaps = {kJoyCapsHasZ | kJoyCapsHasPov, 3, 12};
  state.connection.motorCount = motorCount;
  state.connection.interfaceKind = kIntelligentInterface;
  applyTableDefaults(state.table, state.joystickCaps, motorCount);
  // Every kind of source in use: axes, hat, buttons, throttle, fixed, and end switches.
  bindDirectionAxis(state.table, 1, {SampleField::Pov, kPov1});
  set(state.table.dirFixed, 4, 0);
  set(state.table.dirFromButtons, 4, 1);
  set(state.table.speedFixed, 6, 0);
  set(state.table.speedFromThrottle, 6, 1);
  for (int slot = 0; slot < kSlotCount; ++slot) set(state.table.endSwitchesOn, slot, 1);
}

void BM_ControlCycleFrozenSample(benchmark::State& bench) {
  SharedState state;
  configure(state, static_cast<int32_t>(bench.range(0)));
  testing::FakeJoystick joystick;
  joystick.next.dwXpos = 10000;
  joystick.next.dwYpos = 50000;
  joystick.next.dwZpos = 40000;
  joystick.next.dwPOV = 27000;
  joystick.next.dwButtons = 0b10;
  RunState run;
  for (auto _ : bench) {
    controlCycle(run, state, joystick);
    benchmark::DoNotOptimize(run);
  }
}
BENCHMARK(BM_ControlCycleFrozenSample)->Arg(4)->Arg(8);

void BM_ControlCycleSdlVirtualJoystick(benchmark::State& bench) {
  SdlJoystick sdl;
  VirtualJoystick stick(3, 12, 1, "Testknueppel");
  if (!sdl.ok() || !stick.ok()) {
    bench.SkipWithError("no SDL virtual joystick");
    return;
  }
  SharedState state;
  configure(state, static_cast<int32_t>(bench.range(0)));
  RunState run;
  Sint16 x = -20000;
  for (auto _ : bench) {
    stick.axis(0, x);
    x = static_cast<Sint16>(-x);
    controlCycle(run, state, sdl);
    benchmark::DoNotOptimize(run);
  }
}
BENCHMARK(BM_ControlCycleSdlVirtualJoystick)->Arg(4)->Arg(8);

void BM_SdlJoystickRead(benchmark::State& bench) {
  SdlJoystick sdl;
  VirtualJoystick stick(6, 32, 1, "Testknueppel");
  if (!sdl.ok() || !stick.ok()) {
    bench.SkipWithError("no SDL virtual joystick");
    return;
  }
  JoySample sample;
  for (auto _ : bench) {
    benchmark::DoNotOptimize(sdl.joyGetPosEx(0, sample));
  }
}
BENCHMARK(BM_SdlJoystickRead);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
