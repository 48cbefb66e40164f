#include "app/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "app/about_dialog.h"
#include "app/close_request.h"
#include "app/connection_dialog.h"
#include "app/end_process.h"
#include "app/end_signals.h"
#include "app/live_view.h"
#include "app/wake_up.h"
#include "config/settings_file.h"
#include "config/settings_messages.h"
#include "config/settings_store.h"
#include "panel/credits.h"
#include "ui/classic_style.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_units.h"
#include "ui/window_placement.h"

namespace velomat {

namespace {

// Motor panel 0; the panels of motors 1 to 3 repeat it further down.
constexpr ControlEntry kMotorPanel[] = {
    {id::kMotorGroup, ControlKind::Group, "Motor 1", 5, 0, 235, 69},
    {id::kDirAxisRadio, ControlKind::Radio, "Achse:", 12, 10, 64, 11},
    {id::kDirAxisList, ControlKind::List, "", 78, 9, 28, 94},
    {id::kDirButtonsRadio, ControlKind::Radio, "Buttons (L/R):", 12, 24, 61, 12},
    {id::kButtonLeftList, ControlKind::List, "", 78, 24, 28, 94},
    {id::kButtonRightList, ControlKind::List, "", 109, 24, 28, 94},
    {id::kDirFixedRadio, ControlKind::Radio, "Fest:", 12, 39, 64, 11},
    {id::kFixedDirList, ControlKind::List, "", 78, 38, 28, 94},
    {id::kEndSwitchCheck, ControlKind::Check, "Endtaster (L/R):", 12, 53, 64, 11},
    {id::kEndSwitchLeftList, ControlKind::List, "", 78, 52, 28, 94},
    {id::kEndSwitchRightList, ControlKind::List, "", 109, 52, 28, 94},
    {id::kNone, ControlKind::Text, "Geschwindigkeit:", 149, 6, 58, 9},
    {id::kSpeedAxisRadio, ControlKind::Radio, "Achse:", 149, 17, 58, 9},
    {id::kSpeedAxisList, ControlKind::List, "", 207, 15, 28, 94},
    {id::kThrottleRadio, ControlKind::Radio, "Schubregler:", 149, 31, 58, 8},
    {id::kThrottleList, ControlKind::List, "", 207, 29, 28, 94},
    {id::kSpeedFixedRadio, ControlKind::Radio, "Fest:", 149, 44, 58, 8},
    {id::kSpeedLabel, ControlKind::CentredText, "100%", 207, 46, 19, 10},
    {id::kSpeedSlider, ControlKind::Slider, "", 149, 54, 84, 12},
};
constexpr int kMotorPanelOffset[kMotorsPerModule] = {0, 70, 140, 211};

constexpr ControlEntry kGlobalControls[] = {
    {id::kStartButton, ControlKind::MultiLineButton, "LOS!", 245, 6, 90, 25},
    {id::kApplyButton, ControlKind::Button, "Übernehmen", 259, 34, 62, 14},
    {id::kEmergencyStopButton, ControlKind::DefaultButton, "NOT-AUS", 245, 53, 90, 25},
    {id::kStopInputCheck, ControlKind::Check, "Aus-Taster:", 249, 91, 50, 10},
    {id::kStopInputList, ControlKind::List, "", 307, 89, 28, 94},
    {id::kStopButtonCheck, ControlKind::Check, "Aus-Button:", 249, 108, 50, 10},
    {id::kStopButtonList, ControlKind::List, "", 307, 106, 28, 94},
    {id::kCreditsButton, ControlKind::FlatButton, kCreditsButtonText, 245, 134, 90, 35},
    {id::kNone, ControlKind::Text, "Einstellungen für:", 251, 182, 74, 8},
    {id::kModuleList, ControlKind::List, "", 251, 193, 77, 67},
    {id::kResetButton, ControlKind::MultiLineButton, "Alle Einstellungen zurücksetzen", 245, 214, 90, 24},
    {id::kEndButton, ControlKind::Button, "Ende", 281, 249, 54, 16},
    {id::kStatusText, ControlKind::Text, "Bereit", 245, 269, 90, 10},
};

// Writing the settings file is the user's whole setup: a failure is told, never passed over.
void reportSaveFailure(MessageBoxes& boxes, const WriteResult& result) {
  boxes.show(saveFailedText(result), {}, BoxButtons::Ok);
}

constexpr int kDialogWidth = 340;
constexpr int kDialogHeight = 284;

// The main window whose worker runs, for an end through exit().
std::atomic<MainDialog*> dialogWithWorker{nullptr};

// During a run, Enter and the keypad's Enter are "NOT-AUS" in every window of the program and in every
// box, whatever has the focus: a user who reaches for the emergency key must never click "Übernehmen",
// "Wiederholen" or anything else instead. The key is taken where the application first sees it, before
// any widget or box does, so that one pressed while a box opens is not lost either. Outside a run
// Enter keeps its meaning in each dialog.
class EmergencyKey final : public QObject {
 public:
  EmergencyKey(std::function<bool()> running, std::function<void()> stop, QObject* parent)
      : QObject(parent), running_(std::move(running)), stop_(std::move(stop)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && running_()) {
        if (event->type() == QEvent::KeyPress) stop_();
        event->accept();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<bool()> running_;
  std::function<void()> stop_;
};
}  // namespace

MainDialog::MainDialog(SharedState& state, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), state_(state), boxes_(boxes) {
  buildControls(
      setUpDialog(*this, kMainDialogCaption, kDialogWidth, kDialogHeight, Qt::WindowMinimizeButtonHint));
  applyClassicStyle(this);
  // The run controls: no other window of the program covers them, so that "NOT-AUS" is always in
  // reach and the status line tells whether a run is on.
  for (int run : {id::kStartButton, id::kEmergencyStopButton, id::kEndButton, id::kStatusText})
    keepClear(*dialogItem(this, run));
  // The live view, in the window menu with its shortcut, which is shown there and works anywhere in
  // the window once the worker (and with it the joystick) is there.
  liveAction_ = new QAction(QString::fromUtf8(kLiveViewMenuText), this);
  liveAction_->setShortcut(QKeySequence(QString::fromUtf8(kLiveViewShortcut)));
  liveAction_->setShortcutVisibleInContextMenu(true);
  liveAction_->setEnabled(false);
  connect(liveAction_, &QAction::triggered, this, [this] { showLiveView(); });
  addAction(liveAction_);
  panel_ = std::make_unique<Panel>(controls_, state_, boxes);
}

// The worker is stopped and joined before the panel and the controls it reads go.
MainDialog::~MainDialog() {
  MainDialog* self = this;
  dialogWithWorker.compare_exchange_strong(self, nullptr);
  worker_.reset();
}

void MainDialog::buildControls(const DialogUnits& units) {
  for (int m = 0; m < kMotorsPerModule; ++m) {
    std::vector<AutoRadioButton*> direction, speed;
    for (const ControlEntry& entry : kMotorPanel) {
      const ControlEntry placed{entry.id == id::kNone ? id::kNone : entry.id + m,
                                entry.kind,
                                entry.text,
                                entry.x,
                                entry.y,
                                entry.width,
                                entry.height};
      QWidget* widget = createControl(placed, kMotorPanelOffset[m], this, units);
      if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(QString::asprintf("Motor %d", m + 1));
      if (auto* radio = dynamic_cast<AutoRadioButton*>(widget)) {
        const bool isDirection = entry.id == id::kDirAxisRadio || entry.id == id::kDirButtonsRadio ||
                                 entry.id == id::kDirFixedRadio;
        (isDirection ? direction : speed).push_back(radio);
      }
    }
    for (AutoRadioButton* radio : direction) radio->setGroup(direction);
    for (AutoRadioButton* radio : speed) radio->setGroup(speed);
  }
  for (const ControlEntry& entry : kGlobalControls) createControl(entry, 0, this, units);
}

bool MainDialog::initialisePanel() {
  if (!InitPanelControls(controls_, this, state_.joystickCaps, state_.connection.motorCount,
                         state_.connection.hasExtension != 0)) {
    return false;
  }
  connectHandlers();
  keepStopControlsCurrent();
  panel_->applyDefaults();
  panel_->UpdatePanelEnabling();
  return true;
}

void MainDialog::OnInitDialog(JoystickSource& joystick, InterfaceLink& link) {
  watchEndSignals();
  // The window menu: the toolkit offers no system menu of its own, so the item sits in the window's
  // context menu, after the live view's.
  auto* about = new QAction(QString::fromUtf8(kAboutMenuText), this);
  connect(about, &QAction::triggered, this, [this] { showAbout(); });
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  ConnectionDialog connection(state_, joystick, link, boxes_, this);
  connection.run();
  if (!initialisePanel()) return;
  panel_->loadSettingsTables();
  panel_->UpdatePanelEnabling();
  startWorker(joystick, link);
}

LiveView* MainDialog::showLiveView() {
  if (joystick_ == nullptr) return nullptr;
  if (liveView_ == nullptr) {
    liveView_ = new LiveView(state_, *joystick_, this);
    liveView_->setInputWatch([this](bool on) {
      if (worker_ != nullptr) worker_->watchInputs(on);
    });
    liveView_->adjustSize();
  }
  // Placed anew each time it opens, as the other windows stand then, until the user moves it: from
  // then on it keeps the user's place.
  if (!liveView_->isVisible()) {
    liveViewMoved_ = liveViewMoved_ || (liveViewPlacedAt_ && liveView_->pos() != *liveViewPlacedAt_);
    if (!liveViewMoved_) {
      liveView_->move(placeBeside(*this, *liveView_));
      liveViewPlacedAt_ = liveView_->pos();
    }
  }
  liveView_->show();
  liveView_->raise();
  liveView_->activateWindow();
  return liveView_;
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  about.setWindowModality(Qt::WindowModal);  // it holds this window, not the simulation window beside it
  about.exec();
}

void MainDialog::startWorker(JoystickSource& joystick, InterfaceLink& link) {
  link_ = &link;
  // Reports that pile up before the GUI thread gets to them are one: only the latest run's matters.
  reportWake_ = std::make_unique<WakeUp>(*this, [this] {
    const uint64_t report = latestReport_.load(std::memory_order_acquire);
    OnRunFinished(report >> 2, static_cast<RunEnd>(report & 3));
  });
  joystick_ = &joystick;
  if (liveAction_ != nullptr) liveAction_->setEnabled(true);
  RunReport& report = *this;
  worker_ = std::make_unique<ControlWorker>(state_, joystick, link, boxes_, report);
  worker_->start();
  qApp->installEventFilter(new EmergencyKey([this] { return runShown_; }, [this] { OnNotAus(); }, this));
  // The close box while a box is up ("Verbindung zum Interface verloren", say) ends as "Ende" does.
  watchBlockedCloseRequests(*this, [this] { OnOK(); });
  static const bool atExit = std::atexit(endAtExit) == 0;
  if (atExit) dialogWithWorker.store(this);
}

void MainDialog::endAtExit() {
  // Only what needs no GUI: the display may be gone, and Qt may be half torn down.
  MainDialog* dialog = dialogWithWorker.exchange(nullptr);
  if (dialog == nullptr || dialog->worker_ == nullptr) return;
  if (!dialog->endRuns().switchedOff) std::fprintf(stderr, "velomat: %s\n", kMotorsMayRunText);
  // The settings are in memory and the panel's controls still hold them: kept, as on every other end.
  if (dialog->shutDown_) return;
  dialog->shutDown_ = true;
  const WriteResult written = dialog->panel_->saveSettings();
  if (!written.ok) std::fprintf(stderr, "velomat: %s\n", saveFailedText(written).c_str());
}

void MainDialog::watchEndSignals() {
  watchEndRequests(*this, [this] { endBySignal(); });
}

void MainDialog::endBySignal() {
  // A second signal while the first is handled (its warning box is up, say): the user wants out now.
  if (endStarted_) endProcess(0);
  endStarted_ = true;
  // Still connecting: nothing is driven, nothing to save, as Cancel in the connection dialog.
  if (worker_ == nullptr) endProcess(0);
  shutDown();
  endProcess(0);
}

EndOutcome MainDialog::endRuns() {
  if (worker_ == nullptr) return {true, true};
  worker_->requestEnd();
  boxes_.abandonWaiting();  // after requestEnd: the worker, let go, must find the program ending
  return worker_->waitUntilEnded(kEndBound);
}

void MainDialog::tellMotorsMayRun() {
  std::fprintf(stderr, "velomat: %s\n", kMotorsMayRunText);
  boxes_.show(kMotorsMayRunText, kMotorsMayRunCaption, BoxButtons::Ok);
}

void MainDialog::OnLos() {
  runShown_ = true;
  controls_.startButton->setEnabled(false);
  controls_.applyButton->setEnabled(true);
  controls_.statusText->setText(QStringLiteral("Run"));
  panel_->panelToTable();
  if (worker_ == nullptr) return;
  worker_->requestRun();
}

void MainDialog::OnNotAus() {
  if (worker_ != nullptr) worker_->requestStop();
  runShown_ = false;
  controls_.statusText->setText(QStringLiteral("Bereit"));
  controls_.startButton->setEnabled(true);
  controls_.applyButton->setEnabled(false);
}

void MainDialog::runFinished(uint64_t run, RunEnd end) {
  latestReport_.store(run << 2 | static_cast<uint64_t>(end), std::memory_order_release);
  reportWake_->raise();
}

void MainDialog::OnRunFinished(uint64_t run, RunEnd end) {
  // Once the program is on its way out, that way tells the user and saves: a run that ends meanwhile
  // (its lost-connection box taken away reads as Cancel) must not end the process a second time.
  if (worker_ == nullptr || endStarted_) return;
  // Cancel in the lost-connection box: the run has tried its all-off exchange; the program ends
  // without closing the interface or saving.
  if (end == RunEnd::Cancelled) {
    if (!worker_->switchedOff()) tellMotorsMayRun();
    endProcess(0);
  }
  // The late report of a run that "LOS!" has already followed leaves the newer run alone.
  if (run != worker_->latestRun()) return;
  runShown_ = false;
  controls_.statusText->setText(QStringLiteral("Bereit"));
  controls_.startButton->setEnabled(true);
  if (end == RunEnd::JoystickLost) boxes_.show(kJoystickLostText, {}, BoxButtons::Ok);
  if (end == RunEnd::HeldUp) boxes_.show(kHeldUpText, {}, BoxButtons::Ok);
}

void MainDialog::resetAllSettings() {
  const BoxAnswer answer = boxes_.show(kResetQuestion, "Achtung", BoxButtons::YesNoCancel);
  if (answer == BoxAnswer::Yes) {
    // Keep the interface and the joystick: back to the main module and the defaults, the run stopped.
    controls_.moduleList->setCurrentIndex(0);
    state_.table.moduleIndex.store(0, std::memory_order_relaxed);
    panel_->titleMotorGroups();
    OnNotAus();
    panel_->applyDefaults();
    panel_->UpdatePanelEnabling();
  } else if (answer == BoxAnswer::No) {
    if (boxes_.show(kRestartNotice, "Hinweis", BoxButtons::OkCancel) != BoxAnswer::Ok) return;
    // No motor is left running when the program ends for the restart.
    endStarted_ = true;
    const EndOutcome outcome = endRuns();
    if (!outcome.switchedOff) tellMotorsMayRun();
    if (link_ != nullptr && outcome.stopped) link_->closeInterface();
    const std::string_view marker = kResetMarkerText;
    const WriteResult written = replaceFile(
        kSettingsFileName, std::span(reinterpret_cast<const uint8_t*>(marker.data()), marker.size()),
        panel_->fileSystem());
    if (!written.ok) reportSaveFailure(boxes_, written);
    endProcess(0);
  }
}

void MainDialog::shutDown() {
  if (shutDown_) return;
  shutDown_ = endStarted_ = true;
  const EndOutcome outcome = endRuns();
  if (!outcome.switchedOff) tellMotorsMayRun();
  // A run that hangs in its exchange still uses the driver: the interface is not closed under it.
  if (link_ != nullptr && outcome.stopped) link_->closeInterface();
  link_ = nullptr;  // closed once
  const WriteResult written = panel_->saveSettings();
  if (!written.ok) reportSaveFailure(boxes_, written);
}

void MainDialog::OnOK() {
  shutDown();
  endProcess(0);
}

void MainDialog::reject() {
  shutDown();
  QDialog::reject();
}

void MainDialog::keepStopControlsCurrent() {
  // The worker reads copies of the stop controls that follow every change, the program's own included.
  StopControls& stop = state_.stopControls;
  PanelControls& c = controls_;
  const auto update = [&stop, &c] {
    stop.buttonOn.store(c.stopButtonCheck->isChecked(), std::memory_order_relaxed);
    stop.buttonSel.store(c.stopButtonList->currentIndex(), std::memory_order_relaxed);
    stop.inputOn.store(c.stopInputCheck->isChecked(), std::memory_order_relaxed);
    stop.inputSel.store(c.stopInputList->currentIndex(), std::memory_order_relaxed);
  };
  connect(c.stopButtonCheck, &QAbstractButton::toggled, this, update);
  connect(c.stopInputCheck, &QAbstractButton::toggled, this, update);
  connect(c.stopButtonList, &QComboBox::currentIndexChanged, this, update);
  connect(c.stopInputList, &QComboBox::currentIndexChanged, this, update);
  update();
}

bool MainDialog::focusNextPrevChild(bool next) {
  QWidget* const from = focusWidget();
  if (from == nullptr) return QDialog::focusNextPrevChild(next);
  for (QWidget* w = from;;) {
    w = next ? w->nextInFocusChain() : w->previousInFocusChain();
    if (w == from || w == nullptr) break;
    const bool stop = w->window() == this && w->isVisible() && w->isEnabled() &&
                      (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
    const auto* radio = dynamic_cast<const AutoRadioButton*>(w);
    if (stop && (radio == nullptr || radio->isTabStop())) {
      w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
  }
  return QDialog::focusNextPrevChild(next);
}

void MainDialog::connectHandlers() {
  Panel* panel = panel_.get();
  PanelControls& c = controls_;
  for (int m = 0; m < kMotorsPerModule; ++m) {
    for (QRadioButton* radio : {c.dirAxisRadio[m], c.dirButtonsRadio[m], c.dirFixedRadio[m]}) {
      const int controlId = dialogIdOf(radio);
      connect(radio, &QAbstractButton::clicked, this, [panel, controlId] { panel->OnJoyAxisCh(controlId); });
    }
    for (QRadioButton* radio : {c.speedAxisRadio[m], c.throttleRadio[m], c.speedFixedRadio[m]}) {
      const int controlId = dialogIdOf(radio);
      connect(radio, &QAbstractButton::clicked, this, [panel, controlId] { panel->OnAxisRadio(controlId); });
    }
    const int checkId = dialogIdOf(c.endSwitchCheck[m]);
    connect(c.endSwitchCheck[m], &QAbstractButton::clicked, this,
            [panel, checkId] { panel->OnEndSwitchCheck(checkId); });
    connect(c.dirAxisList[m], &QComboBox::activated, this, [panel, m] { panel->OnSelchangeJoyAxisCo(m); });
    connect(c.speedAxisList[m], &QComboBox::activated, this,
            [panel, m] { panel->OnSelchangeSpeedAxisCombo(m); });
    connect(c.throttleList[m], &QComboBox::activated, this,
            [panel, m] { panel->OnSelchangeThrottleCombo(m); });
    const int sliderId = dialogIdOf(c.speedSlider[m]);
    connect(c.speedSlider[m], &QSlider::valueChanged, this,
            [panel, sliderId] { panel->OnCustomdrawSpeedSlider(sliderId); });
  }
  connect(c.stopInputCheck, &QAbstractButton::clicked, this, [panel] { panel->OnStopInputCheck(); });
  connect(c.stopButtonCheck, &QAbstractButton::clicked, this, [panel] { panel->OnStopButtonCheck(); });
  connect(c.applyButton, &QAbstractButton::clicked, this, [panel] { panel->OnApply(); });
  connect(c.moduleList, &QComboBox::activated, this, [panel] { panel->OnSelchangeModuleCombo(); });
  connect(c.startButton, &QAbstractButton::clicked, this, [this] { OnLos(); });
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kEmergencyStopButton)), &QAbstractButton::clicked,
          this, [this] { OnNotAus(); });
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kResetButton)), &QAbstractButton::clicked, this,
          [this] { resetAllSettings(); });
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kEndButton)), &QAbstractButton::clicked, this,
          [this] { OnOK(); });
  connect(qobject_cast<QPushButton*>(dialogItem(this, id::kCreditsButton)), &QAbstractButton::clicked, this,
          [this] { showAbout(); });
}

}  // namespace velomat
