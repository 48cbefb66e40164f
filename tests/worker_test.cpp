// Runs driven through the main window as a user drives them: "LOS!", the stick, the lists, "NOT-AUS",
// the stop controls, a lost joystick and a lost interface, against the simulated interfaces (without
// their wire time) and an SDL virtual joystick.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "app/end_process.h"
#include "app/live_view.h"
#include "app/main_dialog.h"
#include "gui_steps.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "link_doubles.h"
#include "main_window_steps.h"
#include "sim/simulation_window.h"
#include "worker_doubles.h"
#include "worker_steps.h"

namespace velomat {
namespace {

TEST_F(WorkerTest, after_los_the_outputs_follow_the_stick_in_the_next_exchange) {
  struct Row {
    const char* what;
    int32_t kind;
    int axis;
    Sint16 value;
    uint32_t bits, speedWord;
  };
  const Row rows[] = {
      {"Intelligent Interface, X left", kIntelligentInterface, 0, -32768, 0b01, 0},
      {"Intelligent Interface, X right", kIntelligentInterface, 0, 32767, 0b10, 0},
      {"ROBO Interface, Y forward", kRoboUsb, 1, 32767, 0b10 << 2, 0x0770},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    open(row.kind);
    constexpr size_t kAt = 20;
    log.during = [&](size_t index) {
      if (index == kAt) stick->axis(row.axis, row.value);
    };
    start(kAt + 3);
    const Exchange before = log.at(kAt), after = log.at(kAt + 1);
    EXPECT_EQ(before.outputWord & 0xF, 0u);  // the change came during exchange kAt
    EXPECT_EQ(after.outputWord & 0xF, row.bits);
    EXPECT_EQ(after.speedWord & 0xFF0, row.speedWord & 0xFF0);
    click(button(id::kEmergencyStopButton));
    waitForEnd();
    log.during = nullptr;
    stick->axis(row.axis, 0);
  }
}

TEST_F(WorkerTest, an_axis_list_acts_in_the_next_cycle_and_a_button_list_only_after_apply) {
  open(kRoboUsb);
  stick->axis(1, 32767);          // Y forward, X centred: motor 1 on X stands still
  click(c().dirButtonsRadio[1]);  // motor 2 from buttons 1 (L) and 2 (R)
  stick->button(0, true);
  start(5);
  const auto motor = [&](int m) { return (log.at(log.count() - 1).outputWord >> (2 * m)) & 3u; };
  EXPECT_EQ(motor(0), 0u);
  EXPECT_EQ(motor(1), kDirLeft);

  const size_t before = log.count();
  testing::chooseWithTheMouse(c().dirAxisList[0], "Y");
  const size_t chosen = log.count();
  // The first exchange carrying the new axis, once the worker has made it.
  size_t first = before;
  ASSERT_TRUE(waitUntil([&] {
    for (const size_t made = log.count(); first < made; ++first) {
      if ((log.at(first).outputWord & 3u) == kDirRight) return true;
    }
    return false;
  }));
  EXPECT_LE(first, chosen + 1);

  testing::chooseWithTheMouse(c().buttonLeftList[1], " 3");  // button 3 is not pressed
  const size_t edited = log.count();
  ASSERT_TRUE(waitUntil([&] { return log.count() > edited + 200; }));
  EXPECT_EQ(motor(1), kDirLeft) << "a button list acts only after \"Übernehmen\"";
  click(c().applyButton);
  ASSERT_TRUE(waitUntil([&] { return motor(1) == kDirOff; }));
  click(button(id::kEmergencyStopButton));
  waitForEnd();
  stick->button(0, false);
}

TEST_F(WorkerTest, every_way_a_run_ends_gives_exactly_one_all_off_exchange) {
  struct Row {
    const char* what;
    std::function<void(WorkerTest&)> arrange;  // before "LOS!"
    std::function<void(WorkerTest&)> stop;     // during the run, on the GUI thread
    bool applyEnabledAfter;
  };
  const Row rows[] = {
      {"NOT-AUS", nullptr, [](WorkerTest& t) { t.click(t.button(id::kEmergencyStopButton)); }, false},
      {"Aus-Button",
       [](WorkerTest& t) {
         t.click(t.c().stopButtonCheck);
         t.choose(t.c().stopButtonList, " 5");
       },
       [](WorkerTest& t) { t.stick->button(4, true); }, true},
      {"Aus-Taster",
       [](WorkerTest& t) {
         t.click(t.c().stopInputCheck);
         t.choose(t.c().stopInputList, "E3");
       },
       [](WorkerTest& t) { t.robo.setInput(2, true); }, true},
      {"reset, Yes", nullptr,
       [](WorkerTest& t) {
         t.boxes.answers = {BoxAnswer::Yes};
         t.click(t.button(id::kResetButton));
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    open(kRoboUsb);
    if (row.arrange) row.arrange(*this);
    start(50);
    row.stop(*this);
    waitForEnd();
    expectOneAllOffAtTheEnd();
    expectIdlePanel(row.applyEnabledAfter);
    stick->button(4, false);
    robo.setInput(2, false);
  }
  EXPECT_EQ(boxes.seen().size(), 1u);  // the reset question; the stops asked nothing
}

TEST_F(WorkerTest, stop_controls_act_in_the_iteration_they_are_seen_which_sends_nothing) {
  open(kRoboUsb);
  click(c().stopButtonCheck);
  choose(c().stopButtonList, " 8");
  log.during = [&](size_t index) {
    if (index == 30) stick->button(7, true);
  };
  start();
  waitForEnd();
  EXPECT_EQ(log.count(), 32u);  // exchanges 0..30, then the all-off one: the next iteration sent nothing
  expectOneAllOffAtTheEnd();
  stick->button(7, false);

  // "Aus-Taster:" with its input closed from the start acts only after the first exchange.
  open(kRoboUsb);
  click(c().stopInputCheck);
  choose(c().stopInputList, "E1");
  robo.setInput(0, true);
  start();
  waitForEnd();
  EXPECT_EQ(log.count(), 2u);
  expectOneAllOffAtTheEnd();
  expectIdlePanel(true);
}

TEST_F(WorkerTest, a_joystick_that_does_not_answer_at_los_asks_retry_or_cancel) {
  open(kIntelligentInterface);
  stick.reset();  // unplugged before "LOS!"
  // Cancel: no cycle, one all-off exchange, the panel ready again.
  boxes.answers = {BoxAnswer::Cancel};
  start(0);
  waitForEnd();
  EXPECT_EQ(log.all(), std::vector<Exchange>{kAllOff});
  expectIdlePanel(true);
  ASSERT_EQ(boxes.seen().size(), 1u);
  EXPECT_EQ(boxes.seen()[0].text, "Verbindung zum Joystick verloren");
  EXPECT_EQ(boxes.seen()[0].buttons, BoxButtons::RetryCancel);

  // Retry reads again: the stick is plugged back in while the box is up, and the run goes on.
  log.clear();
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  int asked = 0;
  boxes.onShow = [&](const testing::ShownBox&) {
    if (++asked == 2) plugIn();
  };
  start(10);
  EXPECT_EQ(boxes.seen().size(), 3u);
  click(button(id::kEmergencyStopButton));
  waitForEnd();
  expectOneAllOffAtTheEnd();
}

TEST_F(WorkerTest, a_stick_unplugged_during_a_run_ends_it_with_the_next_exchange_and_says_so) {
  open(kIntelligentInterface);
  log.during = [&](size_t index) {
    if (index == 40) stick->detach();
  };
  boxes.answers = {BoxAnswer::Ok};
  start();
  waitForEnd();
  EXPECT_EQ(log.count(), 42u);
  expectOneAllOffAtTheEnd();
  ASSERT_TRUE(waitUntil([&] { return boxes.seen().size() == 1; }));
  EXPECT_EQ(boxes.seen()[0].text, "Verbindung zum Joystick verloren");
  EXPECT_EQ(boxes.seen()[0].buttons, BoxButtons::Ok);
  expectIdlePanel(true);
}

// During a run Enter and the keypad's Enter are "NOT-AUS" wherever the focus is: on any control of the
// main window (also one just clicked), in the live view, in the simulation window. The run ends with its
// one all-off exchange and nothing else happens: no box, no "Übernehmen", no end of the program.
TEST_F(WorkerTest, enter_during_a_run_is_not_aus_whatever_has_the_focus_in_every_window) {
  SimulationWindow simulation(*stick, intInt, robo);
  const std::pair<const char*, std::function<QWidget*(WorkerTest&)>> rows[] = {
      {"NOT-AUS", [](WorkerTest& t) { return t.button(id::kEmergencyStopButton); }},
      {"Übernehmen", [](WorkerTest& t) { return t.c().applyButton; }},
      {"Ende", [](WorkerTest& t) { return t.button(id::kEndButton); }},
      {"Alle Einstellungen zurücksetzen", [](WorkerTest& t) { return t.button(id::kResetButton); }},
      {"the credits button", [](WorkerTest& t) { return t.button(id::kCreditsButton); }},
      {"a list", [](WorkerTest& t) { return t.c().dirAxisList[0]; }},
      {"a slider", [](WorkerTest& t) { return t.c().speedSlider[0]; }},
      {"the live view", [](WorkerTest& t) { return static_cast<QWidget*>(t.dialog->showLiveView()); }},
      {"the simulation window", [&simulation](WorkerTest&) { return static_cast<QWidget*>(&simulation); }},
  };
  for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
    for (const auto& [where, focus] : rows) {
      SCOPED_TRACE(::testing::Message() << where << (key == Qt::Key_Enter ? ", keypad" : ""));
      open(kRoboUsb);
      start(20);
      QWidget* target = focus(*this);
      target->window()->show();
      target->activateWindow();
      target->setFocus();
      QTest::keyClick(target, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
      waitForEnd();
      expectOneAllOffAtTheEnd();
      expectIdlePanel(false);
      EXPECT_TRUE(boxes.seen().empty());
    }
  }
}

// A run held longer than the interface waits for its next command (the process stopped, or starved)
// ends with its all-off exchange and says why, instead of starting the motors the interface has switched
// off. A lost-connection box that the user answers late is no such hold: "Wiederholen" goes on.
TEST_F(WorkerTest, a_run_held_longer_than_the_interface_waits_ends_and_says_so) {
  constexpr size_t kAt = 25;
  const auto hold = std::chrono::milliseconds(kInterfaceTimeOut) + std::chrono::milliseconds(100);
  struct Row {
    const char* what;
    bool inTheBox;  // held while the lost-connection box is up, not in the loop
    bool ends;
  };
  for (const Row& row : {Row{"held in an exchange", false, true}, Row{"a box answered late", true, false}}) {
    SCOPED_TRACE(row.what);
    open(kIntelligentInterface);
    log.during = [&](size_t index) {
      if (index != kAt) return;
      if (row.inTheBox) {
        intInt.wire().failExchanges(1);
      } else {
        std::this_thread::sleep_for(hold);
      }
    };
    boxes.answers = {BoxAnswer::Retry};
    boxes.onShow = [&](const testing::ShownBox&) { std::this_thread::sleep_for(hold); };
    start(row.ends ? 1 : kAt + 20);
    if (!row.ends) click(button(id::kEmergencyStopButton));
    waitForEnd();
    log.during = nullptr;
    boxes.onShow = nullptr;
    expectOneAllOffAtTheEnd();
    const auto seen = boxes.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, row.ends ? kHeldUpText : kLostConnectionText);
    if (row.ends) {
      EXPECT_EQ(log.count(), kAt + 2);  // the held exchange, then only the all-off one
    }
    expectIdlePanel(row.ends);  // a run that ends by itself leaves "Übernehmen" as a stop control does
    boxes.shown.clear();
  }
}

// While the live view is open, the inputs show before "LOS!": the worker reads them with all-off
// exchanges, and a line that fails then is shown there, not asked about. A run starts as always.
TEST_F(WorkerTest, with_the_live_view_open_the_inputs_show_between_runs_by_all_off_exchanges) {
  open(kRoboUsb);
  LiveView* view = dialog->showLiveView();
  ASSERT_NE(view, nullptr);
  robo.setInput(0, true);  // E1 closed before "LOS!"
  ASSERT_TRUE(waitUntil([&] {
    view->refresh();
    return view->controls().inputs[0]->isLit();
  }));
  robo.wire().setConnectionLost(true);
  ASSERT_TRUE(waitUntil([&] {
    view->refresh();
    return view->controls().rate->text() == "Verbindung unterbrochen";
  }));
  EXPECT_TRUE(view->controls().inputs[0]->isLit());  // as last read
  robo.wire().setConnectionLost(false);
  robo.setInput(0, false);
  ASSERT_TRUE(waitUntil([&] {
    view->refresh();
    return !view->controls().inputs[0]->isLit() && view->controls().rate->text() != "Verbindung unterbrochen";
  }));
  EXPECT_TRUE(boxes.seen().empty());
  const auto between = log.all();
  ASSERT_FALSE(between.empty());
  for (const Exchange& e : between) EXPECT_EQ(e.outputWord | e.speedWord, 0u) << "a word that drives";

  start(between.size() + 10);  // a run as always: motor 3 is driven
  EXPECT_EQ(log.at(log.count() - 1).outputWord, kMotor3Right);
  click(button(id::kEmergencyStopButton));
  waitForEnd();
  view->close();
}

TEST_F(WorkerTest, a_lost_interface_with_retry_resumes_with_the_same_words) {
  open(kIntelligentInterface);
  log.during = [&](size_t index) {
    if (index == 25) intInt.wire().failExchanges(2);
  };
  boxes.answers = {BoxAnswer::Retry, BoxAnswer::Retry};
  start(40);
  click(button(id::kEmergencyStopButton));
  waitForEnd();
  const auto all = log.all();
  EXPECT_TRUE(all[25].failed && all[26].failed && !all[27].failed);
  EXPECT_EQ(all[26].outputWord, all[25].outputWord);
  EXPECT_EQ(all[27].outputWord, all[25].outputWord);
  const auto seen = boxes.seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "Verbindung zum Interface verloren");
}

// "NOT-AUS" clicked while an exchange fails, the lost-connection box answered "Wiederholen": the
// motors' words of the exchange under way never go out again, only the run's one all-off exchange.
TEST_F(WorkerTest, retry_after_not_aus_sends_only_the_all_off_exchange) {
  for (const int32_t kind : {kIntelligentInterface, kRoboUsb}) {
    SCOPED_TRACE(kind);
    open(kind);
    constexpr size_t kAt = 25;
    log.during = [&](size_t index) {
      if (index != kAt) return;
      (kind < 0 ? intInt.wire() : robo.wire()).failExchanges(1);
      QMetaObject::invokeMethod(button(id::kEmergencyStopButton), &QAbstractButton::click);
      while (state.stopRequested.load() == 0) std::this_thread::yield();
    };
    boxes.answers = {BoxAnswer::Retry};
    start();
    waitForEnd();
    log.during = nullptr;
    const auto all = log.all();
    ASSERT_EQ(all.size(), kAt + 2);
    EXPECT_TRUE(all[kAt].failed);
    EXPECT_EQ(all.back(), kAllOff);
    EXPECT_EQ(boxes.seen().size(), 1u);
    expectIdlePanel(false);
    boxes.shown.clear();
  }
}

TEST_F(WorkerTest, an_end_switch_closed_on_the_interface_stops_its_motor_in_the_next_cycle) {
  open(kIntelligentInterface);
  click(c().endSwitchCheck[0]);  // motor 1 on X, E1 stops "L"
  stick->axis(0, -32768);
  log.during = [&](size_t index) {
    if (index == 30) intInt.setInput(0, true);
  };
  start(40);
  click(button(id::kEmergencyStopButton));
  waitForEnd();
  EXPECT_EQ(log.at(30).outputWord & 3u, kDirLeft);
  EXPECT_EQ(log.at(31).outputWord & 3u, kDirOff);
  EXPECT_EQ(log.at(39).outputWord & 3u, kDirOff);
}

TEST_F(WorkerTest, the_throttle_cut_at_two_percent_keeps_the_output_off) {
  open(kIntelligentInterface);
  click(c().dirFixedRadio[1]);  // motor 2: fixed "L", speed from the throttle (Z)
  choose(c().fixedDirList[1], "L");
  click(c().throttleRadio[1]);
  choose(c().throttleList[1], "Z");
  const auto onCount = [&] {
    int on = 0;
    for (const Exchange& e : log.all()) on += ((e.outputWord >> 2) & 3u) == kDirLeft;
    return on;
  };
  struct Row {
    uint32_t z;  // the throttle as the sample reads it
    bool drives;
  };
  for (const Row row : {Row{1310, false}, Row{1500, true}}) {
    SCOPED_TRACE(row.z);
    log.clear();
    stick->axis(2, static_cast<Sint16>(static_cast<int>(row.z) - 32768));
    start(2000);
    click(button(id::kEmergencyStopButton));
    waitForEnd();
    EXPECT_EQ(onCount() > 0, row.drives);
  }
}

// Random sequences of what a user does during and between runs, at random moments, against the
// simulation without wire time, whose line glitches now and then. After each sequence: every run ended with
// exactly one all-off exchange and nothing followed it, a "NOT-AUS" was never lost, and the panel shows what
// the worker does.
TEST_F(WorkerTest, random_sequences_of_runs_stops_and_edits_keep_every_promise) {
  open(kRoboUsb);
  boxes.answers.assign(1000000, BoxAnswer::Retry);  // the line glitches now and then: "Wiederholen"
  std::mt19937 random(2024);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  QComboBox* const axisLists[] = {c().dirAxisList[0], c().speedAxisList[0], c().throttleList[0],
                                  c().dirAxisList[1], c().speedAxisList[1], c().throttleList[3]};
  QAbstractButton* const stopButton = button(id::kEmergencyStopButton);
  constexpr int actions = 100000;
  int done = 0, sequences = 0;
  while (done < actions) {
    log.clear();  // the worker is idle between sequences
    const uint64_t runsBefore = dialog->worker()->latestRun();
    bool stoppedLast = true;
    for (int n = 1 + pick(8); n > 0; --n, ++done) {
      switch (pick(12)) {
        case 0:
        case 1:
          if (c().startButton->isEnabled()) stoppedLast = false;
          c().startButton->click();
          break;
        case 2:
          stopButton->click();
          stoppedLast = true;
          break;
        case 3:
          c().stopButtonCheck->click();
          break;
        case 4:
          c().stopButtonList->setCurrentIndex(pick(9) - 1);
          break;
        case 5:
          c().stopInputCheck->click();
          c().stopInputList->setCurrentIndex(pick(9) - 1);
          break;
        case 6:
          stick->button(pick(8), pick(2) == 0);
          break;
        case 7:
          robo.setInput(pick(8), pick(3) == 0);
          break;
        case 8:
          c().applyButton->click();
          break;
        case 9: {
          QComboBox* list = axisLists[pick(6)];
          const int index = pick(list->count());
          list->setCurrentIndex(index);
          emit list->activated(index);
          break;
        }
        case 10:
          robo.wire().failExchanges(1 + pick(2));
          break;
        default:
          stick->axis(pick(3), static_cast<Sint16>(pick(65536) - 32768));
          break;
      }
      switch (pick(3)) {  // the next action comes at once, after the window's events, or a little later
        case 0:
          break;
        case 1:
          QCoreApplication::processEvents();
          break;
        default:
          std::this_thread::sleep_for(std::chrono::microseconds(pick(300)));
          break;
      }
    }
    ++sequences;
    // A "NOT-AUS" ends the run without help; after a "LOS!" the test stops it.
    if (!stoppedLast) stopButton->click();
    ControlWorker& worker = *dialog->worker();
    ASSERT_TRUE(waitUntil([&] { return worker.finishedRuns() == worker.latestRun(); }))
        << "a run went on after \"NOT-AUS\" (sequence " << sequences << ")";
    // With no run and none waiting the worker sends nothing more (the inputs are not watched here), so
    // an exchange after the last all-off one would be in the log by now.
    ASSERT_TRUE(worker.waitUntilEnded(std::chrono::seconds(20)).stopped) << "sequence " << sequences;
    const uint64_t runs = worker.latestRun() - runsBefore;
    const auto all = log.all();
    const auto allOff = std::count(all.begin(), all.end(), kAllOff);
    ASSERT_EQ(static_cast<uint64_t>(allOff), runs) << "sequence " << sequences;
    if (runs > 0) {
      ASSERT_EQ(all.back(), kAllOff) << "sequence " << sequences;
    }
    ASSERT_EQ(c().statusText->text(), "Bereit") << "sequence " << sequences;
    ASSERT_TRUE(c().startButton->isEnabled()) << "sequence " << sequences;
  }
  RecordProperty("sequences", sequences);
}

}  // namespace
}  // namespace velomat
