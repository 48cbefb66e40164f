// The live view's record of a run: what counts as a driven output, and readings that never mix two
// exchanges while the worker publishes at full speed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "control/run_monitor.h"

namespace velomat {
namespace {

TEST(RunMonitor, an_output_counts_as_driven_only_with_exactly_one_direction_bit) {
  struct Row {
    const char* what;
    uint32_t outputWord;
    std::array<uint64_t, kMaxOutputs> driven;
  };
  const Row rows[] = {
      {"nothing", 0x0000, {}},
      {"output 1 left, output 4 right", 0x0081, {1, 0, 0, 1, 0, 0, 0, 0}},
      {"both bits of output 2: off", 0x000C, {}},
      {"every output of both modules", 0x9A65, {1, 1, 1, 1, 1, 1, 1, 1}},
      {"bits above the eight outputs", 0xFFFF0000, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunMonitor monitor;
    monitor.publish(JoySample{}, row.outputWord, 0, 0);
    const RunSnapshot seen = monitor.read();
    EXPECT_EQ(seen.driven, row.driven);
    EXPECT_EQ(seen.outputWord, row.outputWord);
    EXPECT_EQ(seen.exchanges, 1u);
  }
}

TEST(RunMonitor, a_reading_is_always_one_whole_exchange_and_the_run_ends_all_off) {
  RunMonitor monitor;
  std::atomic<bool> enough{false}, done{false};
  uint32_t exchanges = 0;
  std::thread worker([&] {
    monitor.setRunning(true);
    JoySample sample;
    for (uint32_t i = 1; !enough.load(std::memory_order_relaxed) || i < 1000; ++i, ++exchanges) {
      // Every field of exchange i tells i; output 1 is driven in every other exchange.
      sample.dwXpos = sample.dwYpos = sample.dwZpos = sample.dwRpos = sample.dwUpos = sample.dwVpos = i;
      sample.dwButtons = sample.dwPOV = i;
      monitor.publish(sample, (i & 1) ? 0x1u : 0x0u, i, i);
    }
    monitor.setRunning(false);
    done = true;
  });
  int mixed = 0, readings = 0;
  uint64_t last = 0;
  bool backwards = false;
  while (!done.load()) {
    const RunSnapshot seen = monitor.read();
    ++readings;
    const uint64_t i = seen.exchanges;
    if (i == 0) continue;
    bool whole = seen.buttons == i && seen.pov == i && seen.speedWord == (seen.running ? i : 0) &&
                 seen.inputWord == i && seen.driven[0] == (i + 1) / 2 &&
                 (seen.running ? seen.outputWord == (i & 1) : seen.outputWord == 0);
    for (uint32_t axis : seen.axes) whole = whole && axis == i;
    mixed += !whole;
    backwards |= i < last;
    last = i;
    if (readings == 100000) enough = true;  // the worker goes on until the reader has read its fill
  }
  worker.join();
  EXPECT_EQ(mixed, 0) << "of " << readings << " readings";
  EXPECT_FALSE(backwards);
  const RunSnapshot end = monitor.read();
  EXPECT_FALSE(end.running);
  EXPECT_EQ(end.exchanges, exchanges);
  EXPECT_EQ(end.outputWord, 0u);  // what the all-off exchange left
  EXPECT_EQ(end.driven[0], (exchanges + 1) / 2);
}

}  // namespace
}  // namespace velomat
