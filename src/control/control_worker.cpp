#include "control/control_worker.h"

#include <algorithm>

#include "control/output_stage.h"
#include "control/thread_priority.h"

namespace velomat {

ControlWorker::ControlWorker(SharedState& state, JoystickSource& joystick, InterfaceLink& link,
                             MessageBoxes& boxes, RunReport& report)
    : state_(state),
      joystick_(joystick),
      link_(link, state.stopRequested, boxes),
      boxes_(boxes),
      report_(report) {}

ControlWorker::~ControlWorker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    signalled_ = false;
    stop();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ControlWorker::start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
}

uint64_t ControlWorker::requestRun() {
  {
    std::lock_guard lock(mutex_);
    if (running_ && !stopRequested()) return 0;
    // A run that is still ending keeps its stop request; the worker clears it for the new run once the
    // old one has sent its all-off exchange, unless a stop comes in between.
    if (!running_) state_.stopRequested.store(0, std::memory_order_relaxed);
    stopSinceRequest_ = false;
    // A run asked for and not yet begun is the one this "LOS!" starts.
    if (!signalled_) {
      signalled_ = true;
      ++requested_;
    }
  }
  wake_.notify_one();
  return latestRun();
}

void ControlWorker::watchInputs(bool on) {
  {
    std::lock_guard lock(mutex_);
    watch_ = on;
  }
  wake_.notify_one();
}

void ControlWorker::requestStop() {
  // Under the lock, so the worker's hand-over from an ending run to the next sees the stop.
  std::lock_guard lock(mutex_);
  stopWithLock();
}

void ControlWorker::stopWithLock() {
  stop();
  stopSinceRequest_ = true;
}

void ControlWorker::requestEnd() {
  std::lock_guard lock(mutex_);
  link_.beginEnding();
  stopWithLock();
  signalled_ = false;  // a run not yet begun never begins
}

EndOutcome ControlWorker::waitUntilEnded(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  const bool stopped = idle_.wait_for(lock, bound, [&] { return !running_ && !signalled_ && !reading_; });
  return {stopped, stopped && switchedOff()};
}

EndOutcome ControlWorker::end(std::chrono::milliseconds bound) {
  requestEnd();
  return waitUntilEnded(bound);
}

uint64_t ControlWorker::latestRun() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

void ControlWorker::raisePriorityForRun() {
  runNice_.store(raiseThreadLevel(baseNice_, kRunNiceBoost), std::memory_order_relaxed);
}

void ControlWorker::restorePriority() {
  restoreThreadLevel(baseNice_);
}

void ControlWorker::loop() {
  baseNice_ = currentThreadLevel();
  runNice_.store(baseNice_, std::memory_order_relaxed);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!watch_) {
      wake_.wait(lock, [&] { return signalled_ || quit_ || watch_; });
    } else if (!wake_.wait_for(lock, kInputsInterval, [&] { return signalled_ || quit_ || !watch_; })) {
      // Time to read the inputs. Not once the program is ending: the interface may be closing.
      if (link_.ending()) continue;
      reading_ = true;
      lock.unlock();
      const Inputs inputs = link_.readInputsSwitchedOff();
      state_.monitor.publishInputs(inputs.has_value(), inputs.value_or(0));
      lock.lock();
      reading_ = false;
      idle_.notify_all();
      continue;
    }
    if (quit_) return;
    if (!signalled_) continue;  // the watch was switched
    signalled_ = false;
    running_ = true;
    const uint64_t run = requested_;
    lock.unlock();

    raisePriorityForRun();
    const RunEnd end = runControl();
    restorePriority();

    lock.lock();
    running_ = false;
    // "LOS!" came while this run was ending and no stop since: the stop request was this run's only.
    if (signalled_ && !stopSinceRequest_) state_.stopRequested.store(0, std::memory_order_relaxed);
    idle_.notify_all();
    lock.unlock();
    report_.runFinished(run, end);
    finished_.fetch_add(1, std::memory_order_release);
    lock.lock();
  }
}

RunEnd ControlWorker::runControl() {
  // The joystick must answer before anything is driven. A run stopped before it began asks nothing.
  JoySample& sample = state_.joySample;
  while (!stopRequested()) {
    if (joystick_.joyGetPosEx(state_.joystickId, sample) == kJoyNoError) break;
    if (boxes_.show(kJoystickLostText, {}, BoxButtons::RetryCancel) == BoxAnswer::Cancel) stop();
  }

  run_ = RunState{};

  RunEnd end = RunEnd::Stopped;
  state_.monitor.setRunning(true);
  std::chrono::steady_clock::time_point lastCommand{};
  unsigned askedBefore = link_.asked();
  while (!stopRequested()) {
    if (!controlCycle(run_, state_, joystick_)) {
      // A stick that no longer answers must not leave the motors driven from its last sample.
      end = RunEnd::JoystickLost;
      stop();
      break;
    }
    shapeSpeeds(run_, state_);
    checkStopControls();
    if (stopRequested()) break;
    // A run held longer than the interface waits (the process stopped with Ctrl+Z, or starved) finds
    // its motors switched off by the interface, and the user may have walked up to the model since:
    // the run ends instead of starting them again by itself. The time a lost-connection box was up
    // does not count: "Wiederholen" there is the user's own choice to go on.
    const auto now = std::chrono::steady_clock::now();
    if (lastCommand != std::chrono::steady_clock::time_point{} && now - lastCommand > kInterfaceTimeOut &&
        link_.asked() == askedBefore) {
      end = RunEnd::HeldUp;
      stop();
      break;
    }
    lastCommand = now;
    askedBefore = link_.asked();
    run_.lastInputWord = driveOutputs(run_, state_, link_);
    state_.monitor.publish(sample, run_.outputWord, run_.speedWord, run_.lastInputWord);
  }

  // Every output off, however the run ended.
  switchedOff_.store(link_.switchOff(), std::memory_order_release);
  state_.monitor.setRunning(false);
  return link_.cancelled() ? RunEnd::Cancelled : end;
}

void ControlWorker::checkStopControls() {
  const StopControls& controls = state_.stopControls;
  if (state_.joySample.dwButtons != 0 && controls.buttonOn.load(std::memory_order_relaxed) != 0 &&
      buttonDown(run_, state_, controls.buttonSel.load(std::memory_order_relaxed))) {
    stop();
  }
  // The input word is 0 before the first exchange, so "Aus-Taster:" cannot act before it.
  if (run_.lastInputWord != 0 && controls.inputOn.load(std::memory_order_relaxed) != 0 &&
      inputOn(run_, state_, controls.inputSel.load(std::memory_order_relaxed))) {
    stop();
  }
}

}  // namespace velomat
