#include "sim/simulation_window.h"

#include <SDL.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

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
const QString kLostText = text("Verbindung unterbrechen");
const QString kRestoreText = text("Verbindung wiederherstellen");

QString directionName(uint8_t direction) {
  return text(direction == 1 ? "links" : "rechts");
}

QString interfaceName(int32_t interfaceType) {
  switch (interfaceType) {
    case kIntIntSerial:
      return text("Intelligent Interface, seriell");
    case kIntIntSerialWithExtension:
      return text("Intelligent Interface, seriell mit Erweiterung");
    case kIntIntParallel:
      return text("Intelligent Interface, Parallelport");
    default:
      return text("Intelligent Interface");
  }
}

QString hatTip(int i, bool latched) {
  if (i == kHatCentre) return text("Hut: Mitte");
  return text(latched ? "Hut: %1, bis zum nächsten Klick" : "Hut: %1, solange die Maustaste gedrückt ist")
      .arg(text(kHatNames[i]));
}

QString buttonTip(int b, bool latched) {
  return text(latched ? "Knopf %1: ein Klick drückt, der nächste lässt los"
                      : "Knopf %1: gedrückt, solange die Maustaste gedrückt ist")
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
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(buildJoystick());
  layout->addWidget(buildInterface());
  layout->addWidget(buildInputs());

  SimulationControls& c = controls_;
  c.extensionModule = new QCheckBox(text("Erweiterungsmodul am Intelligent Interface"), this);
  c.extensionModule->setToolTip(
      text("Steckt am simulierten Intelligent Interface ein Erweiterungsmodul?\n"
           "Motor 5–8 und E9–E16 arbeiten nur mit Modul, und nur wenn Velomat es anspricht\n"
           "(seriell mit Erweiterung) oder das Interface am Parallelport hängt."));
  c.extensionModule->setChecked(intInt_.extensionModule());
  connect(c.extensionModule, &QCheckBox::toggled, this, [this](bool attached) {
    intInt_.setExtensionModule(attached);
    refresh();
  });
  layout->addWidget(c.extensionModule);

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
  layout->addWidget(c.connection, 0, Qt::AlignLeft);

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

QWidget* SimulationWindow::buildJoystick() {
  SimulationControls& c = controls_;
  auto* group = new QGroupBox(text("Joystick"), this);
  auto* grid = new QGridLayout(group);

  c.stick = new StickPad(group);
  c.stick->setToolTip(
      text("Knüppel (X/Y): mit der Maus ziehen; beim Loslassen federt er in die Mitte zurück.\n"
           "Pfeiltasten: je ein Achtel weiter, Leertaste oder Pos1: zurück in die Mitte."));
  c.stick->setMoved([this](int16_t x, int16_t y) {
    joystick_.axis(0, x);
    joystick_.axis(1, y);
  });
  grid->addWidget(c.stick, 0, 0, 2, 1, Qt::AlignCenter);
  auto* hint = new QLabel(text("Ziehen oder Pfeiltasten,\nLeertaste: zur Mitte"), group);
  hint->setAlignment(Qt::AlignCenter);
  hint->setEnabled(false);  // a quiet hint, greyed like a placeholder
  grid->addWidget(hint, 2, 0);

  grid->addWidget(new QLabel(text("Schub"), group), 0, 1, Qt::AlignHCenter | Qt::AlignBottom);
  c.throttle = new QSlider(Qt::Vertical, group);
  c.throttle->setRange(-32768, 32767);
  c.throttle->setSingleStep(655);  // about a percent
  c.throttle->setPageStep(6554);   // about ten
  c.throttle->setValue(-32768);
  c.throttle->setFixedHeight(c.stick->height());
  c.throttle->setToolTip(text("Schubregler (Z): bleibt, wo man ihn loslässt; oben ist Vollgas."));
  grid->addWidget(c.throttle, 1, 1, Qt::AlignHCenter);
  c.throttleText = new QLabel(group);
  c.throttleText->setAlignment(Qt::AlignCenter);
  reserveWidth(c.throttleText, {percent(1)});
  const auto showThrottle = [this](int value) {
    joystick_.axis(2, static_cast<Sint16>(value));
    controls_.throttleText->setText(percent((value + 32768) / 65535.0));
  };
  showThrottle(c.throttle->value());
  connect(c.throttle, &QSlider::valueChanged, this, showThrottle);
  grid->addWidget(c.throttleText, 2, 1, Qt::AlignHCenter | Qt::AlignTop);

  grid->addWidget(new QLabel(text("Hut"), group), 0, 2, Qt::AlignHCenter | Qt::AlignBottom);
  auto* hat = new QGridLayout;
  hat->setSpacing(2);
  for (int i = 0; i < 9; ++i) {
    QToolButton* button = smallButton(text(kHatGlyphs[i]), hatTip(i, false), group);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    c.hat[static_cast<size_t>(i)] = button;
    hat->addWidget(button, i / 3, i % 3);
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
  grid->addLayout(hat, 1, 2, Qt::AlignCenter);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  buttons->addWidget(new QLabel(text("Knöpfe:"), group));
  buttons->addSpacing(4);
  for (int b = 0; b < static_cast<int>(c.buttons.size()); ++b) {
    QToolButton* button = smallButton(QString::number(b + 1), buttonTip(b, false), group);
    c.buttons[static_cast<size_t>(b)] = button;
    buttons->addWidget(button);
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
  grid->addLayout(buttons, 3, 0, 1, 3);

  c.latch = new QCheckBox(text("Knöpfe und Hut rasten ein"), group);
  c.latch->setToolTip(
      text("Aus: gedrückt, solange die Maustaste gedrückt ist, wie am echten Joystick.\n"
           "Ein: ein Klick drückt, der nächste lässt los; so bleibt die Maus frei für den Knüppel."));
  connect(c.latch, &QCheckBox::toggled, this, [this](bool on) { setLatched(on); });
  grid->addWidget(c.latch, 4, 0, 1, 3);
  grid->setColumnStretch(0, 1);
  return group;
}

QWidget* SimulationWindow::buildInterface() {
  SimulationControls& c = controls_;
  auto* group = new QGroupBox(text("Interface"), this);
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(3);

  grid->addWidget(new QLabel(text("Verbindung:"), group), 0, 0);
  c.interfaceText = new QLabel(group);
  QStringList names = {text("Nicht verbunden"), text("ROBO Interface")};
  for (int32_t type : {kIntIntSerial, kIntIntSerialWithExtension, kIntIntParallel})
    names << interfaceName(type);
  reserveWidth(c.interfaceText, names);
  grid->addWidget(c.interfaceText, 0, 1, 1, 2);

  grid->addWidget(new QLabel(text("Austausch:"), group), 1, 0);
  c.rateText = new QLabel(group);
  reserveWidth(c.rateText, {text("9999 pro Sekunde")});
  grid->addWidget(c.rateText, 1, 1, 1, 2);

  const QString gaugeTip = text(
      "Pfeil: Drehrichtung. Balken und Zahl: beim Intelligent Interface der Anteil der letzten\n"
      "Austausche, in denen der Ausgang an war, beim ROBO Interface die Stufe 0 bis 7.");
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
    grid->addWidget(c.motorNames[i], 2 + o, 0);
    grid->addWidget(c.gauges[i], 2 + o, 1);
    grid->addWidget(c.motorTexts[i], 2 + o, 2);
  }
  grid->setColumnStretch(1, 1);
  return group;
}

QWidget* SimulationWindow::buildInputs() {
  SimulationControls& c = controls_;
  auto* group = new QGroupBox(text("Eingänge"), this);
  auto* grid = new QGridLayout(group);
  grid->setSpacing(2);
  const uint32_t closed = intInt_.inputs() | robo_.inputs();
  for (int k = 0; k < kMaxInputs; ++k) {
    QToolButton* button = smallButton(
        text("E%1").arg(k + 1),
        text("Eingang E%1: ein Klick schließt den Taster, der nächste öffnet ihn").arg(k + 1), group);
    button->setCheckable(true);
    button->setChecked(((closed >> k) & 1u) != 0);
    intInt_.setInput(k, button->isChecked());
    robo_.setInput(k, button->isChecked());
    connect(button, &QToolButton::toggled, this, [this, k](bool on) {
      intInt_.setInput(k, on);
      robo_.setInput(k, on);
    });
    c.inputs[static_cast<size_t>(k)] = button;
    grid->addWidget(button, k / 8, k % 8);
  }
  return group;
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
  const bool intInt = intInt_.isOpen();
  const bool robo = !intInt && robo_.isOpen();
  int outputs = 0;
  int inputs = 0;
  const sim::SimWire* wire = nullptr;
  if (intInt) {
    c.interfaceText->setText(interfaceName(intInt_.interfaceType()));
    outputs = intInt_.outputCount();
    inputs = intInt_.inputCount();
    wire = &intInt_.wire();
  } else if (robo) {
    c.interfaceText->setText(text("ROBO Interface"));
    outputs = robo_.outputCount();
    inputs = robo_.inputCount();
    wire = &robo_.wire();
  } else {
    c.interfaceText->setText(text("Nicht verbunden"));
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

void SimulationWindow::showBeside(const QWidget& main) {
  adjustSize();
  const QRect beside = main.frameGeometry();
  const QRect screen = main.screen()->availableGeometry();
  // This window's frame is not known before it shows; the main window's frame is a fair guess.
  const QSize frame = beside.size() - main.size();
  const int width = this->width() + frame.width();
  const int height = this->height() + frame.height();
  int x = beside.right() + 1;
  if (x + width > screen.right() + 1) x = std::max(screen.left(), beside.left() - width);
  const int y = std::clamp(beside.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - height));
  move(x, y);
  show();
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
