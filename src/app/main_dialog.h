// The main window: the four motor panels, the run and stop controls, the module selector, and the
// handlers that start and stop runs, reset the settings and end the program.
#pragma once

#include <QDialog>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

#include "control/shared_state.h"
#include "control/control_worker.h"
#include "link/interface_link.h"
#include "link/message_box.h"
#include "panel/panel.h"
#include "panel/panel_controls.h"
#include "ui/dialog_units.h"

class QAction;

namespace velomat {

class LiveView;
class WakeUp;

inline constexpr const char* kMainDialogCaption =
    "Velomat - Die Echtzeit-Joystickgesteuerte Version von Velobase";
inline constexpr const char* kResetQuestion =
    "Alle Einstellungen gehen verloren!\n\nWollen Sie die aktuellen Interface- und Joystickeinstellungen "
    "beibehalten?";
inline constexpr const char* kRestartNotice =
    "Das Programm muss zum Ändern der Interfaceeinstellungen neu gestartet werden und wird beendet. Starten "
    "Sie es daraufhin erneut.";

// How long every end of the program waits for a run to send its all-off exchange: the exchange under
// way (at most the drivers' 100 ms reply bound), then the all-off exchange and its tries again for
// kSwitchOffWindow, with room to spare.
inline constexpr std::chrono::milliseconds kEndBound = kSwitchOffWindow + std::chrono::milliseconds(1000);

class MainDialog final : public QDialog, private RunReport {
 public:
  // Builds the window and every control at its place; the lists stay empty until initialisePanel.
  MainDialog(SharedState& state, MessageBoxes& boxes, QWidget* parent = nullptr);
  ~MainDialog() override;

  // The main window's start, in this order: the window menu's About item and the icon, the connection
  // dialog (which returns only after connecting; every other way ends the process), the panel filled
  // from the joystick and the connection, the defaults, the stored settings, the enabling rules, and
  // the control worker waiting for "LOS!".
  void OnInitDialog(JoystickSource& joystick, InterfaceLink& link);

  // Fills the lists from the joystick and the connection, puts the defaults into table and panel and
  // applies the enabling rules. False when the window lacks a control.
  bool initialisePanel();

  // Starts the control worker, which waits for "LOS!", on `joystick` and the connected `link`.
  void startWorker(JoystickSource& joystick, InterfaceLink& link);

  // Handlers.
  void OnLos();                                  // "LOS!"
  void OnNotAus();                               // "NOT-AUS"
  void OnRunFinished(uint64_t run, RunEnd end);  // a run has sent its all-off exchange
  void resetAllSettings();                       // "Alle Einstellungen zurücksetzen"
  [[noreturn]] void OnOK();                      // "Ende": stop, close the interface, save, exit 0
  void showAbout();                              // the credits button and the window menu
  // "Joystick und Interface" from the window menu or its shortcut: the live view, made the first time,
  // shown and brought to the front. It opens clear of the run controls and of the simulation window's
  // stick, covering as little of the other windows as the screen allows, until the user moves it;
  // from then on it opens where the user left it. Nothing before the worker runs.
  LiveView* showLiveView();
  LiveView* liveView() const { return liveView_; }  // nullptr until first shown
  // SIGTERM, SIGINT or SIGHUP: while connecting as Cancel there, afterwards as the close box, then
  // exit code 0. A second signal while the first is still being handled ends the program at once.
  void endBySignal();

  PanelControls& controls() { return controls_; }
  Panel& panel() { return *panel_; }
  ControlWorker* worker() { return worker_.get(); }

 protected:
  // The close box and Escape: the run stops with its all-off exchange, the interface is closed and the
  // settings are saved, then the window closes.
  void reject() override;
  // Tab and Shift+Tab stop at one radio button of each group, as in any dialog.
  bool focusNextPrevChild(bool next) override;

 private:
  void buildControls(const DialogUnits& units);
  void connectHandlers();
  void keepStopControlsCurrent();
  void watchEndSignals();
  // Ends the runs: the current one stops and its all-off exchange is tried without asking the user;
  // a box the worker waits for is taken away. Waits up to kEndBound. Never needs the GUI thread.
  EndOutcome endRuns();
  // Tells the user, on stderr and in a box, that the motors may still be driven.
  void tellMotorsMayRun();
  // Ends the runs, tells the user when the all-off exchange did not go through, closes the interface
  // (never while a run still uses it) and saves the settings. Once.
  void shutDown();
  // An end of the process through exit() (a lost display, for one): the run's all-off exchange still
  // goes out, bounded in time.
  static void endAtExit();
  void runFinished(uint64_t run, RunEnd end) override;  // on the worker's thread

  SharedState& state_;
  MessageBoxes& boxes_;
  PanelControls controls_;
  std::unique_ptr<Panel> panel_;
  InterfaceLink* link_ = nullptr;
  JoystickSource* joystick_ = nullptr;
  QAction* liveAction_ = nullptr;
  LiveView* liveView_ = nullptr;            // a window of this one's; made when first asked for
  std::optional<QPoint> liveViewPlacedAt_;  // where the program last placed it
  bool liveViewMoved_ = false;              // by the user, since: it keeps that place
  std::unique_ptr<ControlWorker> worker_;
  // The worker's end-of-run report reaches the GUI thread as the latest report in an atomic (run << 2,
  // how it ended in the low two bits) and a wake-up that the GUI thread's event loop watches.
  std::atomic<uint64_t> latestReport_{0};
  std::unique_ptr<WakeUp> reportWake_;
  bool endStarted_ = false;  // the program is on its way out (shutDown or a signal)
  bool runShown_ = false;    // from "LOS!" until the run's end is shown: Enter is "NOT-AUS" meanwhile
  bool shutDown_ = false;
};

}  // namespace velomat
