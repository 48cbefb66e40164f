#include "app/live_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "config/list_texts.h"
#include "ui/classic_style.h"
#include "ui/dialog_builder.h"

namespace velomat {

namespace {

constexpr int kRefreshMs = 33;  // about 30 refreshes a second
constexpr int kLampsPerRow = 8;

QString text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QString directionLetter(uint8_t direction) {
  return direction == kDirLeft    ? QStringLiteral("L")
         : direction == kDirRight ? QStringLiteral("R")
                                  : QString();
}

// The axes whose dead band stops a motor now: the direction axes of the run's outputs, also as their
// speed axes, as the configuration table has them.
std::array<bool, kMaxJoystickAxes> directionAxes(const SharedState& state) {
  std::array<bool, kMaxJoystickAxes> used{};
  for (int output = 0; output < outputCount(state.connection.motorCount); ++output) {
    const int slot = slotOfOutput(output);
    const ConfigTable& t = state.table;
    if ((get(t.dirFromAxis, slot) == 0 && get(t.speedFromAxis, slot) == 0) ||
        get(t.povMode, slot) != kPovNone)
      continue;
    const auto field = static_cast<size_t>(get(t.dirAxisRef, slot));
    if (field < used.size()) used[field] = true;
  }
  return used;
}

}  // namespace

QString interfaceDescription(const ConnectionSettings& connection) {
  const int32_t port = connection.portNumber;
  if (connection.isIntelligentInterface()) {
    QString where = connection.parallelPort
                        ? (port < 4 ? QStringLiteral("LPT%1").arg(port) : QStringLiteral("LPT"))
                        : QStringLiteral("COM%1").arg(port);
    return text("Intelligent Interface an ") + where +
           (connection.hasExtension ? text(" mit Extensionmodul") : QString());
  }
  if (connection.interfaceKind == kRoboUsb) return text("ROBO Interface über USB");
  if (connection.interfaceKind == kRoboSerial) return text("ROBO Interface an COM%1").arg(port);
  return text("ROBO Interface über Funk (RF Data Link)");
}

LiveView::LiveView(SharedState& state, JoystickSource& joystick, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), joystick_(joystick) {
  setWindowTitle(text(kLiveViewCaption));
  setWindowIcon(programIcon());
  auto* columns = new QHBoxLayout(this);
  columns->setSizeConstraint(QLayout::SetFixedSize);
  columns->addWidget(buildJoystick(), 0, Qt::AlignTop);
  auto* right = new QVBoxLayout;
  right->addWidget(buildInterface());
  right->addWidget(buildInputs());
  right->addStretch(1);
  columns->addLayout(right);
  applyClassicStyle(this);

  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
  refresh();
}

QWidget* LiveView::buildJoystick() {
  LiveViewControls& c = controls_;
  auto* group = new QGroupBox(text("Joystick"), this);
  auto* layout = new QGridLayout(group);
  JoyCapsRecord caps;
  const bool answers = joystick_.joyGetDevCaps(state_.joystickId, caps) == kJoyNoError;
  c.joystickName = new QLabel(answers ? QString::fromUtf8(caps.szPname) : text("–"), group);
  c.joystickName->setToolTip(text("Der Joystick, den Velomat liest (Nummer %1)").arg(state_.joystickId));
  layout->addWidget(c.joystickName, 0, 0, 1, 3);

  // Every axis the lists offer, by the lists' names; the hat as "POV1" and "POV2" make it.
  const ListTexts axes = axisListTexts(state_.joystickCaps.caps);
  int row = 1;
  for (const std::string& name : axes) {
    const auto binding = axisBindingForText(name);
    if (!binding || binding->povMode != kPovNone) continue;
    auto* bar = new AxisBar(QString::fromStdString(name), group);
    bar->setToolTip(text("Achse %1: 0 bis 65535, Mitte 32768. Grau: der Totbereich 26000–39000, in dem "
                         "eine Richtungsachse keine Richtung gibt.")
                        .arg(QString::fromStdString(name)));
    c.axes[static_cast<size_t>(binding->field)] = bar;
    layout->addWidget(bar, row++, 0, 1, 3);
  }
  if ((state_.joystickCaps.caps & kJoyCapsHasPov) != 0) {
    c.hat = new HatView(group);
    c.hat->setToolTip(text("Der Hut: wohin er zeigt; „POV1“ nimmt ihn links/rechts, „POV2“ vor/zurück"));
    c.pov1 = new QLabel(group);
    c.pov2 = new QLabel(group);
    layout->addWidget(c.hat, row, 0, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("POV1:"), group), row, 1);
    layout->addWidget(c.pov1, row, 2);
    layout->addWidget(new QLabel(QStringLiteral("POV2:"), group), row + 1, 1);
    layout->addWidget(c.pov2, row + 1, 2);
    // Room for the widest result, so the window keeps its size.
    for (QLabel* result : {c.pov1, c.pov2})
      result->setMinimumWidth(result->fontMetrics().horizontalAdvance("RR"));
    row += 2;
  }
  if (state_.joystickCaps.buttonCount > 0) {
    layout->addWidget(new QLabel(text("Buttons:"), group), row++, 0, 1, 3);
    auto* lamps = new QGridLayout;
    lamps->setSpacing(2);
    for (int b = 0; b < std::min<int>(state_.joystickCaps.buttonCount, kMaxJoystickButtons); ++b) {
      auto* lamp = new Lamp(QString::number(b + 1), group);
      lamp->setToolTip(text("Button %1 leuchtet, solange er gedrückt ist").arg(b + 1));
      lamps->addWidget(lamp, b / kLampsPerRow, b % kLampsPerRow);
      c.buttons.push_back(lamp);
    }
    layout->addLayout(lamps, row++, 0, 1, 3);
  }
  layout->setColumnStretch(2, 1);
  return group;
}

QWidget* LiveView::buildInterface() {
  LiveViewControls& c = controls_;
  auto* group = new QGroupBox(text("Interface"), this);
  auto* layout = new QGridLayout(group);
  layout->setVerticalSpacing(3);
  c.connection = new QLabel(interfaceDescription(state_.connection), group);
  c.rate = new QLabel(group);
  c.rate->setMinimumWidth(c.rate->fontMetrics().horizontalAdvance(text("99999 pro Sekunde")));
  layout->addWidget(new QLabel(text("Verbindung:"), group), 0, 0);
  layout->addWidget(c.connection, 0, 1, 1, 2);
  layout->addWidget(new QLabel(text("Austausch:"), group), 1, 0);
  layout->addWidget(c.rate, 1, 1, 1, 2);
  const QString widest = state_.connection.isIntelligentInterface() ? text("L 100 %") : text("L Stufe 7");
  for (int o = 0; o < outputCount(state_.connection.motorCount); ++o) {
    const auto i = static_cast<size_t>(o);
    c.motorNames[i] = new QLabel(text("Motor %1").arg(o + 1), group);
    c.gauges[i] = new OutputGauge(group);
    c.motorTexts[i] = new QLabel(group);
    c.motorTexts[i]->setMinimumWidth(c.motorTexts[i]->fontMetrics().horizontalAdvance(widest));
    c.motorTexts[i]->setToolTip(state_.connection.isIntelligentInterface()
                                    ? text("Richtung und Anteil der Austausche der letzten 0,15 s, in denen "
                                           "der Ausgang eingeschaltet war")
                                    : text("Richtung und die Geschwindigkeitsstufe 0–7, wie gesendet"));
    layout->addWidget(c.motorNames[i], 2 + o, 0);
    layout->addWidget(c.gauges[i], 2 + o, 1);
    layout->addWidget(c.motorTexts[i], 2 + o, 2);
  }
  layout->setColumnStretch(1, 1);
  return group;
}

QWidget* LiveView::buildInputs() {
  LiveViewControls& c = controls_;
  auto* group = new QGroupBox(text("Eingänge"), this);
  auto* layout = new QGridLayout(group);
  layout->setHorizontalSpacing(4);
  layout->setVerticalSpacing(0);
  const int used = inputCount(state_.connection.motorCount);
  for (int k = 0; k < kMaxInputs; ++k) {
    const auto i = static_cast<size_t>(k);
    c.inputs[i] = new Lamp(text("E%1").arg(k + 1), group);
    c.inputs[i]->setToolTip(
        text("Eingang E%1 leuchtet, wenn er beim letzten Austausch geschlossen war").arg(k + 1));
    c.inputs[i]->setEnabled(k < used);
    c.owners[i] = new QLabel(group);
    c.owners[i]->setToolTip(text("Die Motoren, deren Endtaster E%1 ist").arg(k + 1));
    const int row = 2 * (k / kLampsPerRow), column = k % kLampsPerRow;
    layout->addWidget(c.inputs[i], row, column);
    layout->addWidget(c.owners[i], row + 1, column, Qt::AlignTop);
  }
  inputColumns_ = layout;
  evenInputColumns();
  return group;
}

void LiveView::evenInputColumns() {
  // Every column as wide as the widest lamp or motor list under one, and the room to spare shared
  // alike: the lamps stand evenly apart however long the list under E1 is, and "E9" no narrower than
  // "E10".
  int widest = 0;
  for (size_t k = 0; k < controls_.inputs.size(); ++k) {
    widest =
        std::max({widest, controls_.inputs[k]->sizeHint().width(), controls_.owners[k]->sizeHint().width()});
  }
  for (int column = 0; column < kLampsPerRow; ++column) {
    inputColumns_->setColumnMinimumWidth(column, widest);
    inputColumns_->setColumnStretch(column, 1);
  }
}

void LiveView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (watch_) watch_(true);
  refresh();
  timer_.start();
}

void LiveView::hideEvent(QHideEvent* event) {
  timer_.stop();
  if (watch_) watch_(false);
  QWidget::hideEvent(event);
}

void LiveView::refresh(LiveReadings::Clock::time_point now) {
  LiveViewControls& c = controls_;
  const RunSnapshot run = state_.monitor.read();
  // Between runs the window reads the joystick itself, so the stick can be tried before "LOS!";
  // during a run it shows the sample the run steered by.
  StickReading stick = stickReadingOf(run);
  if (!run.running) {
    if (joystick_.joyGetPosEx(state_.joystickId, ownSample_) == kJoyNoError) {
      stick = stickReadingOf(ownSample_);
    } else {
      stick = readings_.stick();  // a joystick that does not answer keeps what it showed
    }
  }
  readings_.update(run, stick, now);

  const std::array<bool, kMaxJoystickAxes> band = directionAxes(state_);
  for (size_t a = 0; a < c.axes.size(); ++a) {
    if (c.axes[a] == nullptr) continue;
    c.axes[a]->setValue(stick.axes[a]);
    if (band[a]) {
      c.axes[a]->setBand(kDeadBandLow, kDeadBandHigh);
    } else {
      c.axes[a]->setBand(1, 0);
    }
    c.axes[a]->setMarked(readings_.axisMoved(static_cast<int>(a)));
  }
  if (c.hat != nullptr) {
    c.hat->setPov(stick.pov);
    c.hat->setMarked(readings_.hatMoved());
    c.pov1->setText(directionLetter(hatDirection(kPov1, stick.pov)));
    c.pov2->setText(directionLetter(hatDirection(kPov2, stick.pov)));
  }
  for (size_t b = 0; b < c.buttons.size(); ++b) {
    c.buttons[b]->setLit(((stick.buttons >> b) & 1u) != 0);
    c.buttons[b]->setMarked(readings_.buttonMoved(static_cast<int>(b)));
  }

  // Between runs the inputs are read a few times a second; a line that fails then is shown, not asked.
  c.rate->setText(!run.running && run.lineDown
                      ? text("Verbindung unterbrochen")
                      : text("%1 pro Sekunde").arg(std::lround(readings_.exchangeRate())));
  const bool intelligentInterface = state_.connection.isIntelligentInterface();
  for (size_t o = 0; o < c.gauges.size(); ++o) {
    if (c.gauges[o] == nullptr) continue;
    const int output = static_cast<int>(o);
    const uint8_t direction = readings_.direction(output);
    if (intelligentInterface) {
      // The software PWM drives an output in a share of the exchanges; shown as that share.
      const double share = readings_.share(output);
      c.gauges[o]->setState(direction, share);
      c.motorTexts[o]->setText(direction == kDirOff ? text("aus")
                                                    : directionLetter(direction) +
                                                          text(" %1 %").arg(std::lround(share * 100)));
    } else {
      const int level = readings_.level(output);
      c.gauges[o]->setState(direction, level / 7.0);
      c.motorTexts[o]->setText(
          direction == kDirOff ? text("aus") : directionLetter(direction) + text(" Stufe %1").arg(level));
    }
  }
  const std::array<std::string, kMaxInputs> owners =
      endSwitchOwners(state_.table, state_.connection.motorCount);
  bool ownersChanged = false;
  for (size_t k = 0; k < c.inputs.size(); ++k) {
    c.inputs[k]->setLit(readings_.inputClosed(static_cast<int>(k)));
    const QString owner = QString::fromStdString(owners[k]);
    if (owner == c.owners[k]->text()) continue;
    c.owners[k]->setText(owner);
    ownersChanged = true;
  }
  if (ownersChanged) evenInputColumns();
}

void LiveView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velomat
