// A whole session in velomat-sim, driven through its windows as a user drives them: start and connect,
// set up a motor, "LOS!", push the on-screen stick, see the motor turn, close its end switch, "NOT-AUS",
// "Ende"; then the next start brings back what was set.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "app/connection_dialog.h"
#include "app/sim_program.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "test_folder.h"
#include "ui/qt_message_boxes.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::choose;
using testing::click;

bool waitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 20000 && !done(); ++i) QTest::qWait(1);
  return done();
}

class SimSession : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0) SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    // The child of the death test below, started anew, works in its parent's folder.
    const bool child = !GTEST_FLAG_GET(internal_run_death_test).empty();
    folder_ = testing::makeTestFolder("velomat-session-");
    previous_ = fs::current_path();
    fs::current_path(folder_);
    if (!child) fs::remove(kSettingsFileName);
  }
  void TearDown() override {
    qtBoxes.abandonWaiting();  // a worker still waiting for a box is let go
    program.reset();
    fs::current_path(previous_);
    if (GTEST_FLAG_GET(internal_run_death_test).empty()) fs::remove_all(folder_);
  }

  // velomat-sim's start; the connection dialog, if it waits, gets `entry` ("IntInt COM1" unless
  // said), its "Extension- Modul" ticked when `extension` says so, and "Verbinden"; a greeting shown
  // by Qt gets OK.
  void start(const char* entry = "IntInt COM1", bool extension = false) {
    program = std::make_unique<SimProgram>(*shown, sim::SimOptions{.paced = false});
    qtBoxes.setParent(&program->mainDialog());  // as velomat-sim's main does
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [entry, extension] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* connection = dynamic_cast<ConnectionDialog*>(modal)) {
        connection->interfaceList()->setCurrentIndex(connection->interfaceList()->findText(entry));
        if (connection->extensionCheck()->isChecked() != extension) click(connection->extensionCheck());
        QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(connection, id::kEndButton)), Qt::LeftButton);
      } else if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
        box->button(QMessageBox::Ok)->click();
      }
    });
    user.start();
    program->start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->simulationWindow()));
  }
  SimulationControls& window() { return program->simulationWindow().controls(); }
  // The exchanges the simulated interface has made so far.
  uint64_t exchanges() { return program->intelligentInterface().wire().exchangeCount(); }

  // A user's click through the window system, where a modal box blocks the windows it holds.
  static void clickThroughWindow(QWidget* control) {
    QWidget* window = control->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      control->mapTo(window, control->rect().center()));
  }
  MainDialog& main() { return program->mainDialog(); }
  void sessionWithTheModule(const char* entry, bool robo);
  // "Ende" (in a death test's child, as it ends the process with 0), then the next start, which
  // reconnects the stored interface without a box.
  void endAndStartAgain() {
    EXPECT_EXIT(click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEndButton))),
                ::testing::ExitedWithCode(0), "");
    program.reset();
    boxes.shown.clear();
    start();
    EXPECT_TRUE(boxes.shown.empty());  // no greeting, no choice
  }

  testing::ScriptedBoxes boxes;
  QtMessageBoxes qtBoxes;
  MessageBoxes* shown = &boxes;  // scripted answers, or Qt's boxes answered by a user
  std::unique_ptr<SimProgram> program;

 private:
  fs::path folder_, previous_;
};

TEST_F(SimSession, a_session_steers_motor_1_with_the_on_screen_stick_and_the_next_start_restores_it) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // "Ende" ends the process; the child runs the session
  start();
  // Set up: motor 1 stops at its end switch E1; motor 3 turns right on its own.
  click(main().controls().endSwitchCheck[0]);
  click(main().controls().dirFixedRadio[2]);
  choose(main().controls().fixedDirList[2], "R");
  click(main().controls().startButton);

  // The stick pushed halfway to the left and held: motor 1 turns left; its share of on exchanges is
  // the Intelligent Interface's speed for X = 16384, (26000 - 16384) / 26000. The share is counted in
  // the words the program sent over 3000 exchanges, not measured in time: the gauge's share of its last
  // 150 ms is one pulse more or less with where the pattern stands, which only shows that it is driven.
  StickPad* stick = window().stick;
  QTest::mousePress(stick, Qt::LeftButton, {}, stick->pointOf({0, 0}).toPoint());
  QTest::mouseMove(stick, stick->pointOf({-0.5, 0}).toPoint());
  RunMonitor& sent = program->state().monitor;
  ASSERT_TRUE(waitUntil([&] { return sent.read().axes[0] == 16384; })) << "the run never read the stick";
  const RunSnapshot moved = sent.read();
  ASSERT_TRUE(waitUntil([&] { return sent.read().exchanges > moved.exchanges + 3000; }));
  const RunSnapshot held = sent.read();
  ASSERT_EQ(held.axes[0], 16384u);
  EXPECT_NEAR(static_cast<double>(held.driven[0] - moved.driven[0]) / (held.exchanges - moved.exchanges),
              (26000.0 - 16384) / 26000, 0.001);
  EXPECT_EQ(held.drivenDirection[0], kDirLeft);
  program->simulationWindow().refresh();
  OutputGauge* motor1 = window().gauges[0];
  EXPECT_EQ(motor1->direction(), kDirLeft);
  EXPECT_GT(motor1->fill(), 0);
  EXPECT_LT(motor1->fill(), 1);
  EXPECT_EQ(window().gauges[2]->direction(), kDirRight);

  // Its end switch closed on the simulation window: motor 1 stops, motor 3 goes on.
  click(window().inputs[0]);
  const uint64_t closed = exchanges();
  ASSERT_TRUE(waitUntil([&] { return exchanges() > closed + 2000; }));
  program->simulationWindow().refresh();
  EXPECT_EQ(motor1->direction(), kDirOff);
  EXPECT_EQ(window().gauges[2]->direction(), kDirRight);

  click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEmergencyStopButton)));
  QTest::mouseRelease(stick, Qt::LeftButton, {}, stick->pointOf({-0.5, 0}).toPoint());
  ASSERT_TRUE(waitUntil([&] { return program->intelligentInterface().lastOutputWord() == 0; }));
  // The next start reconnects the stored interface by itself and shows what was set.
  endAndStartAgain();
  EXPECT_EQ(program->intelligentInterface().openCount(), 1);
  EXPECT_TRUE(main().controls().endSwitchCheck[0]->isChecked());
  EXPECT_TRUE(main().controls().dirFixedRadio[2]->isChecked());
  EXPECT_EQ(main().controls().fixedDirList[2]->currentText(), "R");
}

// With "Extension- Modul" ticked, motors 5 to 8 are set up on the main window and turn on the
// simulated interface's module; the next start brings the 8 motors back. One session per test: "Ende"
// ends the process, which the death test's child does.
void SimSession::sessionWithTheModule(const char* entry, bool robo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  start(entry, true);
  ASSERT_EQ(program->state().connection.motorCount, 8);
  const auto motor6 = [&] {
    return robo ? program->roboInterface().direction(5) : program->intelligentInterface().direction(5);
  };
  // Motor 6 is the second panel of the extension module: it turns left on its own at full speed.
  PanelControls& c = main().controls();
  choose(c.moduleList, "Extensionmodul");
  ASSERT_EQ(c.motorGroup[1]->title(), "Motor 6");
  click(c.dirFixedRadio[1]);
  choose(c.fixedDirList[1], "L");
  click(c.startButton);
  ASSERT_TRUE(waitUntil([&] { return motor6() == kDirLeft; }));
  program->simulationWindow().refresh();
  EXPECT_EQ(window().gauges[5]->direction(), kDirLeft);
  EXPECT_TRUE(window().gauges[5]->isEnabled());
  if (robo) {
    EXPECT_EQ(program->roboInterface().level(5), 7);
  }

  click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEmergencyStopButton)));
  ASSERT_TRUE(waitUntil([&] {  // the all-off exchange
    return (robo ? program->roboInterface().lastOutputWord()
                 : program->intelligentInterface().lastOutputWord()) == 0;
  }));
  // The next start reconnects with the module and shows motor 6 as it was set.
  endAndStartAgain();
  EXPECT_EQ(program->state().connection.motorCount, 8);
  EXPECT_TRUE(robo ? program->roboInterface().extensionModule()
                   : program->intelligentInterface().hasExtension());
  ASSERT_EQ(main().controls().moduleList->count(), 2);
  choose(main().controls().moduleList, "Extensionmodul");
  EXPECT_TRUE(main().controls().dirFixedRadio[1]->isChecked());
  EXPECT_EQ(main().controls().fixedDirList[1]->currentText(), "L");
}

TEST_F(SimSession, a_ticked_extension_on_the_robo_interface_lets_motor_6_turn_and_comes_back_next_start) {
  sessionWithTheModule("ROBO USB", true);
}

TEST_F(SimSession, a_ticked_extension_module_on_the_intelligent_interface_lets_motor_6_turn_and_comes_back) {
  sessionWithTheModule("IntInt COM2", false);
}

// After connecting the main window has the keys, so that Enter is "NOT-AUS" at once.
TEST_F(SimSession, the_main_window_is_active_after_connecting_and_enter_stops_a_run) {
  start();
  EXPECT_EQ(QApplication::activeWindow(), &main());
  click(main().controls().startButton);
  ASSERT_EQ(main().controls().statusText->text(), "Run");
  QWidget* keys =
      QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : QApplication::activeWindow();
  ASSERT_NE(keys, nullptr);
  QTest::keyClick(keys, Qt::Key_Return);
  EXPECT_EQ(main().controls().statusText->text(), "Bereit");
  EXPECT_TRUE(waitUntil([&] { return main().worker()->finishedRuns() == 1; }));
}

// The simulation window is the hardware: with the lost-connection box up, the user plugs the line
// back in there and answers "Wiederholen", and the run goes on with the same words.
TEST_F(SimSession, a_connection_cut_during_a_run_and_restored_while_its_box_is_up_goes_on_with_wiederholen) {
  shown = &qtBoxes;
  start();
  click(main().controls().startButton);
  for (int i = 0; i < StickPad::kKeySteps; ++i) QTest::keyClick(window().stick, Qt::Key_Left);  // full left
  sim::SimIntelligentInterface& intInt = program->intelligentInterface();
  ASSERT_TRUE(waitUntil([&] { return intInt.lastOutputWord() == 0b01; }));  // motor 1 turns left

  int boxesSeen = 0;
  bool restoredByClick = false;
  QTimer user;  // what the user does while the box is up
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    if (box->text() != kLostConnectionText) return;
    if (++boxesSeen == 1) {
      clickThroughWindow(window().connection);  // "Verbindung wiederherstellen"
      restoredByClick = !intInt.wire().connectionLost();
    }
    intInt.wire().setConnectionLost(false);  // out of the box, whatever the click did
    for (QAbstractButton* button : box->buttons()) {
      if (button->text().remove('&') == "Wiederholen")
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    }
  });
  user.start();
  clickThroughWindow(window().connection);  // "Verbindung unterbrechen"
  ASSERT_TRUE(waitUntil([&] { return boxesSeen > 0 && QApplication::activeModalWidget() == nullptr; }));
  const auto through = [&] { return intInt.wire().exchangeCount() - intInt.wire().failedExchangeCount(); };
  const uint64_t before = through();
  ASSERT_TRUE(waitUntil([&] { return through() > before + 100; }));

  EXPECT_TRUE(restoredByClick) << "the box blocked the simulation window";
  EXPECT_EQ(boxesSeen, 1);
  EXPECT_EQ(window().connection->text().remove('&'), "Verbindung unterbrechen");
  EXPECT_EQ(intInt.lastOutputWord(), 0b01u);
  EXPECT_EQ(main().controls().statusText->text(), "Run");
  click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEmergencyStopButton)));
  EXPECT_TRUE(waitUntil([&] { return intInt.lastOutputWord() == 0; }));
}

}  // namespace
}  // namespace velomat
