// The control worker: the one thread besides the GUI thread. It sleeps until "LOS!", then makes one run:
// it checks that the joystick answers, repeats control cycle, speed shaping, stop-control check and
// exchange with no pause until a stop is requested, switches every output off and reports the end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "control/control_cycle.h"
#include "control/run_link.h"
#include "link/interface_link.h"
#include "link/joystick.h"
#include "link/message_box.h"

namespace velomat {

inline constexpr const char* kJoystickLostText = "Verbindung zum Joystick verloren";
inline constexpr const char* kHeldUpText =
    "Velomat wurde während der Fahrt länger als 0,3 Sekunden angehalten. Das Interface hat die Motoren "
    "in dieser Zeit selbst abgeschaltet, und Velomat schaltet sie nicht von allein wieder ein.\n\n"
    "Die Fahrt ist beendet. Mit \"LOS!\" geht es weiter.";

// The interfaces switch their motors off by themselves when no command has come for this long.
inline constexpr std::chrono::milliseconds kInterfaceTimeOut{300};

// How a run ended.
enum class RunEnd : uint8_t {
  Stopped,       // "NOT-AUS", "Ende", a stop control, or Cancel in the joystick box
  JoystickLost,  // the joystick stopped answering during the run
  Cancelled,     // Cancel in the lost-connection box: the program ends
  HeldUp,        // the loop was held longer than kInterfaceTimeOut (the process stopped or starved)
};

// What became of the runs when the program ended them.
struct EndOutcome {
  bool stopped = false;      // no run is active any more (it did not hang in its exchange)
  bool switchedOff = false;  // and the last run's all-off exchange reached the interface
};

// How the worker tells the GUI that a run is over. Called on the worker's thread after the run's all-off
// exchange; hands the report over to the GUI thread and returns at once.
class RunReport {
 public:
  RunReport() = default;
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;
  virtual ~RunReport() = default;

  // `run` is the number requestRun gave the run.
  virtual void runFinished(uint64_t run, RunEnd end) = 0;
};

// How much higher than its starting priority the worker runs during a run, in nice steps, where the
// system grants it; an ordinary user is usually not granted any, and the run keeps the normal priority.
inline constexpr int kRunNiceBoost = 5;

// How often the inputs are read between runs while a window shows them.
inline constexpr std::chrono::milliseconds kInputsInterval{200};

class ControlWorker {
 public:
  ControlWorker(SharedState& state, JoystickSource& joystick, InterfaceLink& link, MessageBoxes& boxes,
                RunReport& report);
  ControlWorker(const ControlWorker&) = delete;
  ControlWorker& operator=(const ControlWorker&) = delete;
  // Stops a run and ends the thread. The program itself ends without it (endProcess); tests use it.
  ~ControlWorker();

  // Starts the thread, which waits for the first run.
  void start();

  // "LOS!", on the GUI thread. Clears the stop request before it wakes the worker, so a stop asked for
  // right after is never lost. While an earlier run is still ending, the new run starts as soon as that
  // one has sent its all-off exchange. Returns the run's number (1, 2, ...; a run asked for and not yet
  // begun keeps its number), or 0 when a run is active and not stopping (nothing is started then).
  uint64_t requestRun();

  // "NOT-AUS": ends the current run at its next test, and a run asked for but not yet begun at once
  // (it sends only its all-off exchange). Does not wait.
  void requestStop();

  // The program is ending: the current run stops (its all-off exchange is tried for a while without
  // asking the user, see RunLink::switchOff), and a run asked for but not yet begun never begins.
  // Does not wait. Any thread.
  void requestEnd();

  // Waits, up to `bound`, until no run is active and none is waiting to begin, and tells whether the
  // last all-off exchange reached the interface. Never asks the GUI thread for anything, so it may run
  // on it, and in an exit handler.
  EndOutcome waitUntilEnded(std::chrono::milliseconds bound);

  // requestEnd, then waitUntilEnded.
  EndOutcome end(std::chrono::milliseconds bound);

  // While `on`, the worker reads the interface's inputs between runs with an all-off exchange every
  // kInputsInterval, for a window that shows them before "LOS!"; a line that fails asks nobody then.
  // Nothing but all-off words goes out between runs. GUI thread.
  void watchInputs(bool on);

  // The number of the latest run asked for: a report of any other run is late.
  uint64_t latestRun() const;

  // How many runs have ended and been reported.
  uint64_t finishedRuns() const { return finished_.load(std::memory_order_acquire); }

  // The worker's thread, for measuring it (its processor time, say).
  std::thread::native_handle_type nativeHandle() { return thread_.native_handle(); }

  // Whether the last run's all-off exchange reached the interface (true before the first run).
  bool switchedOff() const { return switchedOff_.load(std::memory_order_acquire); }

  // The nice value of the worker's thread during the latest run: kRunNiceBoost below the one it
  // started with where that was granted, else as much as RLIMIT_NICE allows, else unchanged.
  int runNice() const { return runNice_.load(std::memory_order_relaxed); }

 private:
  void loop();
  RunEnd runControl();
  void checkStopControls();
  bool stopRequested() const { return state_.stopRequested.load(std::memory_order_relaxed) != 0; }
  void stop() { state_.stopRequested.store(1, std::memory_order_relaxed); }
  void stopWithLock();  // a stop from the GUI thread, mutex_ held
  // The worker's own nice value during a run and between runs. Between runs it waits and costs
  // nothing, so it goes back to where it started, which a thread may always do: it never takes a level
  // it cannot leave again.
  void raisePriorityForRun();
  void restorePriority();

  SharedState& state_;
  JoystickSource& joystick_;
  RunLink link_;  // the link, with a lost connection put to the user through boxes_
  MessageBoxes& boxes_;
  RunReport& report_;
  RunState run_;  // the run's working record, made before any run

  // The wake event and the hand-overs between the threads. Never held during a run's loop.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  bool signalled_ = false;         // the wake event (manual reset: the worker resets it after waking)
  bool running_ = false;           // a run is between its wake-up and its all-off exchange
  bool stopSinceRequest_ = false;  // a stop came after the latest requestRun
  bool quit_ = false;
  bool watch_ = false;      // read the inputs between runs
  bool reading_ = false;    // an all-off exchange for the inputs is under way
  uint64_t requested_ = 0;  // number of the latest run asked for
  std::atomic<uint64_t> finished_{0};
  std::atomic<bool> switchedOff_{true};
  std::atomic<int> runNice_{0};
  int baseNice_ = 0;  // the worker thread's nice value when it started

  std::thread thread_;
};

}  // namespace velomat
