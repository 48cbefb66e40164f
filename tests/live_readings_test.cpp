// What the live view shows: the run's record (what counts as a driven output, readings that never mix
// two exchanges while the worker publishes at full speed), and what the view works out of it: rate,
// on-shares over a short window, directions and levels, marks on moved controls, end-switch owners.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "control/live_readings.h"
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

// The worker publishes in a tight loop, faster than the reader can read: every reading must still be
// one whole exchange, and the reader must get its readings (the worker goes on until it has).
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
  uint64_t lastExchanges = 0, lastRecord = 0;
  bool backwards = false;
  while (!done.load()) {
    const RunSnapshot seen = monitor.read();
    if (++readings >= 100000) enough = true;  // the worker goes on until the reader has read its fill
    const uint32_t i = seen.buttons;          // the exchange the record is of
    if (i == 0) continue;                     // none published yet
    bool whole = seen.pov == i && seen.inputWord == i &&
                 (seen.running ? seen.speedWord == i && seen.outputWord == (i & 1)
                               : seen.speedWord == 0 && seen.outputWord == 0);
    for (uint32_t axis : seen.axes) whole = whole && axis == i;
    mixed += !whole;
    backwards |= seen.exchanges < lastExchanges || i < lastRecord || seen.driven[0] > seen.exchanges + 1;
    lastExchanges = seen.exchanges;
    lastRecord = i;
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

using Clock = LiveReadings::Clock;
using std::chrono::milliseconds;

// A worker as the view sees it: each refresh, 33 ms after the one before, brings `exchanges` more
// exchanges, of which `driven` drove output 1.
struct Refreshes {
  LiveReadings view;
  RunSnapshot run;
  Clock::time_point now{milliseconds(1000)};
  void step(uint64_t exchanges, uint64_t driven, int times = 1, StickReading stick = {}) {
    for (int i = 0; i < times; ++i) {
      now += milliseconds(33);
      run.running = true;
      run.exchanges += exchanges;
      run.driven[0] += driven;
      view.update(run, stick, now);
    }
  }
  // A refresh that came late, the GUI thread held up for `late`, with the exchanges made meanwhile.
  void lateStep(milliseconds late, uint64_t exchanges, uint64_t driven) {
    now += late;
    run.exchanges += exchanges;
    run.driven[0] += driven;
    view.update(run, {}, now);
  }
};

TEST(LiveReadings, the_on_share_follows_the_last_150_ms_and_the_rate_the_last_second) {
  struct Row {
    const char* what;
    std::function<void(Refreshes&)> refreshes;
    double share, rate;
  };
  const Row rows[] = {
      {"held at half speed", [](Refreshes& r) { r.step(100, 50, 40); }, 0.5, 100 / 0.033},
      {"full speed, then off for 200 ms", [](Refreshes& r) { r.step(100, 100, 40), r.step(100, 0, 6); }, 0,
       100 / 0.033},
      {"off for a long hold, then full for 200 ms",
       [](Refreshes& r) { r.step(100, 0, 300), r.step(100, 100, 6); }, 1, 100 / 0.033},
      {"a run stopped a second ago", [](Refreshes& r) { r.step(100, 100, 10), r.step(0, 0, 31); }, 0, 0},
      // No refresh lies within the last 150 ms: the one before them counts, never none.
      {"full speed, the refresh 200 ms late",
       [](Refreshes& r) { r.step(100, 100, 40), r.lateStep(milliseconds(200), 600, 600); }, 1, 100 / 0.033},
      {"before the first refresh", [](Refreshes&) {}, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Refreshes r;
    row.refreshes(r);
    EXPECT_NEAR(r.view.share(0), row.share, 0.01);
    EXPECT_NEAR(r.view.exchangeRate(), row.rate, row.rate * 0.05);
  }
}

// Each refresh finds a run that sent `words` since the last one.
TEST(LiveReadings, directions_hold_through_a_pwm_pattern_and_levels_are_those_the_last_exchange_sent) {
  struct Row {
    const char* what;
    bool running;
    std::vector<uint32_t> outputWords;  // sent in turn, over and over
    uint32_t speedWord;
    int output;
    uint8_t direction;
    int level;
  };
  const Row rows[] = {
      {"output 1 left at level 7", true, {0x01}, 0x7, 0, kDirLeft, 7},
      {"output 4 right at level 3", true, {0x80}, 0x3000, 3, kDirRight, 3},
      {"output 8 right, extension module", true, {0x8000}, 0x50000000, 7, kDirRight, 5},
      {"output 2 right in one exchange of four (PWM)", true, {0x00, 0x00, 0x00, 0x08}, 0, 1, kDirRight, 0},
      {"both bits: off, whatever the level", true, {0x0C}, 0x60, 1, kDirOff, 0},
      {"no run: off", false, {0x01}, 0x7, 0, kDirOff, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunMonitor monitor;
    LiveReadings view;
    monitor.setRunning(true);
    auto now = LiveReadings::Clock::time_point(milliseconds(1000));
    for (int refresh = 0; refresh < 10; ++refresh) {
      for (int i = 0; i < 100; ++i) {
        monitor.publish(JoySample{}, row.outputWords[static_cast<size_t>(i) % row.outputWords.size()],
                        row.speedWord, 0);
      }
      if (!row.running && refresh == 9) monitor.setRunning(false);
      now += milliseconds(33);
      view.update(monitor.read(), {}, now);
    }
    EXPECT_EQ(view.direction(row.output), row.direction);
    EXPECT_EQ(view.level(row.output), row.level);
  }
}

TEST(LiveReadings, a_control_the_user_moves_is_marked_for_a_second_and_a_resting_one_is_not) {
  struct Row {
    const char* what;
    std::function<void(StickReading&)> move;  // between two refreshes
    int steps;                                // refreshes with that move each
    int after;                                // quiet refreshes after
    bool axisX, button3, hat;
  };
  const Row rows[] = {
      {"X jitters at rest", [](StickReading& s) { s.axes[0] ^= 600; }, 30, 0, false, false, false},
      {"X pushed to the side", [](StickReading& s) { s.axes[0] = 0; }, 1, 0, true, false, false},
      {"X drawn over slowly", [](StickReading& s) { s.axes[0] += 400; }, 8, 0, true, false, false},
      {"X pushed, then left a second", [](StickReading& s) { s.axes[0] = 0; }, 1, 31, false, false, false},
      {"button 3 pressed", [](StickReading& s) { s.buttons |= 4; }, 1, 10, false, true, false},
      {"hat to the right", [](StickReading& s) { s.pov = 9000; }, 1, 0, false, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Refreshes r;
    StickReading stick;
    r.step(0, 0, 1, stick);
    for (int i = 0; i < row.steps; ++i) {
      row.move(stick);
      r.step(0, 0, 1, stick);
    }
    r.step(0, 0, row.after, stick);
    EXPECT_EQ(r.view.axisMoved(0), row.axisX);
    EXPECT_FALSE(r.view.axisMoved(1));
    EXPECT_EQ(r.view.buttonMoved(2), row.button3);
    EXPECT_EQ(r.view.hatMoved(), row.hat);
  }
}

TEST(LiveReadings, each_input_names_the_motors_whose_end_switches_it_is) {
  struct Row {
    const char* what;
    int32_t motorCount;
    std::function<void(ConfigTable&)> arrange;
    std::vector<std::pair<int, std::string>> owners;  // input index, owners; every other input none
  };
  const auto endSwitches = [](int slot, uint8_t left, uint8_t right) {
    return [=](ConfigTable& t) {
      set(t.endSwitchesOn, slot, 1);
      set(t.endSwitchLeftSel, slot, left);
      set(t.endSwitchRightSel, slot, right);
    };
  };
  const Row rows[] = {
      {"nothing ticked", 4, [](ConfigTable&) {}, {}},
      {"motor 1 with its defaults", 4, endSwitches(0, 0, 1), {{0, "M1 L"}, {1, "M1 R"}}},
      {"motor 5 on the extension module", 8, endSwitches(1, 8, 9), {{8, "M5 L"}, {9, "M5 R"}}},
      {"motor 5 without the module drives nothing", 4, endSwitches(1, 8, 9), {}},
      {"two motors on one input",
       4,
       [&](ConfigTable& t) { endSwitches(0, 4, 5)(t), endSwitches(2, 6, 4)(t); },
       {{4, "M1 L, M2 R"}, {5, "M1 R"}, {6, "M2 L"}}},
      {"a list without selection", 4, endSwitches(4, kNoSelection, 3), {{3, "M3 R"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ConfigTable table;
    row.arrange(table);
    std::array<std::string, kMaxInputs> want;
    for (const auto& [input, owner] : row.owners) want[static_cast<size_t>(input)] = owner;
    EXPECT_EQ(endSwitchOwners(table, row.motorCount), want);
  }
}

}  // namespace
}  // namespace velomat
