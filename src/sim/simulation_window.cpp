#include "sim/simulation_window.h"

#include <SDL.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/classic_style.h"
#include "ui/dialog_builder.h"
#include "ui/window_placement.h"

namespace velomat {

namespace {

using namespace std::chrono_literals;

constexpr int kRefreshMs = 50;
constexpr int kHatCentre = 4;  // the middle of the 3x3 grid
constexpr Uint8 kHatValues[9] = {SDL_HAT_LEFTUP,   SDL_HAT_UP,       SDL_HAT_RIGHTUP,
                                 SDL_HAT_LEFT,     SDL_HAT_CENTERED, SDL_HAT_RIGHT,
                                 SDL_HAT_LEFTDOWN, SDL_HAT_DOWN,     SDL_HAT_RIGHTDOWN};
constexpr const char* kHatGlyphs[9] = {"↖", "↑", "↗", "←", "○", "→", "↙", "↓", "↘"};
constexpr const char* kHatNames[9] = {"links oben", "oben",        "rechts oben", "links",       "Mitte",
                                      "rechts",     "links unten", "unten",       "rechts unten"};
constexpr int kRoboTopLevel = 7;
// A rate older than this stands for exchanges that have stopped.
constexpr auto kRateStale = 1s;

QString text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

const QString kOffText = text("aus");
const QString kAbsentText = text("–");
// Both texts of the connection button keep its key, Alt+V.
const QString kLostText = text("&Verbindung unterbrechen");
const QString kRestoreText = text("&Verbindung wiederherstellen");
// Not connected, in the connection dialog's words.
const QString kNotConnectedText = text("Nicht Verbunden");

// A direction as the main window's lists and the live view name it.
QString directionName(uint8_t direction) {
  return text(direction == 1 ? "L" : "R");
}

QString interfaceName(std::optional<IntIntPort> port) {
  if (!port) return text("Intelligent Interface");
  switch (*port) {
    case IntIntPort::Serial:
      return text("Intelligent Interface, seriell");
    case IntIntPort::SerialWithExtension:
      return text("Intelligent Interface, seriell mit Extensionmodul");
    case IntIntPort::Parallel:
      return text("Intelligent Interface, Parallelport");
  }
  return text("Intelligent Interface");
}

// The hat in the main window's words: "POV1" is its left and right, "POV2" its forward and back.
const QString kHatName = text("POV1/POV2");

QString hatTip(int i, bool latched) {
  if (i == kHatCentre) return kHatName + text(": Mitte");
  return kHatName +
         text(latched ? ": %1, bis zum nächsten Klick" : ": %1, solange die Maustaste gedrückt ist")
             .arg(text(kHatNames[i]));
}

QString buttonTip(int b, bool latched) {
  return text(latched ? "Button %1: ein Klick drückt, der nächste lässt los"
                      : "Button %1: gedrückt, solange die Maustaste gedrückt ist")
      .arg(b + 1);
}

QString percent(double share) {
  return QStringLiteral("%1 %").arg(std::lround(share * 100));
}

// Gives a label or button the width of the longest text it will show, so the window keeps its size.
template <typename Widget>
void reserveWidth(Widget* widget, const QStringList& texts) {
  const QString shown = widget->text();
  int width = 0;
  for (const QString& candidate : texts) {
    widget->setText(candidate);
    width = std::max(width, widget->sizeHint().width());
  }
  widget->setText(shown);
  widget->setMinimumWidth(width);
}

// A small button that does not take the focus from the stick pad when clicked. Checked, it takes the
// selection colour: a closed switch or a latched button must stand out at a glance.
QToolButton* smallButton(const QString& label, const QString& tip, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(label);
  button->setToolTip(tip);
  button->setFocusPolicy(Qt::TabFocus);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  QObject::connect(button, &QToolButton::toggled, button, [button](bool on) {
    QPalette palette = button->parentWidget()->palette();
    if (on) {
      for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, palette.color(group, QPalette::Highlight));
        palette.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::HighlightedText));
      }
    }
    button->setPalette(palette);
  });
  return button;
}

}  // namespace

SimulationWindow::SimulationWindow(VirtualJoystick& joystick, sim::SimIntelligentInterface& intInt,
                                   sim::SimRoboInterface& robo, QWidget* parent)
    : QWidget(parent, Qt::Window), joystick_(joystick), intInt_(intInt), robo_(robo) {
  setWindowTitle(text(kSimulationWindowCaption));
  setWindowIcon(programIcon());
  // It shows after the main window, which keeps the keys: Enter there is "NOT-AUS".
  setAttribute(Qt::WA_ShowWithoutActivating);
  buildJoystick();
  buildInterface();
  buildInputs();

  SimulationControls& c = controls_;
  c.extensionModule = new QCheckBox(text("E&xtensionmodul am Intelligent Interface"), this);
  c.extensionModule->setToolTip(
      text("Steckt am simulierten Intelligent Interface ein Extensionmodul?\n"
           "Motor 5–8 und E9–E16 arbeiten nur mit Modul, und nur wenn Velomat es anspricht\n"
           "(seriell mit Extensionmodul) oder das Interface am Parallelport hängt."));
  c.extensionModule->setChecked(intInt_.extensionModule());
  connect(c.extensionModule, &QCheckBox::toggled, this, [this](bool attached) {
    intInt_.setExtensionModule(attached);
    refresh();
  });

  c.connection = new QPushButton(this);
  c.connection->setCheckable(true);
  c.connection->setToolTip(
      text("Lässt jeden Austausch mit dem Interface scheitern, bis die Verbindung wiederhergestellt ist.\n"
           "So lassen sich „Wiederholen“ und „Abbrechen“ ausprobieren."));
  const bool lost = intInt_.wire().connectionLost() || robo_.wire().connectionLost();
  c.connection->setChecked(lost);
  setConnectionLost(lost);
  reserveWidth(c.connection, {kLostText, kRestoreText});
  connect(c.connection, &QPushButton::toggled, this, [this](bool cut) { setConnectionLost(cut); });
  arrange();
  // The look of the program's other windows, whose radio circles and check squares show on a dark
  // desktop as on a light one.
  applyClassicStyle(this);

  // The joystick at rest: the stick springs to the centre, the throttle starts closed.
  joystick_.axis(0, 0);
  joystick_.axis(1, 0);
  joystick_.axis(2, static_cast<Sint16>(c.throttle->value()));
  for (int b = 0; b < static_cast<int>(c.buttons.size()); ++b) joystick_.button(b, false);
  joystick_.hat(SDL_HAT_CENTERED);

  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
  refresh();
}

SimulationWindow::~SimulationWindow() = default;

void SimulationWindow::buildJoystick() {
  SimulationControls& c = controls_;
  // Keys: Alt+J the stick, Alt+Z the throttle, Alt+P the hat, Alt+B and Alt+1..8 the buttons, Alt+R
  // the latch; Alt+E the input switches, Alt+X the extension module, Alt+V the connection.
  joystickGroup_ = new QGroupBox(text("&Joystick"), this);
  QGroupBox* group = joystickGroup_;

  c.stick = new StickPad(group);
  keepClear(*c.stick);  // it drives the motors: no other window of the program covers it
  c.stick->setToolTip(
      text("Knüppel (X/Y): mit der Maus ziehen; beim Loslassen federt er in die Mitte zurück.\n"
           "Pfeiltasten: je ein Achtel weiter, Leertaste oder Pos1: zurück in die Mitte."));
  c.stick->setMoved([this](int16_t x, int16_t y) {
    joystick_.axis(0, x);
    joystick_.axis(1, y);
  });
  c.hint = new QLabel(text("Ziehen oder Pfeiltasten,\nLeertaste: zur Mitte"), group);
  c.hint->setAlignment(Qt::AlignCenter);

  throttleHeading_ = new QLabel(text("Schubregler (&Z)"), group);
  c.throttle = new QSlider(Qt::Vertical, group);
  c.throttle->setRange(-32768, 32767);
  c.throttle->setSingleStep(655);  // about a percent
  c.throttle->setPageStep(6554);   // about ten
  c.throttle->setValue(-32768);
  c.throttle->setFixedHeight(c.stick->height());
  c.throttle->setToolTip(text("Schubregler (Z): bleibt, wo man ihn loslässt; oben ist Vollgas."));
  c.throttleText = new QLabel(group);
  c.throttleText->setAlignment(Qt::AlignCenter);
  reserveWidth(c.throttleText, {percent(1)});
  const auto showThrottle = [this](int value) {
    joystick_.axis(2, static_cast<Sint16>(value));
    controls_.throttleText->setText(percent((value + 32768) / 65535.0));
  };
  showThrottle(c.throttle->value());
  throttleHeading_->setBuddy(c.throttle);
  connect(c.throttle, &QSlider::valueChanged, this, showThrottle);

  hatHeading_ = new QLabel(text("&") + kHatName, group);
  for (int i = 0; i < 9; ++i) {
    QToolButton* button = smallButton(text(kHatGlyphs[i]), hatTip(i, false), group);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    c.hat[static_cast<size_t>(i)] = button;
    if (i == kHatCentre) {
      connect(button, &QToolButton::clicked, this, [this] { setHat(kHatCentre); });
      continue;
    }
    connect(button, &QToolButton::pressed, this, [this, i] {
      if (!latched()) setHat(i);
    });
    connect(button, &QToolButton::released, this, [this] {
      if (!latched()) setHat(kHatCentre);
    });
    connect(button, &QToolButton::clicked, this, [this, i](bool checked) {
      if (latched()) setHat(checked ? i : kHatCentre);
    });
  }
  // Square buttons, all as large as the widest glyph needs.
  int side = 0;
  for (QToolButton* button : c.hat)
    side = std::max({side, button->sizeHint().width(), button->sizeHint().height()});
  for (QToolButton* button : c.hat) button->setFixedSize(side, side);

  hatHeading_->setBuddy(c.hat[kHatCentre]);

  buttonsLabel_ = new QLabel(text("&Buttons:"), group);
  for (int b = 0; b < static_cast<int>(c.buttons.size()); ++b) {
    QToolButton* button = smallButton(text("&%1").arg(b + 1), buttonTip(b, false), group);
    c.buttons[static_cast<size_t>(b)] = button;
    connect(button, &QToolButton::pressed, this, [this, b] {
      if (!latched()) joystick_.button(b, true);
    });
    connect(button, &QToolButton::released, this, [this, b] {
      if (!latched()) joystick_.button(b, false);
    });
    connect(button, &QToolButton::clicked, this, [this, b](bool checked) {
      if (latched()) joystick_.button(b, checked);
    });
  }

  buttonsLabel_->setBuddy(c.buttons[0]);

  c.latch = new QCheckBox(text("Buttons und POV1/POV2 &rasten ein"), group);
  c.latch->setToolTip(
      text("Aus: gedrückt, solange die Maustaste gedrückt ist, wie am echten Joystick.\n"
           "Ein: ein Klick drückt, der nächste lässt los; so bleibt die Maus frei für den Knüppel."));
  connect(c.latch, &QCheckBox::toggled, this, [this](bool on) { setLatched(on); });
}

void SimulationWindow::buildInterface() {
  SimulationControls& c = controls_;
  interfaceGroup_ = new QGroupBox(text("Interface"), this);
  QGroupBox* group = interfaceGroup_;

  connectionLabel_ = new QLabel(text("Verbindung:"), group);
  c.interfaceText = new QLabel(group);
  QStringList names = {kNotConnectedText, text("ROBO Interface")};
  for (IntIntPort port : {IntIntPort::Serial, IntIntPort::SerialWithExtension, IntIntPort::Parallel})
    names << interfaceName(port);
  reserveWidth(c.interfaceText, names);

  rateLabel_ = new QLabel(text("Austausch:"), group);
  c.rateText = new QLabel(group);
  reserveWidth(c.rateText, {text("9999 pro Sekunde")});

  const QString gaugeTip = text(
      "Pfeil: Drehrichtung. Balken und Zahl: beim Intelligent Interface der Anteil der letzten\n"
      "150 ms, in dem der Ausgang an war, beim ROBO Interface die Stufe 0 bis 7.");
  // What a motor's figures can read: a share, or a level (the ROBO Interface drives motors 5 to 8 on
  // its I/O extension too).
  QStringList longest = {kOffText, kAbsentText};
  for (uint8_t direction : {1, 2}) {
    longest << directionName(direction) + " " + percent(1)
            << directionName(direction) + text(" Stufe %1").arg(kRoboTopLevel);
  }
  for (int o = 0; o < kMaxOutputs; ++o) {
    const size_t i = static_cast<size_t>(o);
    c.motorNames[i] = new QLabel(text("Motor %1").arg(o + 1), group);
    c.gauges[i] = new OutputGauge(group);
    c.gauges[i]->setToolTip(gaugeTip);
    c.motorTexts[i] = new QLabel(group);
    reserveWidth(c.motorTexts[i], longest);
  }
}

void SimulationWindow::buildInputs() {
  SimulationControls& c = controls_;
  inputsGroup_ = new QGroupBox(text("&Eingänge"), this);
  const uint32_t closed = intInt_.inputs() | robo_.inputs();
  for (int k = 0; k < kMaxInputs; ++k) {
    // The same lamp as the live view shows for an input, here a switch the user closes.
    auto* button = new Lamp(text("E%1").arg(k + 1), inputsGroup_);
    button->setToolTip(text("Eingang E%1: ein Klick schließt den Taster, der nächste öffnet ihn").arg(k + 1));
    button->setFocusPolicy(Qt::TabFocus);
    button->setCheckable(true);
    button->setChecked(((closed >> k) & 1u) != 0);
    intInt_.setInput(k, button->isChecked());
    robo_.setInput(k, button->isChecked());
    connect(button, &QAbstractButton::toggled, this, [this, k](bool on) {
      intInt_.setInput(k, on);
      robo_.setInput(k, on);
    });
    c.inputs[static_cast<size_t>(k)] = button;
  }
}

void SimulationWindow::arrange() {
  SimulationControls& c = controls_;
  const bool compact = layout_ == Layout::Compact;
  // The layouts go, the controls stay: the new layouts take them up again.
  for (QWidget* holder : {static_cast<QWidget*>(this), static_cast<QWidget*>(joystickGroup_),
                          static_cast<QWidget*>(interfaceGroup_), static_cast<QWidget*>(inputsGroup_)}) {
    delete holder->layout();
  }

  auto* joystick = new QGridLayout(joystickGroup_);
  joystick->addWidget(c.stick, 0, 0, 2, 1, Qt::AlignCenter);
  joystick->addWidget(throttleHeading_, 0, 1, Qt::AlignHCenter | Qt::AlignBottom);
  joystick->addWidget(c.throttle, 1, 1, Qt::AlignHCenter);
  joystick->addWidget(c.throttleText, 2, 1, Qt::AlignHCenter | Qt::AlignTop);
  joystick->addWidget(hatHeading_, 0, 2, Qt::AlignHCenter | Qt::AlignBottom);
  auto* hat = new QGridLayout;
  hat->setSpacing(2);
  for (int i = 0; i < 9; ++i) hat->addWidget(c.hat[static_cast<size_t>(i)], i / 3, i % 3);
  joystick->addLayout(hat, 1, 2, Qt::AlignCenter);
  // Compact, the stick's hint is left to its tooltip.
  c.hint->setVisible(!compact);
  if (!compact) joystick->addWidget(c.hint, 2, 0);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  buttons->addWidget(buttonsLabel_);
  buttons->addSpacing(4);
  for (QToolButton* button : c.buttons) buttons->addWidget(button);
  joystick->addLayout(buttons, 3, 0, 1, 3);
  joystick->addWidget(c.latch, 4, 0, 1, 3);
  joystick->setColumnStretch(0, 1);

  // The motors in one column, or compact in two: 1 to 4 and 5 to 8, with narrower gauges.
  auto* interface = new QGridLayout(interfaceGroup_);
  interface->setVerticalSpacing(3);
  const int columns = compact ? 2 : 1;
  const int rows = kMaxOutputs / columns;
  // Wide, the interface's name stands on a line of its own under "Verbindung:", which keeps the
  // group as narrow as its motors.
  const bool nameBelow = layout_ == Layout::Wide;
  const int first = nameBelow ? 3 : 2;  // the first motor's row
  interface->addWidget(connectionLabel_, 0, 0);
  if (nameBelow) {
    interface->addWidget(c.interfaceText, 1, 0, 1, 3 * columns);
  } else {
    interface->addWidget(c.interfaceText, 0, 1, 1, 3 * columns - 1);
  }
  interface->addWidget(rateLabel_, first - 1, 0);
  interface->addWidget(c.rateText, first - 1, 1, 1, 3 * columns - 1);
  for (int o = 0; o < kMaxOutputs; ++o) {
    const size_t i = static_cast<size_t>(o);
    const int row = first + o % rows, column = 3 * (o / rows);
    interface->addWidget(c.motorNames[i], row, column);
    interface->addWidget(c.gauges[i], row, column + 1);
    interface->addWidget(c.motorTexts[i], row, column + 2);
    c.gauges[i]->setCompact(compact);
  }
  for (int column = 0; column < columns; ++column) interface->setColumnStretch(3 * column + 1, 1);
  // Wide, the group is as high as the column beside it: the motors keep to its top.
  interface->setRowStretch(first + rows, 1);

  auto* inputs = new QGridLayout(inputsGroup_);
  inputs->setSpacing(2);
  for (int k = 0; k < kMaxInputs; ++k) inputs->addWidget(c.inputs[static_cast<size_t>(k)], k / 8, k % 8);

  // A column of the joystick, the motors (wide: right of the column), the inputs and the switches.
  auto* column = new QVBoxLayout;
  column->addWidget(joystickGroup_);
  if (layout_ != Layout::Wide) column->addWidget(interfaceGroup_);
  column->addWidget(inputsGroup_);
  if (compact) {  // the module and the connection on one line
    auto* line = new QHBoxLayout;
    line->addWidget(c.extensionModule);
    line->addStretch(1);
    line->addWidget(c.connection);
    column->addLayout(line);
  } else {
    column->addWidget(c.extensionModule);
    column->addWidget(c.connection, 0, Qt::AlignLeft);
  }
  auto* layout = new QHBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addLayout(column);
  if (layout_ == Layout::Wide) layout->addWidget(interfaceGroup_);
  layout->activate();
}

void SimulationWindow::setArrangement(Layout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  arrange();
  adjustSize();
}

QSize SimulationWindow::sizeFor(Layout layout) {
  const Layout shown = layout_;
  setArrangement(layout);
  const QSize size = this->size();
  setArrangement(shown);
  return size;
}

bool SimulationWindow::latched() const {
  return controls_.latch->isChecked();
}

void SimulationWindow::setHat(int index) {
  for (int i = 0; i < 9; ++i) {
    if (i != index) controls_.hat[static_cast<size_t>(i)]->setChecked(false);
  }
  joystick_.hat(kHatValues[index]);
}

void SimulationWindow::setLatched(bool latched) {
  // Whatever was held or latched is let go when the mode changes.
  for (int i = 0; i < 9; ++i) {
    QToolButton* button = controls_.hat[static_cast<size_t>(i)];
    button->setChecked(false);
    button->setCheckable(latched && i != kHatCentre);
    button->setToolTip(hatTip(i, latched));
  }
  joystick_.hat(SDL_HAT_CENTERED);
  for (int b = 0; b < static_cast<int>(controls_.buttons.size()); ++b) {
    QToolButton* button = controls_.buttons[static_cast<size_t>(b)];
    button->setChecked(false);
    button->setCheckable(latched);
    button->setToolTip(buttonTip(b, latched));
    joystick_.button(b, false);
  }
}

void SimulationWindow::setConnectionLost(bool lost) {
  intInt_.wire().setConnectionLost(lost);
  robo_.wire().setConnectionLost(lost);
  controls_.connection->setText(lost ? kRestoreText : kLostText);
}

void SimulationWindow::refresh() {
  const bool robo = !intInt_.isOpen() && robo_.isOpen();
  refresh(robo ? robo_.wire().now() : intInt_.wire().now());
}

void SimulationWindow::refresh(sim::Clock::time_point now) {
  SimulationControls& c = controls_;
  // The connection plugs the module in or out as the user set it up; the switch shows what is there.
  if (c.extensionModule->isChecked() != intInt_.extensionModule())
    c.extensionModule->setChecked(intInt_.extensionModule());
  const bool intInt = intInt_.isOpen();
  const bool robo = !intInt && robo_.isOpen();
  int outputs = 0;
  int inputs = 0;
  const sim::SimWire* wire = nullptr;
  if (intInt) {
    c.interfaceText->setText(interfaceName(intInt_.port()));
    outputs = intInt_.outputCount();
    inputs = intInt_.inputCount();
    wire = &intInt_.wire();
  } else if (robo) {
    c.interfaceText->setText(text("ROBO Interface"));
    outputs = robo_.outputCount();
    inputs = robo_.inputCount();
    wire = &robo_.wire();
  } else {
    c.interfaceText->setText(kNotConnectedText);
  }

  if (wire == nullptr) {
    c.rateText->setText(kAbsentText);
  } else {
    const double rate = now - wire->lastExchange() > kRateStale ? 0 : wire->exchangeRate();
    c.rateText->setText(text("%1 pro Sekunde").arg(std::lround(rate)));
  }

  for (int o = 0; o < kMaxOutputs; ++o) {
    const size_t i = static_cast<size_t>(o);
    const bool present = o < outputs;
    uint8_t direction = 0;
    double fill = 0;
    QString figures = kAbsentText;
    if (present && intInt) {
      fill = intInt_.onShare(o, now);
      direction = intInt_.direction(o, now);
      figures = direction == 0 ? kOffText : directionName(direction) + " " + percent(fill);
    } else if (present && robo) {
      direction = robo_.direction(o);
      const int level = robo_.level(o);
      fill = static_cast<double>(level) / kRoboTopLevel;
      figures = direction == 0 ? kOffText : directionName(direction) + text(" Stufe %1").arg(level);
    }
    c.motorNames[i]->setEnabled(present);
    c.gauges[i]->setEnabled(present);
    c.motorTexts[i]->setEnabled(present);
    c.gauges[i]->setState(direction, fill);
    c.motorTexts[i]->setText(figures);
  }
  for (int k = 0; k < kMaxInputs; ++k) c.inputs[static_cast<size_t>(k)]->setEnabled(k < inputs);
}

void SimulationWindow::showEvent(QShowEvent* event) {
  refresh();
  timer_.start();
  QWidget::showEvent(event);
}

void SimulationWindow::closeEvent(QCloseEvent* event) {
  controls_.stick->setDeflection({0, 0});
  setLatched(latched());  // lets go of whatever is latched, in either mode
  QWidget::closeEvent(event);
}

void SimulationWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

}  // namespace velomat
