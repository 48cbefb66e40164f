// Where the program's windows stand: the pair of velomat-sim's main and simulation window on the
// screens users have, a further window placed clear of the parts that must stay clear and covering
// least, the parts a window marks, and the live view that keeps the place the user gives it.
// CTest runs this suite on a 1600x1200 screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <string>
#include <vector>

#include "app/live_view.h"
#include "app/main_dialog.h"
#include "fake_joystick.h"
#include "link_doubles.h"
#include "ui/window_placement.h"

namespace velomat {
namespace {

std::string text(const QRect& r) {
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

// The windows' sizes with their frames as the program measures them before showing them, with the
// font at 96 and at 144 dpi: the main window, its run controls in its frame, and the simulation
// window's layouts (one column, compact, wide).
struct Sizes {
  QSize main;
  QRect runControls;
  std::vector<QSize> layouts;
};
const Sizes k96{{603, 498}, {431, 38, 157, 443}, {{419, 709}, {492, 577}, {723, 447}}};
const Sizes k144{{858, 725}, {617, 56, 225, 649}, {{618, 988}, {716, 811}, {1028, 638}}};

TEST(PairPlacement, side_by_side_where_a_layout_fits_so_otherwise_over_the_main_windows_left_part) {
  enum { kOneColumn, kCompact, kWide };
  struct Row {
    const char* screen;
    const Sizes& sizes;
    QRect area;
    bool sideBySide;
    int layout;
    bool runControlsClear, besideOnScreen;
  };
  const Row rows[] = {
      {"1600x1200", k96, {0, 0, 1600, 1200}, true, kOneColumn, true, true},
      {"1366x768", k96, {0, 0, 1366, 768}, true, kOneColumn, true, true},
      {"1366x768 with a panel of 32 above", k96, {0, 32, 1366, 736}, true, kOneColumn, true, true},
      {"1920x1080 at 1.5", k96, {0, 0, 1280, 720}, true, kOneColumn, true, true},
      {"1920x1080 at 1.5 with a panel of 40 below", k96, {0, 0, 1280, 680}, true, kCompact, true, true},
      {"1366x768 at 1.25: two pixels short", k96, {0, 0, 1093, 614}, false, kCompact, true, true},
      {"1024x600", k96, {0, 0, 1024, 600}, false, kCompact, true, true},
      {"a second screen to the left", k96, {-1600, 0, 1600, 900}, true, kOneColumn, true, true},
      {"1600x1200 with the font at 144 dpi", k144, {0, 0, 1600, 1200}, true, kOneColumn, true, true},
      {"1366x768 with the font at 144 dpi", k144, {0, 0, 1366, 768}, false, kWide, true, true},
      {"1366x768 with the font at 144 dpi, a panel of 32 below",
       k144,
       {0, 0, 1366, 736},
       false,
       kWide,
       true,
       true},
      // Too small for any layout clear of the run controls: the one that sticks out least, on the screen
      // before clear of the run controls.
      {"800x500", k96, {0, 0, 800, 500}, false, kWide, false, true},
      {"1200x800 with the font at 144 dpi", k144, {0, 0, 1200, 800}, false, kWide, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.screen);
    const Sizes& s = row.sizes;
    const PairPlacement place = placePair(row.area, s.main, s.runControls, s.layouts);
    EXPECT_EQ(place.sideBySide, row.sideBySide);
    ASSERT_EQ(place.layout, row.layout);
    const QRect m(place.main, s.main), b(place.beside, s.layouts[static_cast<size_t>(place.layout)]);
    const QRect runControls = s.runControls.translated(m.topLeft());
    SCOPED_TRACE("main " + text(m) + ", simulation window " + text(b));
    EXPECT_TRUE(row.area.contains(m));
    if (row.besideOnScreen) {
      EXPECT_TRUE(row.area.contains(b));
    } else {
      EXPECT_TRUE(row.area.contains(b.topLeft()));
    }
    EXPECT_NE(b.intersects(runControls), row.runControlsClear);
    EXPECT_EQ(m.top(), row.area.top());
    EXPECT_EQ(b.top(), row.area.top());
    if (row.sideBySide) {
      EXPECT_GT(b.left(), m.right());
    } else {
      // The main window keeps the screen's right edge, the simulation window its left edge.
      EXPECT_EQ(m.right(), row.area.right());
      EXPECT_EQ(b.left(), row.area.left());
    }
  }
}

TEST(PlaceClear, stays_clear_of_what_must_then_covers_least_then_stands_nearest_to_where_it_is_wanted) {
  struct Row {
    const char* what;
    QRect screen;
    QSize size;
    std::vector<QRect> keepClear, windows;
    QPoint wanted, expected;
  };
  const Row rows[] = {
      {"room where it is wanted",
       {0, 0, 1600, 1200},
       {500, 400},
       {},
       {{100, 100, 600, 500}},
       {708, 100},
       {708, 100}},
      {"no room beside the window, room below it",
       {0, 0, 1366, 768},
       {500, 260},
       {},
       {{300, 0, 766, 500}},
       {1074, 0},
       {866, 500}},
      {"a gap that just fits, between the places tried every few pixels",
       {0, 0, 1000, 400},
       {437, 300},
       {},
       {{0, 0, 301, 400}, {738, 0, 262, 400}},
       {309, 0},
       {301, 0}},
      // Clear of the first part (the run controls) it cannot stay clear of the second (the stick): it
      // covers the least of the second.
      {"the first part clear before the second",
       {0, 0, 1000, 500},
       {800, 400},
       {{800, 0, 200, 500}, {0, 0, 150, 150}},
       {},
       {200, 0},
       {0, 100}},
      // Summed, the two windows stacked on the left would count twice and send it over the right one,
      // which it would cover more of.
      {"windows that overlap count once",
       {0, 0, 1000, 500},
       {500, 400},
       {},
       {{0, 0, 500, 350}, {0, 0, 500, 350}, {500, 0, 500, 500}},
       {500, 0},
       {0, 100}},
      {"what must stay clear comes before the windows",
       {0, 0, 1000, 500},
       {400, 300},
       {{600, 0, 400, 100}},
       {{0, 0, 600, 500}},
       {600, 0},
       {600, 100}},
      {"larger than the screen", {0, 0, 800, 600}, {900, 700}, {}, {{0, 0, 400, 300}}, {408, 0}, {0, 0}},
      {"a second screen to the left",
       {-1600, 0, 1600, 900},
       {300, 300},
       {},
       {{-1200, 200, 600, 500}},
       {-592, 200},
       {-592, 200}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const QPoint at = placeClear(row.screen, row.size, row.keepClear, row.windows, row.wanted);
    EXPECT_EQ(at, row.expected) << "at " << at.x() << "," << at.y();
    if (row.size.width() <= row.screen.width() && row.size.height() <= row.screen.height()) {
      EXPECT_TRUE(row.screen.contains(QRect(at, row.size)));
    }
  }
}

TEST(KeepClear, the_area_is_what_the_marked_parts_the_window_shows_cover_in_its_coordinates) {
  QWidget window;
  window.resize(400, 300);
  EXPECT_TRUE(keepClearArea(window).isEmpty());
  auto* group = new QGroupBox("Motor 1", &window);
  group->setGeometry(50, 40, 200, 150);
  auto* inGroup = new QLabel("Bereit", group);
  inGroup->setGeometry(10, 100, 60, 20);  // at 60,140 in the window
  auto* top = new QLabel("LOS!", &window);
  top->setGeometry(300, 10, 80, 30);
  auto* hidden = new QLabel("Ende", &window);
  hidden->setGeometry(300, 250, 80, 30);
  hidden->hide();
  auto* unmarked = new QLabel("Übernehmen", &window);
  unmarked->setGeometry(0, 0, 400, 300);
  for (QWidget* part :
       {static_cast<QWidget*>(inGroup), static_cast<QWidget*>(top), static_cast<QWidget*>(hidden)})
    keepClear(*part);
  EXPECT_EQ(keepClearArea(window), QRect(QPoint(60, 10), QPoint(379, 159)));
}

// The live view opens clear of the main window, placed anew each time while the user leaves it where
// the program put it; once the user has moved it, it opens where the user left it.
TEST(LiveViewPlace, follows_the_main_window_until_the_user_moves_it_then_keeps_the_users_place) {
  SharedState state;
  state.joystickCaps = {kJoyCapsHasZ, 3, 8};
  state.connection = {kIntelligentInterface, 1, 1, 0, 4};
  testing::FakeJoystick joystick;
  testing::RecordingIntInt intInt;
  testing::RecordingRobo robo;
  testing::ScriptedBoxes boxes;
  InterfaceLink link(intInt, robo, state.connection);
  MainDialog main(state, boxes);
  ASSERT_TRUE(main.initialisePanel());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_GE(screen.width(), 1400) << "a screen with room beside the main window";
  main.move(screen.topLeft() + QPoint(20, 20));
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  main.startWorker(joystick, link);

  const auto open = [&main]() -> LiveView* {
    main.activateWindow();  // as the user clicks it before pressing the shortcut
    if (!QTest::qWaitForWindowActive(&main)) return nullptr;
    QTest::keyClick(&main, Qt::Key_J, Qt::ControlModifier);
    LiveView* view = main.liveView();
    return view != nullptr && QTest::qWaitForWindowExposed(view) ? view : nullptr;
  };
  const auto close = [](LiveView* view) {
    QTest::keyClick(view, Qt::Key_Escape);
    return !view->isVisible();
  };

  LiveView* view = open();
  ASSERT_NE(view, nullptr);
  const QPoint first = view->pos();
  EXPECT_FALSE(view->frameGeometry().intersects(main.frameGeometry()));
  EXPECT_GT(view->frameGeometry().left(), main.frameGeometry().right());  // right beside it
  // Opened again while it shows, it stays.
  ASSERT_NE(open(), nullptr);
  EXPECT_EQ(view->pos(), first);

  ASSERT_TRUE(close(view));
  main.move(main.pos() + QPoint(100, 50));
  ASSERT_EQ(open(), view);
  EXPECT_EQ(view->pos(), first + QPoint(100, 50)) << "placed anew beside the moved main window";

  const QPoint users = screen.topLeft() + QPoint(10, screen.height() - view->frameGeometry().height() - 10);
  view->move(users);  // the user drags it to the bottom left
  ASSERT_TRUE(close(view));
  main.move(main.pos() + QPoint(50, 0));
  ASSERT_EQ(open(), view);
  EXPECT_EQ(view->pos(), users) << "kept where the user left it";
  ASSERT_TRUE(close(view));
  ASSERT_EQ(open(), view);
  EXPECT_EQ(view->pos(), users) << "for the rest of the session";
}

}  // namespace
}  // namespace velomat
