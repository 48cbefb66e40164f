// The simulation window driven as a user drives it: drags on the stick pad, keys, held and clicked
// buttons. The joystick is read back through SDL as the program reads it, and the simulated interfaces
// are exchanged with as the control worker would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "link/sdl_joystick.h"
#include "sim/simulation_window.h"
#include "ui/dialog_builder.h"
#include "window_fit.h"

namespace velomat {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kFullLeft = 0, kCentre = 32768, kFullRight = 65535;  // up reads as left, down as right

// The sample value of an axis `eighths` eighths of the way from the centre.
uint32_t eighths(int n) {
  return kCentre + (n < 0 ? n * 4096 : static_cast<int>(std::lround(n * 32767 / 8.0)));
}

// Whether `value` lies about halfway from the centre to `full`.
bool halfway(uint32_t value, uint32_t full) {
  const double share = (static_cast<double>(value) - kCentre) / (static_cast<double>(full) - kCentre);
  return full == kCentre ? value == kCentre : share > 0.4 && share < 0.6;
}

struct Gauge {
  int output;
  uint8_t direction;
  double fill;       // within a slice of the share's window
  const char* text;  // "%1" stands for the percentage shown; nullptr: the interface has no such output
};

class SimWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdl.ok()) << SDL_GetError();
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    stick = std::make_unique<VirtualJoystick>(3, 8, 1, "Bildschirm-Joystick");
    ASSERT_TRUE(stick->ok()) << SDL_GetError();
    window = std::make_unique<SimulationWindow>(*stick, intInt, robo);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  SimulationControls& c() { return window->controls(); }
  JoySample read() {
    JoySample sample;
    EXPECT_EQ(sdl.joyGetPosEx(0, sample), kJoyNoError);
    return sample;
  }
  void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center()); }
  void press(QWidget* widget) { QTest::mousePress(widget, Qt::LeftButton, {}, widget->rect().center()); }
  void release(QWidget* widget) { QTest::mouseRelease(widget, Qt::LeftButton, {}, widget->rect().center()); }
  void openIntInt(IntIntPort port, bool module) {
    intInt.setExtensionModule(module);
    ASSERT_TRUE(intInt.open(port, 1));
  }
  // One exchange, which moves the simulation's clock on by its time on the wire.
  void exchange(uint32_t outputWord) { intInt.exchange(outputWord); }
  void expectGauges(std::initializer_list<Gauge> gauges) {
    for (const Gauge& g : gauges) {
      SCOPED_TRACE("Motor " + std::to_string(g.output + 1));
      const size_t o = static_cast<size_t>(g.output);
      EXPECT_EQ(c().gauges[o]->isEnabled(), g.text != nullptr);
      EXPECT_EQ(c().gauges[o]->direction(), g.direction);
      EXPECT_NEAR(c().gauges[o]->fill(), g.fill, 0.07);
      QString text = QString::fromUtf8(g.text ? g.text : "–");
      if (text.contains("%1")) text = text.arg(std::lround(c().gauges[o]->fill() * 100));
      EXPECT_EQ(c().motorTexts[o]->text(), text);
    }
  }
  int enabledInputs() {
    int count = 0;
    for (QAbstractButton* input : c().inputs) count += input->isEnabled() ? 1 : 0;
    return count;
  }

  SdlJoystick sdl;  // first: SDL runs before the on-screen joystick attaches and after it detaches
  sim::SimIntelligentInterface intInt{sim::SimOptions{.paced = false}};
  sim::SimRoboInterface robo{sim::SimOptions{.paced = false}};
  std::unique_ptr<VirtualJoystick> stick;
  std::unique_ptr<SimulationWindow> window;
};

TEST_F(SimWindow, the_stick_follows_a_drag_to_corners_and_edges_and_springs_back_on_release) {
  struct Row {
    const char* where;
    QPointF to;
    uint32_t x, y;
  };
  const Row rows[] = {{"up left", {-1, -1}, kFullLeft, kFullLeft},
                      {"up right", {1, -1}, kFullRight, kFullLeft},
                      {"down right", {1, 1}, kFullRight, kFullRight},
                      {"down left", {-1, 1}, kFullLeft, kFullRight},
                      {"up", {0, -1}, kCentre, kFullLeft},
                      {"right", {1, 0}, kFullRight, kCentre},
                      {"down", {0, 1}, kCentre, kFullRight},
                      {"left", {-1, 0}, kFullLeft, kCentre}};
  StickPad* pad = c().stick;
  const QPoint centre = pad->pointOf({0, 0}).toPoint();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.where);
    QTest::mousePress(pad, Qt::LeftButton, {}, centre);
    EXPECT_EQ(read().dwXpos, kCentre);
    QTest::mouseMove(pad, pad->pointOf(row.to * 0.5).toPoint());
    const JoySample half = read();
    EXPECT_TRUE(halfway(half.dwXpos, row.x)) << half.dwXpos;
    EXPECT_TRUE(halfway(half.dwYpos, row.y)) << half.dwYpos;
    const QPoint beyond = pad->pointOf(row.to * 1.5).toPoint();  // past the pad's edge
    QTest::mouseMove(pad, beyond);
    const JoySample full = read();
    EXPECT_EQ(full.dwXpos, row.x);
    EXPECT_EQ(full.dwYpos, row.y);
    QTest::mouseRelease(pad, Qt::LeftButton, {}, beyond);
    const JoySample released = read();
    EXPECT_EQ(released.dwXpos, kCentre);
    EXPECT_EQ(released.dwYpos, kCentre);
  }
}

TEST_F(SimWindow, arrow_keys_move_the_stick_an_eighth_at_a_time_until_space_or_home_centres_it) {
  struct Row {
    const char* what;
    std::vector<Qt::Key> keys;
    int x, y;  // eighths
    Qt::Key centre;
  };
  const Row rows[] = {
      {"three right", {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right}, 3, 0, Qt::Key_Space},
      {"up past the end", std::vector<Qt::Key>(10, Qt::Key_Up), 0, -8, Qt::Key_Home},
      {"two left, one down", {Qt::Key_Left, Qt::Key_Down, Qt::Key_Left}, -2, 1, Qt::Key_Space},
      {"right and back", {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left}, 0, 1, Qt::Key_Home}};
  click(c().stick);  // a click takes the focus and leaves the stick centred
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    for (Qt::Key key : row.keys) QTest::keyClick(c().stick, key);
    JoySample s = read();
    EXPECT_NEAR(s.dwXpos, eighths(row.x), 1);
    EXPECT_NEAR(s.dwYpos, eighths(row.y), 1);
    QTest::keyClick(c().stick, row.centre);
    s = read();
    EXPECT_EQ(s.dwXpos, kCentre);
    EXPECT_EQ(s.dwYpos, kCentre);
  }
}

TEST_F(SimWindow, the_throttle_starts_closed_and_stays_where_it_is_left) {
  QSlider* throttle = c().throttle;
  EXPECT_EQ(read().dwZpos, 0u);
  EXPECT_EQ(c().throttleText->text(), "0 %");

  // Drag the handle up past the groove's end and let go: full throttle, and it stays.
  QStyleOptionSlider option;
  option.initFrom(throttle);
  option.orientation = Qt::Vertical;
  option.minimum = throttle->minimum();
  option.maximum = throttle->maximum();
  option.sliderPosition = option.sliderValue = throttle->value();
  option.upsideDown = true;
  const QPoint handle = throttle->style()
                            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, throttle)
                            .center();
  QTest::mousePress(throttle, Qt::LeftButton, {}, handle);
  QTest::mouseMove(throttle, {handle.x(), handle.y() / 2});
  QTest::mouseMove(throttle, {handle.x(), -20});
  QTest::mouseRelease(throttle, Qt::LeftButton, {}, {handle.x(), -20});
  EXPECT_EQ(read().dwZpos, kFullRight);
  EXPECT_EQ(c().throttleText->text(), "100 %");

  QTest::keyClick(throttle, Qt::Key_Home);
  for (int i = 0; i < 5; ++i) QTest::keyClick(throttle, Qt::Key_PageUp);
  EXPECT_EQ(read().dwZpos, static_cast<uint32_t>(5 * throttle->pageStep()));
  EXPECT_EQ(c().throttleText->text(), "50 %");
}

TEST_F(SimWindow, hat_and_buttons_act_while_held_and_let_go_on_release) {
  // The hat row by row from up left, in hundredths of a degree clockwise from forward; then buttons 1..8.
  const uint32_t pov[9] = {31500, 0, 4500, 27000, kHatCentred, 9000, 22500, 18000, 13500};
  for (size_t i = 0; i < 9 + 8; ++i) {
    const bool hat = i < 9;
    QToolButton* button = hat ? c().hat[i] : c().buttons[i - 9];
    SCOPED_TRACE(button->toolTip().toStdString());
    press(button);
    const JoySample held = read();
    EXPECT_EQ(held.dwPOV, hat ? pov[i] : kHatCentred);
    EXPECT_EQ(held.dwButtons, hat ? 0u : 1u << (i - 9));
    EXPECT_EQ(held.dwButtonNumber, hat ? 0u : 1u);
    release(button);
    const JoySample released = read();
    EXPECT_EQ(released.dwPOV, kHatCentred);
    EXPECT_EQ(released.dwButtons, 0u);
  }
}

TEST_F(SimWindow, latched_buttons_and_hat_stay_until_clicked_again_and_unlatching_lets_go) {
  click(c().latch);
  click(c().buttons[2]);
  click(c().buttons[5]);
  EXPECT_EQ(read().dwButtons, 1u << 2 | 1u << 5);
  click(c().buttons[2]);
  EXPECT_EQ(read().dwButtons, 1u << 5);

  click(c().hat[5]);  // right
  EXPECT_EQ(read().dwPOV, 9000u);
  click(c().hat[0]);  // up left takes over: one direction at a time
  EXPECT_EQ(read().dwPOV, 31500u);
  EXPECT_FALSE(c().hat[5]->isChecked());
  click(c().hat[0]);
  EXPECT_EQ(read().dwPOV, kHatCentred);
  click(c().hat[7]);
  click(c().hat[4]);  // the centre
  EXPECT_EQ(read().dwPOV, kHatCentred);

  click(c().hat[1]);
  click(c().latch);
  const JoySample s = read();
  EXPECT_EQ(s.dwButtons, 0u);
  EXPECT_EQ(s.dwPOV, kHatCentred);
  press(c().buttons[0]);
  release(c().buttons[0]);
  EXPECT_EQ(read().dwButtons, 0u);  // held again, not latched
}

TEST_F(SimWindow, closing_the_window_lets_go_of_stick_buttons_and_hat_but_leaves_the_throttle) {
  click(c().latch);
  click(c().buttons[1]);
  click(c().hat[3]);
  QTest::keyClick(c().stick, Qt::Key_Left);
  QTest::keyClick(c().throttle, Qt::Key_End);
  JoySample s = read();
  ASSERT_EQ(s.dwButtons, 2u);
  ASSERT_EQ(s.dwPOV, 27000u);
  ASSERT_LT(s.dwXpos, kCentre);
  window->close();
  s = read();
  EXPECT_EQ(s.dwButtons, 0u);
  EXPECT_EQ(s.dwPOV, kHatCentred);
  EXPECT_EQ(s.dwXpos, kCentre);
  EXPECT_EQ(s.dwZpos, kFullRight);
}

TEST_F(SimWindow, the_connected_interface_decides_which_input_switches_are_enabled) {
  struct Row {
    const char* name;
    enum { Nothing, Robo, IntInt } open;
    IntIntPort port;  // of the Intelligent Interface
    bool module;
    int inputs;
  };
  const Row rows[] = {{"Nicht Verbunden", Row::Nothing, {}, true, 0},
                      {"ROBO Interface", Row::Robo, {}, true, 8},
                      {"Intelligent Interface, seriell", Row::IntInt, IntIntPort::Serial, true, 8},
                      {"Intelligent Interface, seriell mit Extensionmodul", Row::IntInt,
                       IntIntPort::SerialWithExtension, false, 8},
                      {"Intelligent Interface, seriell mit Extensionmodul", Row::IntInt,
                       IntIntPort::SerialWithExtension, true, 16},
                      {"Intelligent Interface, Parallelport", Row::IntInt, IntIntPort::Parallel, true, 16}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.name << ", module " << row.module);
    if (row.open == Row::Robo) robo.open(RoboPort::Usb, -1);
    if (row.open == Row::IntInt) openIntInt(row.port, row.module);
    window->refresh();
    EXPECT_EQ(c().interfaceText->text(), QString::fromUtf8(row.name));
    EXPECT_EQ(enabledInputs(), row.inputs);
    for (int k = 0; k < row.inputs; ++k) EXPECT_TRUE(c().inputs[static_cast<size_t>(k)]->isEnabled()) << k;
    intInt.close();
    robo.close();
  }
}

TEST_F(SimWindow, a_switch_closes_its_input_on_both_simulations_until_clicked_again) {
  openIntInt(IntIntPort::SerialWithExtension, true);
  robo.open(RoboPort::Usb, -1);
  window->refresh();
  click(c().inputs[2]);
  click(c().inputs[15]);
  EXPECT_TRUE(c().inputs[2]->isChecked());
  EXPECT_EQ(intInt.exchange(0), 1u << 2 | 1u << 15);
  EXPECT_EQ(robo.readInputs(), 1u << 2);  // the ROBO Interface has eight inputs
  click(c().inputs[2]);
  EXPECT_EQ(intInt.exchange(0), 1u << 15);
  EXPECT_EQ(robo.inputs(), 1u << 15);
}

TEST_F(SimWindow, the_gauges_show_direction_and_on_share_the_intelligent_interface_received) {
  openIntInt(IntIntPort::Serial, true);
  for (int i = 0; i < 400; ++i) {  // motor 1 left always, motor 2 right in three of four, motor 4 both bits
    exchange(0b01 | (i % 4 != 0 ? 0b10 << 2 : 0) | 0b11 << 6);
  }
  const sim::Clock::time_point last = intInt.wire().lastExchange();
  window->refresh();
  expectGauges({{0, 1, 1.0, "L 100 %"},
                {1, 2, 0.75, "R %1 %"},
                {2, 0, 0, "aus"},
                {3, 0, 0, "aus"},
                {4, 0, 0, nullptr},
                {7, 0, 0, nullptr}});
  ASSERT_GT(intInt.wire().exchangeRate(), 0);
  EXPECT_EQ(c().rateText->text(), QString("%1 pro Sekunde").arg(std::lround(intInt.wire().exchangeRate())));
  EXPECT_NEAR(intInt.wire().exchangeRate(), 1s / sim::kIntIntExchangeTime, 1);

  // Full right from now on: the gauges follow within the share's window.
  for (int i = 0; i < 60; ++i) exchange(0b10 | 0b10 << 2);
  window->refresh();
  expectGauges({{0, 2, 1.0, "R 100 %"}, {1, 2, 1.0, "R 100 %"}});

  window->refresh(intInt.wire().lastExchange() + sim::kIntIntWatchdog + 1ms);  // the watchdog switches off
  expectGauges({{0, 0, 0, "aus"}, {1, 0, 0, "aus"}});
  window->refresh(last + 2s);  // exchanges that stopped have no rate
  EXPECT_EQ(c().rateText->text(), "0 pro Sekunde");
}

TEST_F(SimWindow, the_gauges_show_direction_and_level_the_robo_interface_received) {
  robo.open(RoboPort::Usb, -1);
  ASSERT_TRUE(robo.sendOutputs(0b01 | 0b10 << 2 | 0b00 << 4 | 0b10 << 6, 0x0357));
  window->refresh();
  expectGauges({{0, 1, 1.0, "L Stufe 7"},
                {1, 2, 5 / 7.0, "R Stufe 5"},
                {2, 0, 0, "aus"},
                {3, 2, 0, "R Stufe 0"},
                {4, 0, 0, nullptr},
                {7, 0, 0, nullptr}});
}

TEST_F(SimWindow, the_connection_button_makes_every_exchange_fail_until_clicked_again) {
  openIntInt(IntIntPort::Serial, false);
  robo.open(RoboPort::Usb, -1);
  EXPECT_EQ(c().connection->text().remove('&'), "Verbindung unterbrechen");
  click(c().connection);
  EXPECT_EQ(c().connection->text().remove('&'), "Verbindung wiederherstellen");
  EXPECT_EQ(intInt.exchange(0), std::nullopt);
  EXPECT_FALSE(robo.sendOutputs(0, 0));
  click(c().connection);
  EXPECT_EQ(c().connection->text().remove('&'), "Verbindung unterbrechen");
  EXPECT_EQ(intInt.exchange(0), 0u);
  EXPECT_TRUE(robo.sendOutputs(0, 0));
}

TEST_F(SimWindow, the_extension_check_box_plugs_in_the_module_that_serves_motors_5_to_8) {
  struct Row {
    IntIntPort type;
    int outputsWithModule;
  };
  const Row rows[] = {
      {IntIntPort::Serial, 4}, {IntIntPort::SerialWithExtension, 8}, {IntIntPort::Parallel, 8}};
  const uint32_t motor6Right = 0b10 << 10;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "port kind " << static_cast<int>(row.type));
    openIntInt(row.type, false);
    intInt.exchange(motor6Right);
    window->refresh(intInt.wire().lastExchange());
    expectGauges({{5, 0, 0, nullptr}});
    EXPECT_EQ(enabledInputs(), 8);

    click(c().extensionModule);
    EXPECT_TRUE(intInt.extensionModule());
    intInt.exchange(motor6Right);
    window->refresh(intInt.wire().lastExchange());
    const bool served = row.outputsWithModule == 8;
    EXPECT_EQ(c().gauges[5]->isEnabled(), served);
    EXPECT_EQ(c().gauges[5]->direction(), served ? 2 : 0);
    EXPECT_EQ(enabledInputs(), 2 * row.outputsWithModule);
    click(c().extensionModule);
    EXPECT_FALSE(intInt.extensionModule());
    intInt.close();
  }
}

TEST_F(SimWindow, every_text_shows_in_full_without_overlap_in_a_window_that_fits_beside_the_main_window) {
  openIntInt(IntIntPort::SerialWithExtension, true);
  intInt.exchange(0xAAAA);  // all eight right at full
  robo.open(RoboPort::Usb, -1);
  robo.sendOutputs(0xAA, 0x7777);
  click(c().connection);  // the longer button text
  for (bool roboShown : {false, true}) {
    SCOPED_TRACE(roboShown ? "ROBO Interface" : "Intelligent Interface");
    if (roboShown) intInt.close();
    window->refresh(intInt.wire().lastExchange());
    EXPECT_EQ(c().motorTexts[0]->text(), roboShown ? "R Stufe 7" : "R 100 %");
    QList<QWidget*> leaves;
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (w->isVisible() && w->findChildren<QWidget*>().isEmpty()) leaves << w;
    }
    ASSERT_GT(leaves.size(), 60);
    for (QWidget* w : leaves) {
      const QString name = w->metaObject()->className() + QString(" ") + w->property("text").toString();
      EXPECT_GE(w->width(), w->sizeHint().width()) << name.toStdString();
      EXPECT_GE(w->height(), w->sizeHint().height()) << name.toStdString();
      for (QWidget* other : leaves) {
        if (other == w) continue;
        const QRect a(w->mapTo(window.get(), QPoint()), w->size());
        const QRect b(other->mapTo(window.get(), QPoint()), other->size());
        EXPECT_FALSE(a.intersects(b)) << name.toStdString() << " overlaps another";
      }
    }
  }
  EXPECT_LE(window->width(), 1024 - 600);
  EXPECT_LE(window->height(), 768 - 60);  // room for the title bar and a panel
}

// The simulation window names things as the main window does, where the user chooses them.
TEST_F(SimWindow, it_speaks_the_main_windows_words_and_shows_x_y_and_z) {
  QStringList shown, tips;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // As shown: a key's "&" is no letter of the word.
    if (auto* group = qobject_cast<QGroupBox*>(w)) shown << group->title().remove('&');
    if (w->isVisible() && !w->property("text").toString().isEmpty())
      shown << w->property("text").toString().remove('&');
    if (!w->toolTip().isEmpty()) tips << w->toolTip();
  }
  const QString all = (shown + tips).join('\n');
  for (const char* theirs : {"Hut", "Knopf", "Knöpfe", "Erweiterung"}) {
    EXPECT_FALSE(all.contains(QString::fromUtf8(theirs))) << "the main window does not say " << theirs;
  }
  EXPECT_FALSE(all.contains(QRegularExpression("\\bSchub\\b"))) << "the main window says Schubregler";
  const QString visible = shown.join('\n');
  for (const char* ours : {"POV1", "POV2", "Buttons", "Schubregler", "(Z)", "Extensionmodul"}) {
    EXPECT_TRUE(visible.contains(QString::fromUtf8(ours))) << ours << " is not shown";
  }
  // What the connection dialog and the live view say for the same thing.
  for (const char* theirs : {"Nicht verbunden", "Extension-Modul", "links 1", "rechts 1", "links Stufe"}) {
    EXPECT_FALSE(all.contains(QString::fromUtf8(theirs)))
        << "the program's other windows do not say " << theirs;
  }
}

// The title bar shows the program's icon, as the main window's does, not a generic window.
TEST_F(SimWindow, its_title_bar_shows_the_programs_icon) {
  ASSERT_FALSE(programIcon().isNull());
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(window->windowIcon().pixmap(32).toImage(), programIcon().pixmap(32).toImage());
}

// Every button and switch a key reaches has its own key (Alt and the underlined character), and each
// key does what a click or the focus does: the check boxes and the connection button switch, a
// joystick button is pressed, a heading's key takes the focus to its control.
TEST_F(SimWindow, each_key_is_the_windows_only_one_and_does_what_its_control_does) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QMap<QString, QString> owners;  // key -> the text that holds it
  for (QWidget* w : window->findChildren<QWidget*>()) {
    QString text = w->property("text").toString();
    if (auto* group = qobject_cast<QGroupBox*>(w)) text = group->title();
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (key.isEmpty()) continue;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      EXPECT_NE(label->buddy(), nullptr) << text.toStdString();
    }
    EXPECT_FALSE(owners.contains(key.toString()))
        << key.toString().toStdString() << " twice: " << text.toStdString() << " and "
        << owners.value(key.toString()).toStdString();
    owners.insert(key.toString(), text);
  }
  for (QAbstractButton* button :
       std::initializer_list<QAbstractButton*>{c().latch, c().extensionModule, c().connection}) {
    EXPECT_FALSE(QKeySequence::mnemonic(button->text()).isEmpty()) << button->text().toStdString();
  }
  for (QToolButton* button : c().buttons) EXPECT_FALSE(QKeySequence::mnemonic(button->text()).isEmpty());

  const auto alt = [&](Qt::Key key) { QTest::keyClick(window.get(), key, Qt::AltModifier); };
  struct Row {
    Qt::Key key;
    QWidget* focused;
  };
  // A group's key takes the focus into the group, to its first control (the stick, the first input
  // switch that the connected interface has), or back to where the focus was in it last.
  openIntInt(IntIntPort::Serial, false);
  window->refresh();
  const Row rows[] = {{Qt::Key_E, c().inputs[0]},
                      {Qt::Key_J, c().stick},
                      {Qt::Key_Z, c().throttle},
                      {Qt::Key_P, c().hat[4]},
                      {Qt::Key_B, c().buttons[0]}};
  for (const Row& row : rows) {
    SCOPED_TRACE(QKeySequence(row.key).toString().toStdString());
    alt(row.key);
    EXPECT_EQ(QApplication::focusWidget(), row.focused)
        << QApplication::focusWidget()->metaObject()->className() << " "
        << QApplication::focusWidget()->property("text").toString().toStdString();
  }
  // A key clicks as the mouse does, letting go a moment later: the switches switch then.
  alt(Qt::Key_X);
  EXPECT_TRUE(QTest::qWaitFor([&] { return intInt.extensionModule(); }, 20000));
  alt(Qt::Key_V);
  EXPECT_TRUE(QTest::qWaitFor([&] { return intInt.wire().connectionLost(); }, 20000));
  alt(Qt::Key_V);  // the same key on the button's other text
  EXPECT_TRUE(QTest::qWaitFor([&] { return !intInt.wire().connectionLost(); }, 20000));
  alt(Qt::Key_3);
  EXPECT_EQ(read().dwButtons, 1u << 2);  // held for the moment of the click
  EXPECT_TRUE(QTest::qWaitFor([&] { return read().dwButtons == 0; }, 20000));
  alt(Qt::Key_R);
  EXPECT_TRUE(QTest::qWaitFor([&] { return c().latch->isChecked(); }, 20000));
}

// The hint under the stick is text the user must read, not a greyed placeholder.
TEST_F(SimWindow, the_hint_under_the_stick_can_be_read) {
  QLabel* hint = nullptr;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->text().startsWith("Ziehen oder Pfeiltasten")) hint = label;
  }
  ASSERT_NE(hint, nullptr);
  EXPECT_TRUE(hint->isVisible());
  EXPECT_TRUE(hint->isEnabled());
  EXPECT_GE(testing::drawnContrast(hint->grab().toImage(), hint->rect()), 4.5);
}

TEST_F(SimWindow, x_and_y_are_written_on_the_stick_where_it_goes_for_each) {
  StickPad* pad = c().stick;
  const QImage picture = pad->grab().toImage();
  for (Qt::Orientation axis : {Qt::Horizontal, Qt::Vertical}) {
    SCOPED_TRACE(axis == Qt::Horizontal ? "X" : "Y");
    const QRect name = pad->axisNameRect(axis);
    EXPECT_TRUE(pad->rect().contains(name));
    EXPECT_GE(testing::drawnContrast(picture, name), 4.5);
  }
  // X names the right end of the horizontal line, Y the lower end of the vertical one.
  EXPECT_GT(pad->axisNameRect(Qt::Horizontal).center().x(), pad->width() * 3 / 4);
  EXPECT_GT(pad->axisNameRect(Qt::Vertical).center().y(), pad->height() * 3 / 4);
}

TEST_F(SimWindow, the_compact_layout_is_lower_keeps_every_control_and_can_go_back) {
  const QSize oneColumn = window->size();
  const QSize compact = window->sizeFor(SimulationWindow::Layout::Compact);
  EXPECT_FALSE(window->isCompact());  // measuring leaves the layout as it is
  EXPECT_EQ(window->size(), oneColumn);
  window->setCompact(true);
  EXPECT_EQ(window->size(), compact);
  EXPECT_LT(compact.height(), oneColumn.height() - 100);
  EXPECT_FALSE(c().hint->isVisible());  // left to the stick's tooltip
  EXPECT_TRUE(c().stick->toolTip().contains("Pfeiltasten"));
  // Motors 5 to 8 stand beside motors 1 to 4.
  for (int o = 0; o < 4; ++o) {
    const QPoint left = c().gauges[static_cast<size_t>(o)]->mapTo(window.get(), QPoint());
    const QPoint right = c().gauges[static_cast<size_t>(o + 4)]->mapTo(window.get(), QPoint());
    EXPECT_EQ(left.y(), right.y());
    EXPECT_GT(right.x(), left.x() + c().gauges[0]->width());
  }
  // The controls work as before: a click still closes an input.
  openIntInt(IntIntPort::Serial, false);
  window->refresh();
  click(c().inputs[3]);
  EXPECT_EQ(intInt.exchange(0), 1u << 3);
  window->setCompact(false);
  EXPECT_EQ(window->size(), oneColumn);
  EXPECT_TRUE(c().hint->isVisible());
}

// Wide, for a screen too low for the other layouts: the joystick, the inputs and the switches in a
// column, the motors in one column right of it.
TEST_F(SimWindow, the_wide_layout_is_the_lowest_puts_the_motors_right_of_the_joystick_and_can_go_back) {
  const QSize oneColumn = window->size();
  const QSize compact = window->sizeFor(SimulationWindow::Layout::Compact);
  const QSize wide = window->sizeFor(SimulationWindow::Layout::Wide);
  EXPECT_EQ(window->arrangement(), SimulationWindow::Layout::OneColumn);
  window->setArrangement(SimulationWindow::Layout::Wide);
  EXPECT_EQ(window->size(), wide);
  EXPECT_LT(wide.height(), compact.height());
  EXPECT_FALSE(window->isCompact());
  EXPECT_TRUE(c().hint->isVisible());
  const auto at = [this](QWidget* w) { return QRect(w->mapTo(window.get(), QPoint()), w->size()); };
  const QRect stickColumn = at(c().stick).united(at(c().inputs[15])).united(at(c().connection));
  for (int o = 0; o < kMaxOutputs; ++o) {
    SCOPED_TRACE(o + 1);
    const QRect gauge = at(c().gauges[static_cast<size_t>(o)]);
    EXPECT_GT(gauge.left(), stickColumn.right());
    if (o > 0) {
      const QRect above = at(c().gauges[static_cast<size_t>(o - 1)]);
      EXPECT_EQ(gauge.left(), above.left());
      EXPECT_GT(gauge.top(), above.bottom());
    }
  }
  EXPECT_FALSE(at(c().interfaceText).intersects(at(c().rateText)));
  openIntInt(IntIntPort::Serial, false);
  window->refresh();
  click(c().inputs[2]);
  EXPECT_EQ(intInt.exchange(0), 1u << 2);
  window->setArrangement(SimulationWindow::Layout::OneColumn);
  EXPECT_EQ(window->size(), oneColumn);
}

TEST_F(SimWindow, a_modal_main_window_blocks_other_windows_but_not_the_simulation_window_it_parents) {
  QDialog main;
  main.setWindowModality(Qt::ApplicationModal);  // as its exec() makes it
  SimulationWindow beside(*stick, intInt, robo, &main);
  main.show();
  beside.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&beside));
  // Through the window system, where the block of a modal window applies.
  for (SimulationWindow* shown : {&beside, window.get()}) {
    QToolButton* button = shown->controls().buttons[0];
    const QPoint at = button->mapTo(shown, button->rect().center());
    QTest::mousePress(shown->windowHandle(), Qt::LeftButton, {}, at);
    EXPECT_EQ(read().dwButtons, shown == &beside ? 1u : 0u);
    QTest::mouseRelease(shown->windowHandle(), Qt::LeftButton, {}, at);
  }
}

TEST_F(SimWindow, the_window_reads_the_simulation_while_a_worker_exchanges_and_reads_the_joystick) {
  openIntInt(IntIntPort::SerialWithExtension, true);
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> sawButtons{0};
  std::thread worker([&] {
    JoySample sample;
    for (uint32_t i = 0; !stop.load(); ++i) {
      exchange((i & 1) ? 0b01 : 0);
      if (sdl.joyGetPosEx(0, sample) == kJoyNoError) sawButtons.fetch_or(sample.dwButtons);
    }
  });
  for (int i = 0; i < 200; ++i) {
    window->refresh();
    click(c().inputs[static_cast<size_t>(i % 16)]);
    if (i % 50 == 0) click(c().extensionModule);
    QTest::keyClick(c().stick, (i / 8) % 2 ? Qt::Key_Left : Qt::Key_Right);
  }
  press(c().buttons[7]);
  while ((sawButtons.load() & 0x80) == 0) std::this_thread::yield();
  release(c().buttons[7]);
  stop = true;
  worker.join();
  window->refresh();
  EXPECT_EQ(c().gauges[0]->direction(), 1);
  EXPECT_NEAR(c().gauges[0]->fill(), 0.5, 0.05);
}

// The gauges follow what the interface does now: the stick held after a pause shows at once, and
// an output that stopped shows "aus" well before the watchdog would end it.
TEST(SimGauges, a_gauge_follows_its_output_within_a_fifth_of_a_second) {
  SdlJoystick sdl;
  ASSERT_TRUE(sdl.ok()) << SDL_GetError();
  if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
  VirtualJoystick stick(3, 8, 1, "Bildschirm-Joystick");
  struct Row {
    const char* what;
    uint32_t before, after;  // motor 1's word for 600 exchanges, then for 60
    std::chrono::milliseconds later;
    const char* shown;
  };
  const Row rows[] = {{"held full left after a pause", 0, 0b01, 100ms, "L 100 %"},
                      {"released after holding full left", 0b01, 0, 190ms, "aus"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    sim::SimIntelligentInterface intInt(sim::SimOptions{.paced = false});
    sim::SimRoboInterface robo(sim::SimOptions{.paced = false});
    SimulationWindow window(stick, intInt, robo);
    ASSERT_TRUE(intInt.open(IntIntPort::Serial, 1));
    for (int i = 0; i < 600; ++i) intInt.exchange(row.before);
    for (int i = 0; i < 60; ++i) intInt.exchange(row.after);
    window.refresh(intInt.wire().lastExchange() + row.later);
    EXPECT_EQ(window.controls().motorTexts[0]->text(), QString::fromUtf8(row.shown));
  }
}

TEST(SimGauges, two_outputs_turning_the_same_way_look_alike) {
  QWidget panel;
  OutputGauge earlier(&panel), later(&panel);
  for (OutputGauge* gauge : {&earlier, &later}) gauge->resize(gauge->sizeHint());
  for (int i = 0; i < 37; ++i) earlier.setState(2, 0.8);  // right for a while already
  later.setState(1, 0.3);
  later.setState(2, 0.8);  // right from now on
  EXPECT_EQ(earlier.grab().toImage(), later.grab().toImage());
  later.setState(1, 0.8);
  EXPECT_NE(earlier.grab().toImage(), later.grab().toImage()) << "left looks like right";
}

}  // namespace
}  // namespace velomat
