// Every window of the program as a user meets it, on the screens users have: CTest runs this suite on
// a 1600x1200 screen, at scale factors 1.5 and 2, on a 1366x768 laptop screen (also at 1.25) and
// with the font at 144 dpi. Every window lies wholly on the screen, shows every text in full with no
// frame line through it, and velomat-sim's two windows stand side by side. Each window is shown in a
// light and in a dark palette, and every part the program paints itself stands out from its ground.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/about_dialog.h"
#include "app/connection_dialog.h"
#include "app/live_view.h"
#include "app/main_dialog.h"
#include "app/sim_program.h"
#include "control/control_worker.h"
#include "fake_joystick.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "painted_parts.h"
#include "panel/panel.h"
#include "ui/qt_message_boxes.h"
#include "ui/window_placement.h"
#include "window_fit.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::fitProblems;
using testing::joined;
using testing::whenModalShows;

// The windows in a light palette and in a dark one (the parameter: dark).
class Windows : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { palette_.emplace(GetParam() ? testing::darkPalette() : testing::lightPalette()); }
  void TearDown() override { palette_.reset(); }

  // Every painted part of `window` stands out from its ground; at least `least` parts were found.
  static void expectContrast(QWidget* window, const char* name, int least) {
    int checked = 0;
    const std::vector<std::string> problems = testing::contrastProblems(window, &checked);
    EXPECT_TRUE(problems.empty()) << name << ":" << joined(problems);
    EXPECT_GE(checked, least) << name << ": the painted parts were not found";
  }

 private:
  std::optional<testing::PaletteInUse> palette_;
};

INSTANTIATE_TEST_SUITE_P(Palettes, Windows, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& palette) {
                           return std::string(palette.param ? "dark" : "light");
                         });

constexpr uint32_t kAllAxes = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV;

// The screen CTest asked for, as "WIDTHxHEIGHT" in logical pixels; checked, so that a platform that
// ignored its screen cannot pass for one that fits.
TEST(Screen, is_the_one_the_test_run_asked_for) {
  const QString asked = qEnvironmentVariable("VELOMAT_TEST_SCREEN");
  if (asked.isEmpty()) GTEST_SKIP() << "run on the offscreen platform's own screen";
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(QString("%1x%2").arg(screen.width()).arg(screen.height()), asked);
}

// The checks find what they look for: a cut text, a frame line through a text, a window off the screen.
TEST(FitCheck, finds_a_cut_text_a_line_through_a_text_and_a_window_off_the_screen) {
  QWidget window;
  window.resize(300, 120);
  auto* cut = new QLabel("Verbindung unterbrechen", &window);
  cut->setGeometry(10, 10, 40, 20);
  auto* group = new QGroupBox("Motor 1", &window);
  group->setGeometry(10, 40, 200, 60);
  auto* crossed = new QLabel("Geschwindigkeit:", &window);
  crossed->setGeometry(60, 90, 120, 20);  // across the group's bottom line
  window.move(QGuiApplication::primaryScreen()->availableGeometry().bottomRight() - QPoint(100, 50));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const std::string found = joined(fitProblems(&window));
  EXPECT_NE(found.find("the text of QLabel \"Verbindung unterbrechen\" is cut"), std::string::npos) << found;
  EXPECT_NE(found.find("runs through the text of QLabel \"Geschwindigkeit:\""), std::string::npos) << found;
  EXPECT_NE(found.find("is not wholly on the screen"), std::string::npos) << found;
}

// The contrast check finds what it looks for: Fusion's own check box and radio button on a dark palette
// (a square and a circle 1.2:1 on the window), and none of that in the program's style.
TEST(FitCheck, finds_a_check_square_and_a_radio_circle_that_vanish_on_a_dark_palette) {
  testing::PaletteInUse dark(testing::darkPalette());
  for (const bool classic : {false, true}) {
    SCOPED_TRACE(classic ? "the program's style" : "Fusion's");
    QWidget window;
    auto* check = new QCheckBox("Aus-Taster:", &window);
    auto* radio = new QRadioButton("Achse:", &window);
    check->setGeometry(10, 10, 120, 20);
    radio->setGeometry(10, 40, 120, 20);
    if (classic) applyClassicStyle(&window);
    window.resize(200, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int checked = 0;
    const std::string found = joined(testing::contrastProblems(&window, &checked));
    EXPECT_EQ(checked, 2);
    EXPECT_EQ(found.find("the square of QCheckBox \"Aus-Taster:\"") != std::string::npos, !classic) << found;
    EXPECT_EQ(found.find("the circle of QRadioButton \"Achse:\"") != std::string::npos, !classic) << found;
  }
}

// Whether the screen has room for the main window and the simulation window side by side, in one of
// the simulation window's layouts.
bool fitsSideBySide(const MainDialog& main, SimulationWindow& beside) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QSize mainSize = main.frameGeometry().size();
  const QMargins frame = frameOf(beside);
  for (auto layout : {SimulationWindow::Layout::OneColumn, SimulationWindow::Layout::Compact,
                      SimulationWindow::Layout::Wide}) {
    const QSize size = beside.sizeFor(layout).grownBy(frame);
    if (mainSize.width() + size.width() <= screen.width() &&
        std::max(mainSize.height(), size.height()) <= screen.height())
      return true;
  }
  return false;
}

TEST_P(Windows, velomat_sims_two_windows_stand_side_by_side_wholly_on_the_screen) {
  const fs::path folder = fs::temp_directory_path() / ("velomat-fit-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path previous = fs::current_path();
  fs::current_path(folder);  // no settings: the connection dialog waits for a choice
  {
    testing::ScriptedBoxes boxes;
    SimProgram program(boxes, sim::SimOptions{.paced = false});
    std::vector<std::string> dialogProblems;
    QPoint dialogCentre;
    whenModalShows([&](QWidget& modal) {
      auto* connection = dynamic_cast<ConnectionDialog*>(&modal);
      ASSERT_NE(connection, nullptr);
      dialogProblems = fitProblems(connection);
      // Each status of an attempt, each longer than the line's own place.
      for (const char* status : {kConnectingStatus, kConnectedStatus, kNotConnectedStatus}) {
        connection->showStatus(status);
        for (const std::string& problem : fitProblems(connection)) dialogProblems.push_back(status + problem);
      }
      dialogCentre = connection->frameGeometry().center();
      connection->interfaceList()->setCurrentIndex(connection->interfaceList()->findText("IntInt COM1"));
      QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(connection, id::kEndButton)), Qt::LeftButton);
    });
    program.start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(dialogProblems.empty()) << "connection dialog:" << joined(dialogProblems);
    EXPECT_LE((dialogCentre - screen.center()).manhattanLength(), 60);

    MainDialog& main = program.mainDialog();
    SimulationWindow& beside = program.simulationWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beside));
    const std::vector<std::string> mainProblems = fitProblems(&main), besideProblems = fitProblems(&beside);
    EXPECT_TRUE(mainProblems.empty()) << "main window:" << joined(mainProblems);
    EXPECT_TRUE(besideProblems.empty())
        << "simulation window, " << (beside.isCompact() ? "compact" : "one column") << ":"
        << joined(besideProblems);
    expectContrast(&main, "main window", 30);
    expectContrast(&beside, "simulation window", 25);
    // Side by side: the simulation window leaves the main window alone, its motor panels above all.
    QRect panels =
        main.controls().motorGroup[0]->geometry().united(main.controls().motorGroup[3]->geometry());
    panels.moveTopLeft(main.mapToGlobal(panels.topLeft()));
    if (fitsSideBySide(main, beside)) {
      EXPECT_FALSE(beside.frameGeometry().intersects(panels))
          << "the simulation window covers the motor panels";
      EXPECT_FALSE(beside.frameGeometry().intersects(main.frameGeometry()));
    }
    EXPECT_EQ(QApplication::activeWindow(), &main);
  }
  fs::current_path(previous);
  fs::remove_all(folder);
}

TEST_P(Windows, the_main_window_with_the_longest_lists_and_its_about_box_fit) {
  SharedState state;
  state.joystickCaps = {kAllAxes | kJoyCapsHasPov, 6, 32};  // the longest entries: "POV1", "32", "E16"
  state.connection.motorCount = 8;
  state.connection.hasExtension = 1;
  testing::ScriptedBoxes boxes;
  MainDialog main(state, boxes);
  ASSERT_TRUE(main.initialisePanel());
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  // The lists in use and switched off: a direction from buttons, a fixed speed, every check ticked.
  PanelControls& c = main.controls();
  for (int m = 0; m < kMotorsPerModule; ++m) {
    c.dirButtonsRadio[m]->click();
    c.throttleRadio[m]->click();
    c.endSwitchCheck[m]->click();
  }
  for (int m : {0, 1}) {
    c.buttonLeftList[m]->setCurrentIndex(31);
    c.endSwitchRightList[m]->setCurrentIndex(15);
  }
  std::vector<std::string> mainProblems = fitProblems(&main);
  EXPECT_TRUE(mainProblems.empty()) << "main window:" << joined(mainProblems);
  expectContrast(&main, "main window, every check box ticked", 30);

  std::vector<std::string> aboutProblems;
  bool aboutSeen = false;
  whenModalShows([&](QWidget& about) {
    aboutSeen = about.windowTitle() == kAboutCaption;
    aboutProblems = fitProblems(&about);
    about.close();
  });
  QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(&main, id::kCreditsButton)), Qt::LeftButton);
  EXPECT_TRUE(aboutSeen);
  EXPECT_TRUE(aboutProblems.empty()) << "About box:" << joined(aboutProblems);
}

TEST_P(Windows, every_message_box_of_the_program_fits_before_and_over_the_main_window) {
  const std::string longestName = "Großer Knüppel für Flugsimul";  // 31 bytes, the record's most
  struct Row {
    std::string text;
    const char* caption;
    BoxButtons buttons;
  };
  const Row rows[] = {
      {kNoJoystickText, kNoJoystickCaption, BoxButtons::RetryCancel},
      {"Verbindung zum Joystick erfolgreich!\n\nTreiberbezeichnung: " + longestName +
           "\nAchsen: 6\nButtons: 32",
       kJoystickFoundCaption, BoxButtons::Ok},
      {kWrongFileText, "Achtung", BoxButtons::OkCancel},
      {"\nTreiberbezeichnung: " + longestName +
           "\nAchsen: 6\nButtons: 32\n\nAchtung:\nWenn dieser Joystick weniger/andere Funktionen als der "
           "bisher gespeicherte hat, kann es ggf. zu Fehlern beim Laden der Einstellungsdatei kommen.\nEvtl. "
           "müssen Sie dann die Einstellungen zurücksetzen oder notfalls auch die Einstellungsdatei "
           "\"settings.vlm\" löschen.",
       kOtherJoystickCaption, BoxButtons::Ok},
      {kConnectFailedText, "", BoxButtons::Ok},
      {kLostConnectionText, "", BoxButtons::RetryCancel},
      {kJoystickLostText, "", BoxButtons::RetryCancel},
      {kResetQuestion, "Achtung", BoxButtons::YesNoCancel},
      {kRestartNotice, "Hinweis", BoxButtons::OkCancel},
      {"Die Einstellungsdatei \"settings.vlm\" konnte nicht geschrieben werden (No space left on device).\n"
       "Die bisherige Datei ist unverändert.",
       "", BoxButtons::Ok},
      {kMotorsMayRunText, kMotorsMayRunCaption, BoxButtons::Ok},
      {assertionMessage("OnSelchangeJoyAxisCo()"), "", BoxButtons::Ok},
  };
  QtMessageBoxes boxes;
  QWidget main;
  main.resize(600, 460);
  boxes.setParent(&main);
  for (bool mainShown : {false, true}) {
    if (mainShown) {
      main.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    }
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message()
                   << (mainShown ? "over the main window: " : "before it: ") << row.text);
      std::vector<std::string> problems;
      QString shownText;
      whenModalShows([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        problems = fitProblems(box);
        box->buttons().back()->click();
      });
      boxes.show(row.text, row.caption, row.buttons);
      EXPECT_EQ(shownText, QString::fromStdString(row.text));
      EXPECT_TRUE(problems.empty()) << joined(problems);
    }
  }
}

TEST_P(Windows, the_simulation_window_shows_everything_in_each_layout) {
  SdlJoystick sdl;  // SDL runs before the on-screen joystick attaches
  ASSERT_TRUE(sdl.ok());
  VirtualJoystick stick(3, 8, 1, "Bildschirm-Joystick");
  sim::SimIntelligentInterface intInt(sim::SimOptions{.paced = false});
  sim::SimRoboInterface robo(sim::SimOptions{.paced = false});
  SimulationWindow window(stick, intInt, robo);
  intInt.setExtensionModule(true);
  // The longest name, every motor and input.
  ASSERT_TRUE(intInt.open(IntIntPort::SerialWithExtension, 1));
  intInt.exchange(0xAAAA);
  window.controls().connection->click();  // the longer of its texts
  int oneColumnHeight = 0;
  using Layout = SimulationWindow::Layout;
  for (const Layout layout : {Layout::OneColumn, Layout::Compact, Layout::Wide}) {
    SCOPED_TRACE(layout == Layout::OneColumn ? "one column" : layout == Layout::Compact ? "compact" : "wide");
    window.setArrangement(layout);
    window.move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.refresh();
    // Where the one column does not fit the screen, the program takes another layout (above).
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const bool fits = window.frameGeometry().height() <= screen.height();
    const std::vector<std::string> problems = fitProblems(&window, layout == Layout::Compact || fits);
    EXPECT_TRUE(problems.empty()) << joined(problems);
    expectContrast(&window, "simulation window, every output driven", 60);
    if (layout == Layout::OneColumn) {
      oneColumnHeight = window.height();
    } else {
      EXPECT_LT(window.height(), oneColumnHeight * 5 / 6);
    }
    window.hide();
  }
}

// The live view at its fullest: six axes and a hat, 32 buttons, eight motors on the longest interface
// description, an input that stops two motors, the joystick's longest name. Placed beside the main
// window, it lies wholly on the screen and shows every text in full.
TEST_P(Windows, the_live_view_at_its_fullest_fits_beside_the_main_window) {
  SharedState state;
  state.joystickCaps = {kAllAxes | kJoyCapsHasPov, 6, 32};
  state.connection = {kIntelligentInterface, 1, 1, 0, 8};
  testing::FakeJoystick joystick;
  std::strcpy(joystick.caps.szPname, "Großer Knüppel für Flugsimul");  // 31 bytes, the record's most
  joystick.next.dwButtons = 0xFFFFFFFF;
  joystick.next.dwPOV = 22500;
  testing::RecordingIntInt intInt;
  testing::RecordingRobo robo;
  testing::ScriptedBoxes boxes;
  InterfaceLink link(intInt, robo, state.connection);
  MainDialog main(state, boxes);
  ASSERT_TRUE(main.initialisePanel());
  for (int m : {0, 1}) main.controls().endSwitchCheck[m]->click();  // E1..E4 stop motors 1 and 2
  main.controls().endSwitchLeftList[1]->setCurrentIndex(0);         // E1 also stops motor 2 "L"
  main.panel().OnApply();
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  main.startWorker(joystick, link);
  LiveView* view = main.showLiveView();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  view->refresh();
  EXPECT_EQ(view->controls().owners[0]->text(), "M1 L, M2 L");
  const std::vector<std::string> problems = fitProblems(view);
  EXPECT_TRUE(problems.empty()) << "live view:" << joined(problems);
  expectContrast(view, "live view", 40);
  // Clear of the main window where the screen has room for that beside, above or below it.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry(), frame = main.frameGeometry();
  const QSize size = view->frameGeometry().size();
  if (std::max(frame.left() - screen.left(), screen.right() - frame.right()) >= size.width() ||
      std::max(frame.top() - screen.top(), screen.bottom() - frame.bottom()) >= size.height()) {
    EXPECT_FALSE(view->frameGeometry().intersects(main.frameGeometry()))
        << "main " << main.frameGeometry().x() << "," << main.frameGeometry().y() << " "
        << main.frameGeometry().width() << "x" << main.frameGeometry().height() << ", view "
        << view->frameGeometry().x() << "," << view->frameGeometry().y() << " "
        << view->frameGeometry().width() << "x" << view->frameGeometry().height();
  }
}

// The parts of the main window no other window may cover: "LOS!", "NOT-AUS", "Ende" and the status
// line, on the screen.
std::vector<std::pair<std::string, QRect>> runControls(MainDialog& main) {
  std::vector<std::pair<std::string, QRect>> parts;
  for (int id : {id::kStartButton, id::kEmergencyStopButton, id::kEndButton, id::kStatusText}) {
    QWidget* part = dialogItem(&main, id);
    parts.emplace_back(part->property("text").toString().toStdString(),
                       QRect(part->mapToGlobal(QPoint()), part->size()));
  }
  return parts;
}

// Whether a window of `size` has a place on `screen` clear of every one of `parts`: every place tried,
// pixel by pixel.
bool roomClearOf(const QRect& screen, QSize size, const std::vector<QRect>& parts) {
  for (int y = screen.top(); y + size.height() <= screen.bottom() + 1; ++y) {
    for (int x = screen.left(); x + size.width() <= screen.right() + 1; ++x) {
      const QRect frame(QPoint(x, y), size);
      if (std::none_of(parts.begin(), parts.end(), [&](const QRect& p) { return p.intersects(frame); }))
        return true;
    }
  }
  return false;
}

std::string where(const QWidget& window) {
  const QRect r = window.frameGeometry();
  return window.windowTitle().toStdString() + " at " + std::to_string(r.x()) + "," + std::to_string(r.y()) +
         " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
}

// velomat-sim's main window, the simulation window and the live view opened by its shortcut, as the
// program places them: all three wholly on the screen, the main window's run controls and the
// simulation window's stick never covered; where the screen has no room for the live view clear of
// both, clear of the run controls wherever it has room for that.
TEST(Placement, velomat_sims_three_windows_leave_the_run_controls_and_the_stick_clear) {
  const fs::path folder = fs::temp_directory_path() / ("velomat-fit-three-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path previous = fs::current_path();
  fs::current_path(folder);  // no settings: the connection dialog waits for a choice
  {
    testing::ScriptedBoxes boxes;
    SimProgram program(boxes, sim::SimOptions{.paced = false});
    whenModalShows([](QWidget& modal) {
      auto* connection = dynamic_cast<ConnectionDialog*>(&modal);
      ASSERT_NE(connection, nullptr);
      connection->interfaceList()->setCurrentIndex(connection->interfaceList()->findText("IntInt COM1"));
      QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(connection, id::kEndButton)), Qt::LeftButton);
    });
    program.start();
    MainDialog& main = program.mainDialog();
    SimulationWindow& beside = program.simulationWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beside));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_J, Qt::ControlModifier);
    ASSERT_NE(main.liveView(), nullptr);
    LiveView& view = *main.liveView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    SCOPED_TRACE(where(main) + ", " + where(beside) + ", " + where(view));
    for (const QWidget* window :
         {static_cast<QWidget*>(&main), static_cast<QWidget*>(&beside), static_cast<QWidget*>(&view)}) {
      EXPECT_TRUE(screen.contains(window->frameGeometry())) << window->windowTitle().toStdString();
    }
    const std::vector<std::string> besideProblems = fitProblems(&beside);
    EXPECT_TRUE(besideProblems.empty()) << "simulation window:" << joined(besideProblems);

    const QRect stick(beside.controls().stick->mapToGlobal(QPoint()), beside.controls().stick->size());
    EXPECT_FALSE(main.frameGeometry().intersects(stick)) << "the main window covers the stick";
    std::vector<QRect> clear{stick};
    for (const auto& [name, part] : runControls(main)) {
      EXPECT_FALSE(beside.frameGeometry().intersects(part)) << "the simulation window covers " << name;
      clear.push_back(part);
    }
    const QSize viewSize = view.frameGeometry().size();
    const bool roomForAll = roomClearOf(screen, viewSize, clear);
    clear.erase(clear.begin());
    const bool roomClearOfRunControls = roomClearOf(screen, viewSize, clear);
    if (roomForAll) {
      EXPECT_FALSE(view.frameGeometry().intersects(stick)) << "the live view covers the stick";
    }
    for (const auto& [name, part] : runControls(main)) {
      if (roomClearOfRunControls) {
        EXPECT_FALSE(view.frameGeometry().intersects(part)) << "the live view covers " << name;
      }
    }
    // This screen's case, for whoever reads the log.
    std::printf("%s, %s, %s\nlive view: %s\n", where(main).c_str(), where(beside).c_str(),
                where(view).c_str(),
                roomForAll               ? "clear of the run controls and the stick"
                : roomClearOfRunControls ? "clear of the run controls, no room clear of both"
                                         : "no room clear of the run controls");
  }
  fs::current_path(previous);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace velomat
