// The main window's panel, driven as a user drives it: clicks, list choices, keys on the sliders.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionComboBox>
#include <QTest>
#include <memory>

#include "app/main_dialog.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "window_fit.h"

namespace velomat {
namespace {

using testing::choose;
using testing::click;
using testing::ScriptedBoxes;

constexpr uint32_t kAllAxes = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV;

QStringList items(const QComboBox* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
  return texts;
}

QStringList numbers(const char* format, int count) {
  QStringList texts;
  for (int k = 1; k <= count; ++k) texts << QString::asprintf(format, k);
  return texts;
}

// Every configuration byte and binding of both modules, to compare a table before and after.
std::vector<int> snapshot(const ConfigTable& table) {
  std::vector<int> bytes;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (auto field : ConfigTable::kFieldOrder) bytes.push_back(get(table.*field, slot));
    bytes.push_back(get(table.povMode, slot));
    bytes.push_back(static_cast<int>(get(table.dirAxisRef, slot)));
    bytes.push_back(static_cast<int>(get(table.throttleAxisRef, slot)));
  }
  return bytes;
}

class PanelTest : public ::testing::Test {
 protected:
  void open(JoystickCaps caps, int32_t motorCount = 4) {
    state.joystickCaps = caps;
    state.connection.motorCount = motorCount;
    state.connection.hasExtension = motorCount == 8;
    dialog = std::make_unique<MainDialog>(state, boxes);
    ASSERT_TRUE(dialog->initialisePanel());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  PanelControls& c() { return dialog->controls(); }

  void slideTo(QSlider* slider, int value) {
    QTest::keyClick(slider, Qt::Key_Home);
    for (int i = 0; i < value; ++i) QTest::keyClick(slider, Qt::Key_Right);
  }

  // The enabling the rules give for the radios and check boxes as they stand.
  void expectEnablingFollowsSelection(int m) {
    SCOPED_TRACE("motor panel " + std::to_string(m));
    EXPECT_EQ(c().dirAxisList[m]->isEnabled(), c().dirAxisRadio[m]->isChecked());
    EXPECT_EQ(c().buttonLeftList[m]->isEnabled(), c().dirButtonsRadio[m]->isChecked());
    EXPECT_EQ(c().buttonRightList[m]->isEnabled(), c().dirButtonsRadio[m]->isChecked());
    EXPECT_EQ(c().fixedDirList[m]->isEnabled(), c().dirFixedRadio[m]->isChecked());
    EXPECT_EQ(c().endSwitchLeftList[m]->isEnabled(), c().endSwitchCheck[m]->isChecked());
    EXPECT_EQ(c().endSwitchRightList[m]->isEnabled(), c().endSwitchCheck[m]->isChecked());
    EXPECT_EQ(c().speedAxisList[m]->isEnabled(), c().speedAxisRadio[m]->isChecked());
    EXPECT_EQ(c().throttleList[m]->isEnabled(), c().throttleRadio[m]->isChecked());
    EXPECT_EQ(c().speedSlider[m]->isEnabled(), c().speedFixedRadio[m]->isChecked());
    EXPECT_EQ(c().speedLabel[m]->isEnabled(), c().speedFixedRadio[m]->isChecked());
    for (QAbstractButton* always : std::initializer_list<QAbstractButton*>{
             c().dirAxisRadio[m], c().speedFixedRadio[m], c().endSwitchCheck[m]}) {
      EXPECT_TRUE(always->isEnabled());  // the rules never touch radios and check boxes
    }
  }

  SharedState state;
  ScriptedBoxes boxes;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(PanelTest, lists_follow_the_joystick_and_the_number_of_motors) {
  struct Row {
    const char* joystick;
    JoystickCaps caps;
    int32_t motorCount;
    QStringList axes, throttle;
  };
  const Row rows[] = {
      {"2 axes, 4 buttons", {0, 2, 4}, 4, {"X", "Y"}, {"X", "Y"}},
      {"hat only", {kJoyCapsHasPov, 2, 4}, 4, {"X", "Y", "POV1", "POV2"}, {"X", "Y"}},
      {"6 axes and hat",
       {kAllAxes | kJoyCapsHasPov, 6, 4},
       8,
       {"X", "Y", "Z", "R", "U", "V", "POV1", "POV2"},
       {"X", "Y", "Z", "R", "U", "V"}},
      {"no buttons", {kJoyCapsHasZ, 3, 0}, 4, {"X", "Y", "Z"}, {"X", "Y", "Z"}},
      {"twelve buttons",
       {kJoyCapsHasZ | kJoyCapsHasPov, 3, 12},
       8,
       {"X", "Y", "Z", "POV1", "POV2"},
       {"X", "Y", "Z"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.joystick);
    open(row.caps, row.motorCount);
    const QStringList buttons = numbers("%2d", row.caps.buttonCount);
    const QStringList inputs = numbers("E%d", 2 * row.motorCount);
    for (int m = 0; m < kMotorsPerModule; ++m) {
      EXPECT_EQ(items(c().dirAxisList[m]), row.axes);
      EXPECT_EQ(items(c().speedAxisList[m]), row.axes);
      EXPECT_EQ(items(c().throttleList[m]), row.throttle);
      EXPECT_EQ(items(c().buttonLeftList[m]), buttons);
      EXPECT_EQ(items(c().buttonRightList[m]), buttons);
      EXPECT_EQ(items(c().endSwitchLeftList[m]), inputs);
      EXPECT_EQ(items(c().endSwitchRightList[m]), inputs);
      EXPECT_EQ(items(c().fixedDirList[m]), (QStringList{"A", "L", "R"}));
    }
    EXPECT_EQ(items(c().stopButtonList), buttons);
    EXPECT_EQ(items(c().stopInputList), inputs);
    EXPECT_EQ(items(c().moduleList), row.motorCount == 8 ? (QStringList{"Hauptmodul", "Extensionmodul"})
                                                         : (QStringList{"Hauptmodul"}));
  }
  EXPECT_EQ(items(c().buttonLeftList[0]).mid(8), (QStringList{" 9", "10", "11", "12"}));
}

TEST_F(PanelTest, filling_the_lists_selects_nothing_but_the_main_module) {
  state.joystickCaps = {kJoyCapsHasPov, 2, 4};
  MainDialog fresh(state, boxes);
  PanelControls controls;
  ASSERT_TRUE(InitPanelControls(controls, &fresh, state.joystickCaps, 4, false));
  for (int m = 0; m < kMotorsPerModule; ++m) {
    for (QComboBox* list : std::initializer_list<QComboBox*>{
             controls.dirAxisList[m], controls.speedAxisList[m], controls.throttleList[m],
             controls.buttonLeftList[m], controls.endSwitchRightList[m], controls.fixedDirList[m]}) {
      EXPECT_EQ(list->currentIndex(), -1);
    }
    EXPECT_EQ(controls.speedSlider[m]->minimum(), 0);
    EXPECT_EQ(controls.speedSlider[m]->maximum(), 100);
    EXPECT_FALSE(controls.dirAxisRadio[m]->isChecked());
  }
  EXPECT_EQ(controls.moduleList->currentIndex(), 0);
  EXPECT_EQ(controls.stopInputList->currentIndex(), -1);
}

TEST_F(PanelTest, every_control_keeps_its_dialog_identifier_text_and_kind) {
  open({kJoyCapsHasPov, 2, 4});
  struct Row {
    int id;
    const char* text;
  };
  const Row buttons[] = {{id::kStartButton, "LOS!"},
                         {id::kApplyButton, "Übernehmen"},
                         {id::kEmergencyStopButton, "NOT-AUS"},
                         {id::kResetButton, "Alle Einstellungen zurücksetzen"},
                         {id::kEndButton, "Ende"},
                         {id::kStopInputCheck, "Aus-Taster:"},
                         {id::kStopButtonCheck, "Aus-Button:"}};
  for (const Row& row : buttons) {
    auto* button = qobject_cast<QAbstractButton*>(dialogItem(dialog.get(), row.id));
    ASSERT_NE(button, nullptr) << row.id;
    EXPECT_EQ(button->text(), QString::fromUtf8(row.text));
  }
  EXPECT_TRUE(qobject_cast<QPushButton*>(dialogItem(dialog.get(), id::kEmergencyStopButton))->isDefault());
  EXPECT_NE(qobject_cast<QPushButton*>(dialogItem(dialog.get(), id::kCreditsButton)), nullptr);
  EXPECT_EQ(qobject_cast<QLabel*>(dialogItem(dialog.get(), id::kStatusText))->text(), "Bereit");
  EXPECT_EQ(dialog->windowTitle(), "Velomat - Die Echtzeit-Joystickgesteuerte Version von Velobase");
  const Row perMotor[] = {{id::kDirAxisRadio, "Achse:"},   {id::kDirButtonsRadio, "Buttons (L/R):"},
                          {id::kDirFixedRadio, "Fest:"},   {id::kEndSwitchCheck, "Endtaster (L/R):"},
                          {id::kSpeedAxisRadio, "Achse:"}, {id::kThrottleRadio, "Schubregler:"},
                          {id::kSpeedFixedRadio, "Fest:"}};
  for (int m = 0; m < kMotorsPerModule; ++m) {
    for (const Row& row : perMotor) {
      auto* button = qobject_cast<QAbstractButton*>(dialogItem(dialog.get(), row.id + m));
      ASSERT_NE(button, nullptr) << row.id + m;
      EXPECT_EQ(button->text(), row.text);
    }
    EXPECT_EQ(qobject_cast<QGroupBox*>(dialogItem(dialog.get(), id::kMotorGroup + m))->title(),
              QString("Motor %1").arg(m + 1));
  }
}

TEST_F(PanelTest, no_two_controls_overlap_but_where_the_layout_puts_them_together) {
  open({kAllAxes | kJoyCapsHasPov, 6, 12});
  // Group boxes frame their panel; the speed label sits on the slider's upper edge by design.
  std::vector<QWidget*> controls;
  for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!qobject_cast<QGroupBox*>(w) && w->isVisible()) controls.push_back(w);
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    EXPECT_TRUE(dialog->rect().contains(controls[i]->geometry())) << dialogIdOf(controls[i]);
    for (size_t j = i + 1; j < controls.size(); ++j) {
      const int a = dialogIdOf(controls[i]) / 4 * 4, b = dialogIdOf(controls[j]) / 4 * 4;
      const bool labelOnSlider = (a >= id::kSpeedLabel - 2 && a <= id::kSpeedLabel + 3 &&
                                  b >= id::kSpeedSlider - 2 && b <= id::kSpeedSlider + 3) ||
                                 (b >= id::kSpeedLabel - 2 && b <= id::kSpeedLabel + 3 &&
                                  a >= id::kSpeedSlider - 2 && a <= id::kSpeedSlider + 3);
      if (labelOnSlider) continue;
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << dialogIdOf(controls[i]) << " and " << dialogIdOf(controls[j]);
    }
  }
}

// The longest entries ("POV1", "32", "E16") show in full in the closed lists, every radio circle and
// check square is whole, and no frame line runs through a text: with the lists switched off and in use.
TEST_F(PanelTest, every_text_and_mark_shows_in_full_and_no_frame_line_runs_through_a_text) {
  open({kAllAxes | kJoyCapsHasPov, 6, 32}, 8);
  for (bool buttons : {false, true}) {
    SCOPED_TRACE(buttons ? "direction from buttons" : "the defaults");
    if (buttons) {
      for (int m = 0; m < kMotorsPerModule; ++m) click(c().dirButtonsRadio[m]);
    }
    const std::vector<std::string> problems = testing::fitProblems(dialog.get(), false);
    EXPECT_TRUE(problems.empty()) << testing::joined(problems);
  }
}

// A list that is switched off still shows a stored setting the user wants to read.
TEST_F(PanelTest, switched_off_lists_can_still_be_read_and_still_look_switched_off) {
  open({kAllAxes | kJoyCapsHasPov, 6, 12}, 8);
  QComboBox* off = c().buttonLeftList[0];  // the direction comes from the axis: the buttons' lists are off
  QComboBox* on = c().dirAxisList[0];
  ASSERT_FALSE(off->isEnabled());
  ASSERT_TRUE(on->isEnabled());
  off->setCurrentIndex(7);  // " 8", as a stored setting shows it
  const auto drawn = [](QComboBox* list) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.subControls = QStyle::SC_All;
    const QRect field =
        list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    return testing::drawnContrast(list->grab().toImage(), field);
  };
  EXPECT_GE(drawn(off), 3.0);
  EXPECT_LT(drawn(off), drawn(on));
}

// A button that has the keys' focus shows it, the flat credits button as any other: its picture with
// the focus differs from its picture without.
TEST_F(PanelTest, every_button_shows_the_focus_the_keys_gave_it) {
  open({kJoyCapsHasZ, 3, 4});
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  struct Row {
    const char* what;
    int id;
  };
  const Row rows[] = {{"the credits button", id::kCreditsButton},
                      {"Alle Einstellungen zurücksetzen", id::kResetButton},
                      {"Ende", id::kEndButton}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto* button = qobject_cast<QPushButton*>(dialogItem(dialog.get(), row.id));
    ASSERT_NE(button, nullptr);
    c().dirAxisRadio[0]->setFocus(Qt::TabFocusReason);
    const QImage without = testing::pictureOf(button);
    button->setFocus(Qt::TabFocusReason);  // as Tab moves it
    ASSERT_TRUE(button->hasFocus());
    EXPECT_TRUE(testing::pictureOf(button) != without) << "the focus does not show";
  }
}

TEST_F(PanelTest, arrow_keys_move_the_selection_within_a_radio_group_as_a_click_does) {
  open({kJoyCapsHasZ, 3, 4});
  enum Radio { DirAxis, DirButtons, DirFixed, SpeedAxis, Throttle, SpeedFixed };
  struct Row {
    Radio from;
    Qt::Key key;
    Radio direction, speed;  // selected afterwards; the pulled speed shows the click's handler ran
  };
  const Row rows[] = {
      {DirAxis, Qt::Key_Down, DirButtons, SpeedFixed}, {DirButtons, Qt::Key_Right, DirFixed, SpeedFixed},
      {DirFixed, Qt::Key_Down, DirAxis, SpeedAxis},    {DirAxis, Qt::Key_Up, DirFixed, SpeedFixed},
      {SpeedFixed, Qt::Key_Up, DirFixed, Throttle},    {Throttle, Qt::Key_Left, DirFixed, SpeedAxis},
      {SpeedAxis, Qt::Key_Up, DirFixed, SpeedFixed},   {DirFixed, Qt::Key_Left, DirButtons, SpeedFixed},
  };
  const int m = 1;
  QAbstractButton* const radios[] = {c().dirAxisRadio[m],   c().dirButtonsRadio[m], c().dirFixedRadio[m],
                                     c().speedAxisRadio[m], c().throttleRadio[m],   c().speedFixedRadio[m]};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "key " << row.key << " on radio " << row.from);
    radios[row.from]->setFocus();
    QTest::keyClick(radios[row.from], row.key);
    for (int r = DirAxis; r <= SpeedFixed; ++r) {
      EXPECT_EQ(radios[r]->isChecked(), r == row.direction || r == row.speed) << "radio " << r;
    }
    EXPECT_TRUE(radios[row.from == DirAxis || row.from == DirButtons || row.from == DirFixed ? row.direction
                                                                                             : row.speed]
                    ->hasFocus());
    expectEnablingFollowsSelection(m);
  }
}

TEST_F(PanelTest, tab_stops_at_the_selected_radio_of_each_group_only) {
  open({kJoyCapsHasZ, 3, 4});
  click(c().dirButtonsRadio[0]);
  c().dirButtonsRadio[0]->setFocus();
  std::vector<QWidget*> stops;
  for (int i = 0; i < 60 && !c().motorGroup[1]->geometry().contains(QApplication::focusWidget()->pos());
       ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    stops.push_back(QApplication::focusWidget());
  }
  ASSERT_FALSE(stops.empty());
  int radios = 0;
  for (QWidget* stop : stops) {
    if (auto* radio = qobject_cast<QRadioButton*>(stop)) {
      ++radios;
      EXPECT_TRUE(radio->isChecked()) << dialogIdOf(radio);
    }
    EXPECT_TRUE(stop->isEnabled()) << dialogIdOf(stop);
  }
  EXPECT_EQ(radios, 2);  // motor 1's speed radio, then motor 2's direction radio
  // Shift+Tab walks the same stops back.
  for (size_t i = stops.size() - 1; i-- > 0;) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), stops[i]) << i;
  }
}

TEST_F(PanelTest, direction_and_speed_choices_pull_the_speed_source_and_enable_their_lists) {
  open({kJoyCapsHasZ, 3, 4});
  enum Radio { DirAxis, DirButtons, DirFixed, SpeedAxis, Throttle, SpeedFixed };
  struct Row {
    const char* what;
    std::vector<Radio> clicks;
    Radio direction, speed;
  };
  const Row rows[] = {
      {"axis, speed fixed, then buttons: the speed stays fixed",
       {DirAxis, SpeedFixed, DirButtons},
       DirButtons,
       SpeedFixed},
      {"axis (speed axis), then fixed direction: speed fixed", {DirAxis, DirFixed}, DirFixed, SpeedFixed},
      {"buttons and throttle, then axis: speed axis", {DirButtons, Throttle, DirAxis}, DirAxis, SpeedAxis},
      {"speed fixed while axis, then axis again: speed axis",
       {DirAxis, SpeedFixed, DirAxis},
       DirAxis,
       SpeedAxis},
      {"speed axis by hand with buttons: accepted", {DirButtons, SpeedAxis}, DirButtons, SpeedAxis},
      {"buttons with speed axis, then fixed: speed fixed",
       {DirButtons, SpeedAxis, DirFixed},
       DirFixed,
       SpeedFixed},
      {"throttle kept when buttons are chosen", {DirFixed, Throttle, DirButtons}, DirButtons, Throttle},
      {"fixed speed kept when fixed is chosen", {DirButtons, SpeedFixed, DirFixed}, DirFixed, SpeedFixed},
  };
  for (int m : {0, 3}) {
    QAbstractButton* const radios[] = {c().dirAxisRadio[m],   c().dirButtonsRadio[m], c().dirFixedRadio[m],
                                       c().speedAxisRadio[m], c().throttleRadio[m],   c().speedFixedRadio[m]};
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message() << row.what << ", motor " << m);
      for (Radio radio : row.clicks) click(radios[radio]);
      for (int r = DirAxis; r <= SpeedFixed; ++r) {
        EXPECT_EQ(radios[r]->isChecked(), r == row.direction || r == row.speed) << "radio " << r;
      }
      expectEnablingFollowsSelection(m);
    }
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PanelTest, end_switch_and_stop_check_boxes_enable_their_lists_and_keep_the_selections) {
  open({0, 2, 4});
  const int left = c().endSwitchLeftList[2]->currentIndex(),
            right = c().endSwitchRightList[2]->currentIndex();
  click(c().endSwitchCheck[2]);
  expectEnablingFollowsSelection(2);
  EXPECT_TRUE(c().endSwitchLeftList[2]->isEnabled());
  click(c().endSwitchCheck[2]);
  EXPECT_FALSE(c().endSwitchRightList[2]->isEnabled());
  EXPECT_EQ(c().endSwitchLeftList[2]->currentIndex(), left);
  EXPECT_EQ(c().endSwitchRightList[2]->currentIndex(), right);

  EXPECT_FALSE(c().stopInputList->isEnabled());
  click(c().stopInputCheck);
  EXPECT_TRUE(c().stopInputList->isEnabled());
  click(c().stopButtonCheck);
  EXPECT_TRUE(c().stopButtonList->isEnabled());
  click(c().stopButtonCheck);
  EXPECT_FALSE(c().stopButtonList->isEnabled());
  EXPECT_EQ(c().stopButtonList->currentText(), " 4");
}

TEST_F(PanelTest, axis_choices_bind_at_once) {
  open({kAllAxes | kJoyCapsHasPov, 6, 4});
  ConfigTable& table = state.table;
  choose(c().dirAxisList[0], "POV1");
  EXPECT_EQ(get(table.povMode, 0), kPov1);
  EXPECT_EQ(get(table.dirAxisRef, 0), SampleField::Pov);
  EXPECT_EQ(c().speedAxisList[0]->currentText(), "POV1");

  choose(c().dirAxisList[0], "Z");
  EXPECT_EQ(get(table.povMode, 0), kPovNone);
  EXPECT_EQ(get(table.dirAxisRef, 0), SampleField::Z);
  EXPECT_EQ(c().speedAxisList[0]->currentText(), "Z");

  choose(c().speedAxisList[1], "POV2");  // motor 2: slot 2
  EXPECT_EQ(c().dirAxisList[1]->currentText(), "POV2");
  EXPECT_EQ(get(table.povMode, 2), kPov2);
  EXPECT_EQ(get(table.dirAxisRef, 2), SampleField::Pov);

  choose(c().speedAxisList[1], "R");
  EXPECT_EQ(c().dirAxisList[1]->currentText(), "R");
  EXPECT_EQ(get(table.povMode, 2), kPovNone);
  EXPECT_EQ(get(table.dirAxisRef, 2), SampleField::R);

  choose(c().throttleList[3], "U");
  EXPECT_EQ(get(table.throttleAxisRef, 6), SampleField::U);
  // Binding is not applying: the selection bytes reach the table only with the next transfer.
  EXPECT_EQ(get(table.dirAxisSel, 0), 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PanelTest, on_the_extension_module_choices_bind_its_own_slots) {
  open({kAllAxes | kJoyCapsHasPov, 6, 4}, 8);
  const std::vector<int> before = snapshot(state.table);
  choose(c().moduleList, "Extensionmodul");
  choose(c().dirAxisList[1], "POV1");
  choose(c().throttleList[1], "R");
  EXPECT_EQ(get(state.table.povMode, 3), kPov1);
  EXPECT_EQ(get(state.table.dirAxisRef, 3), SampleField::Pov);
  EXPECT_EQ(get(state.table.throttleAxisRef, 3), SampleField::R);
  EXPECT_EQ(get(state.table.povMode, 2), before[2 * 19 + 16]);  // the main module's motor 2 is untouched
  EXPECT_EQ(get(state.table.dirAxisRef, 2), SampleField::Y);
  EXPECT_EQ(get(state.table.throttleAxisRef, 2), SampleField::V);
}

TEST_F(PanelTest, the_speed_label_follows_its_slider) {
  open({0, 2, 4}, 8);
  click(c().speedFixedRadio[0]);
  for (int value : {0, 37, 100}) {
    slideTo(c().speedSlider[0], value);
    EXPECT_EQ(c().speedLabel[0]->text(), QString("%1%").arg(value));
  }
  // The extension motors show their own speeds after a switch.
  for (int m = 0; m < kMotorsPerModule; ++m)
    set(state.table.speedPercent, motorSlot(m, 1), static_cast<uint8_t>(10 * m));
  set(state.table.speedPercent, motorSlot(0, 1), 100);
  choose(c().moduleList, 1);
  const QString want[] = {"100%", "10%", "20%", "30%"};
  for (int m = 0; m < kMotorsPerModule; ++m) EXPECT_EQ(c().speedLabel[m]->text(), want[m]) << m;
}

TEST_F(PanelTest, switching_module_and_back_keeps_the_table_and_the_edits) {
  open({kJoyCapsHasPov, 2, 4}, 8);
  const std::vector<int> before = snapshot(state.table);
  choose(c().moduleList, "Extensionmodul");
  for (int m = 0; m < kMotorsPerModule; ++m)
    EXPECT_EQ(c().motorGroup[m]->title(), QString("Motor %1").arg(m + 5));
  choose(c().moduleList, "Hauptmodul");
  for (int m = 0; m < kMotorsPerModule; ++m)
    EXPECT_EQ(c().motorGroup[m]->title(), QString("Motor %1").arg(m + 1));
  EXPECT_EQ(snapshot(state.table), before);

  // Edits in the module left are stored for it and shown again on the way back.
  choose(c().moduleList, "Extensionmodul");
  click(c().dirButtonsRadio[2]);
  choose(c().buttonRightList[2], " 4");
  click(c().endSwitchCheck[2]);
  choose(c().endSwitchLeftList[2], "E16");
  choose(c().moduleList, "Hauptmodul");
  EXPECT_EQ(get(state.table.dirFromButtons, 5), 1);
  EXPECT_EQ(get(state.table.dirFixed, 5), 0);
  EXPECT_EQ(get(state.table.buttonRightSel, 5), 3);
  EXPECT_EQ(get(state.table.endSwitchLeftSel, 5), 15);
  EXPECT_EQ(get(state.table.endSwitchesOn, 4), 0);
  EXPECT_FALSE(c().dirButtonsRadio[2]->isChecked());
  choose(c().moduleList, "Extensionmodul");
  EXPECT_TRUE(c().dirButtonsRadio[2]->isChecked());
  EXPECT_FALSE(c().dirFixedRadio[2]->isChecked());
  EXPECT_EQ(c().buttonRightList[2]->currentText(), " 4");
  EXPECT_EQ(c().endSwitchLeftList[2]->currentText(), "E16");
  expectEnablingFollowsSelection(2);
}

TEST_F(PanelTest, apply_copies_the_panel_into_the_table) {
  open({0, 2, 4});
  click(c().dirFixedRadio[0]);
  choose(c().fixedDirList[0], "R");
  slideTo(c().speedSlider[0], 42);
  EXPECT_EQ(get(state.table.dirFixed, 0), 0);  // nothing reaches the table before "Übernehmen"
  EXPECT_FALSE(c().applyButton->isEnabled());
  c().applyButton->setEnabled(true);  // as a run does
  click(c().applyButton);
  EXPECT_EQ(get(state.table.dirFromAxis, 0), 0);
  EXPECT_EQ(get(state.table.dirFixed, 0), 1);
  EXPECT_EQ(get(state.table.fixedDirSel, 0), kDirRight);
  EXPECT_EQ(get(state.table.speedFixed, 0), 1);
  EXPECT_EQ(get(state.table.speedFromAxis, 0), 0);
  EXPECT_EQ(get(state.table.speedPercent, 0), 42);
}

TEST_F(PanelTest, defaults_for_four_and_eight_motors) {
  struct Row {
    JoystickCaps caps;
    int32_t motorCount;
    const char* stopInput;
    int stopButton;
  };
  const Row rows[] = {{{0, 2, 4}, 4, "E8", 3}, {{0, 2, 12}, 8, "E16", 11}, {{0, 2, 0}, 4, "E8", -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.motorCount);
    open(row.caps, row.motorCount);
    EXPECT_EQ(c().stopInputList->currentText(), row.stopInput);
    EXPECT_EQ(c().stopButtonList->currentIndex(), row.stopButton);
    EXPECT_FALSE(c().stopInputCheck->isChecked());
    EXPECT_FALSE(c().stopButtonCheck->isChecked());
    EXPECT_FALSE(c().applyButton->isEnabled());
    EXPECT_EQ(state.table.moduleIndex.load(), 0);
    EXPECT_EQ(c().moduleList->currentIndex(), 0);
    EXPECT_TRUE(c().dirAxisRadio[0]->isChecked());
    EXPECT_TRUE(c().speedAxisRadio[1]->isChecked());
    EXPECT_EQ(c().dirAxisList[1]->currentText(), "Y");
    EXPECT_EQ(c().speedAxisList[1]->currentText(), "Y");
    EXPECT_TRUE(c().dirFixedRadio[2]->isChecked());
    EXPECT_EQ(c().fixedDirList[3]->currentText(), "A");
    EXPECT_EQ(c().speedLabel[3]->text(), "100%");
    EXPECT_EQ(c().endSwitchLeftList[3]->currentText(), "E7");
    EXPECT_EQ(c().endSwitchRightList[3]->currentText(), "E8");
    for (int m = 0; m < kMotorsPerModule; ++m) expectEnablingFollowsSelection(m);
  }
}

TEST_F(PanelTest, a_one_button_joystick_shows_no_right_button_and_stores_255) {
  open({0, 2, 1});
  EXPECT_EQ(c().buttonLeftList[0]->currentText(), " 1");
  EXPECT_EQ(c().buttonRightList[0]->currentIndex(), -1);
  c().applyButton->setEnabled(true);
  click(c().applyButton);
  EXPECT_EQ(get(state.table.buttonRightSel, 0), kNoSelection);
}

TEST_F(PanelTest, a_stored_axis_past_the_list_shows_no_selection_warns_once_and_keeps_the_binding) {
  open({0, 2, 4});                    // the lists read "X", "Y"
  set(state.table.dirAxisSel, 0, 2);  // "POV1" of a joystick with a hat
  set(state.table.speedAxisSel, 0, 2);
  set(state.table.povMode, 0, kPov1);
  dialog->panel().tableToPanel();
  EXPECT_EQ(c().dirAxisList[0]->currentIndex(), -1);
  EXPECT_EQ(c().speedAxisList[0]->currentIndex(), -1);
  EXPECT_TRUE(boxes.shown.empty());  // showing is not binding

  dialog->panel().OnSelchangeJoyAxisCo(0);  // as loading the settings does
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, assertionMessage("OnSelchangeJoyAxisCo()"));
  EXPECT_EQ(boxes.shown[0].caption, "");
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(get(state.table.povMode, 0), kPovNone);
  EXPECT_EQ(get(state.table.dirAxisRef, 0), SampleField::X);
  EXPECT_EQ(c().speedAxisList[0]->currentIndex(), -1);
}

TEST_F(PanelTest, what_the_program_sets_raises_no_handler) {
  open({kJoyCapsHasZ, 3, 4}, 8);
  const std::vector<int> before = snapshot(state.table);
  c().dirAxisList[0]->setCurrentIndex(2);
  c().throttleList[0]->setCurrentIndex(0);
  c().speedAxisList[1]->setCurrentIndex(2);
  c().moduleList->setCurrentIndex(1);
  c().dirFixedRadio[0]->setChecked(true);
  c().endSwitchCheck[0]->setChecked(true);
  EXPECT_EQ(snapshot(state.table), before);
  EXPECT_EQ(c().motorGroup[0]->title(), "Motor 1");
  EXPECT_TRUE(c().speedAxisRadio[0]->isChecked());  // no pull of the speed source either
  EXPECT_FALSE(c().endSwitchLeftList[0]->isEnabled());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PanelTest, handlers_reached_from_a_foreign_control_show_their_assertion_and_touch_nothing) {
  open({0, 2, 4});
  const bool axisBefore = c().dirAxisList[0]->isEnabled();
  dialog->panel().OnJoyAxisCh(id::kDirAxisRadio + 4);
  dialog->panel().OnAxisRadio(id::kSpeedLabel);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(
      boxes.shown[0].text,
      "Assertion failed in Funktion OnJoyAxisCh()\n(\"Assert\" = Es ist vollkommen unmöglich dass dieser "
      "Fehler auftritt)\n\nBitte Mail an velomat-team@example.org");
  EXPECT_EQ(boxes.shown[1].text, assertionMessage("OnAxisRadio()"));
  EXPECT_EQ(c().dirAxisList[0]->isEnabled(), axisBefore);
}

}  // namespace
}  // namespace velomat
