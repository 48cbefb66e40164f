// How fast a run answers the user, against the paced simulated Intelligent Interface (3.1 ms on the
// wire per exchange): from "NOT-AUS" to the start of the all-off exchange, and from a stick movement to
// the start of the first exchange that carries it. Each reports the median and the maximum over all
// its iterations (counters median_ms, p99_ms and max_ms), on a quiet machine (load:0) and beside two threads
// that keep two processors busy (load:1). scripts/bench.sh runs them as an ordinary user, who may not
// raise the worker's priority.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "control/control_worker.h"
#include "fake_joystick.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"

namespace velomat {
namespace {

using Clock = std::chrono::steady_clock;

// Remembers when each exchange began, and when the first one carrying a wanted direction began.
class TimedIntInt final : public IntelligentInterfaceDriver {
 public:
  explicit TimedIntInt(IntelligentInterfaceDriver& inner) : inner_(inner) {}
  bool open(IntIntPort port, int32_t portNumber) override { return inner_.open(port, portNumber); }
  Inputs exchange(uint32_t outputWord) override {
    const auto now = Clock::now().time_since_epoch().count();
    lastStart.store(now);
    count.fetch_add(1);
    if ((outputWord & 3u) == wanted.load() && carriedAt.load() == 0) carriedAt.store(now);
    return inner_.exchange(outputWord);
  }
  void close() override { inner_.close(); }

  std::atomic<Clock::rep> lastStart{0};
  std::atomic<uint64_t> count{0};
  std::atomic<uint32_t> wanted{0xFF};  // motor 1's direction bits to wait for
  std::atomic<Clock::rep> carriedAt{0};

 private:
  IntelligentInterfaceDriver& inner_;
};

class NoBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view, std::string_view, BoxButtons) override { return BoxAnswer::Retry; }
};

class Report final : public RunReport {
 public:
  void runFinished(uint64_t, RunEnd) override {}
};

// The worker with everything it needs, on the paced simulation.
struct Rig {
  explicit Rig(JoystickSource& joystick, uint32_t id, JoystickCaps caps)
      : line(simulation), link(line, robo, state.connection) {
    state.joystickId = id;
    state.joystickCaps = caps;
    state.connection = {kIntelligentInterface, 1, 0, 0, 4};
    applyTableDefaults(state.table, caps, 4);
    link.openInterface();
    worker = std::make_unique<ControlWorker>(state, joystick, link, boxes, report);
    worker->start();
  }
  void waitForExchanges(uint64_t n) {
    const uint64_t until = line.count.load() + n;
    while (line.count.load() < until) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }

  SharedState state;
  sim::SimIntelligentInterface simulation;
  sim::SimRoboInterface robo;
  TimedIntInt line;
  NoBoxes boxes;
  Report report;
  InterfaceLink link;
  std::unique_ptr<ControlWorker> worker;
};

// Threads that keep processors busy for as long as they live.
class BusyThreads {
 public:
  explicit BusyThreads(int count) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this] {
        while (busy_.load(std::memory_order_relaxed)) {
        }
      });
    }
  }
  ~BusyThreads() {
    busy_ = false;
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> busy_{true};
  std::vector<std::thread> threads_;
};

void reportSpread(benchmark::State& state, std::vector<double> millis) {
  if (millis.empty()) return;
  std::sort(millis.begin(), millis.end());
  state.counters["median_ms"] = millis[millis.size() / 2];
  state.counters["p99_ms"] = millis[millis.size() * 99 / 100];
  state.counters["max_ms"] = millis.back();
  state.counters["stops"] = static_cast<double>(millis.size());
}

void BM_NotAusToAllOffExchange(benchmark::State& state) {
  const BusyThreads load(state.range(0) != 0 ? 2 : 0);
  testing::FakeJoystick joystick;
  joystick.next.dwXpos = 10000;  // motor 1 runs left
  Rig rig(joystick, 0, {0, 2, 4});
  std::mt19937 random(1);
  std::vector<double> millis;
  for (auto _ : state) {
    const uint64_t finished = rig.worker->finishedRuns();
    rig.worker->requestRun();
    rig.waitForExchanges(3);
    // "NOT-AUS" comes at any moment of an exchange.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3100));
    const auto pressed = Clock::now();
    rig.worker->requestStop();
    while (rig.worker->finishedRuns() == finished) std::this_thread::sleep_for(std::chrono::microseconds(50));
    const double seconds =
        std::chrono::duration<double>(Clock::duration(rig.line.lastStart.load()) - pressed.time_since_epoch())
            .count();
    state.SetIterationTime(seconds);
    millis.push_back(seconds * 1000);
  }
  reportSpread(state, std::move(millis));
}
BENCHMARK(BM_NotAusToAllOffExchange)
    ->ArgName("load")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_StickToFirstExchangeCarryingIt(benchmark::State& state) {
  const BusyThreads load(state.range(0) != 0 ? 2 : 0);
  SdlJoystick sdl;
  VirtualJoystick stick(3, 8, 1, "Bench-Knueppel");
  const uint32_t id = static_cast<uint32_t>(SDL_NumJoysticks() - 1);
  JoyCapsRecord caps;
  if (sdl.joyGetDevCaps(id, caps) != kJoyNoError) {
    state.SkipWithError("no virtual joystick");
    return;
  }
  Rig rig(sdl, id, JoystickCaps::fromRecord(caps));
  rig.worker->requestRun();
  rig.waitForExchanges(3);
  std::mt19937 random(2);
  std::vector<double> millis;
  bool left = false;
  for (auto _ : state) {
    // The stick moves at any moment of an exchange, from one side to the other.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3100));
    left = !left;
    rig.line.wanted.store(left ? kDirLeft : kDirRight);
    rig.line.carriedAt.store(0);
    const auto moved = Clock::now();
    stick.axis(0, left ? -32768 : 32767);
    while (rig.line.carriedAt.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    const double seconds =
        std::chrono::duration<double>(Clock::duration(rig.line.carriedAt.load()) - moved.time_since_epoch())
            .count();
    state.SetIterationTime(std::max(seconds, 0.0));
    millis.push_back(seconds * 1000);
  }
  rig.worker->end(std::chrono::seconds(1));
  reportSpread(state, std::move(millis));
}
BENCHMARK(BM_StickToFirstExchangeCarryingIt)
    ->ArgName("load")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
