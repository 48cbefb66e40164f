#include "control/run_monitor.h"

namespace velomat {

// The sequence lock without fences: every field is stored with release and loaded with acquire, so a
// reader that sees a new field also sees the odd count before it, and reads the count again only
// after every field. On x86 these are the plain moves a relaxed access is.
namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kStore = std::memory_order_release;
constexpr auto kLoad = std::memory_order_acquire;

// Only the worker writes a counter, so it needs no atomic read-modify-write (a locked instruction)
// in the control loop: a plain load and store of its own value.
void bump(std::atomic<uint64_t>& counter) {
  counter.store(counter.load(kRelaxed) + 1, kStore);
}
}  // namespace

void RunMonitor::beginWrite() {
  sequence_.store(++written_, kRelaxed);
}

void RunMonitor::endWrite() {
  sequence_.store(++written_, kStore);
}

void RunMonitor::publish(const JoySample& sample, uint32_t outputWord, uint32_t speedWord,
                         uint32_t inputWord) {
  // An output is driven when exactly one of its two bits is set: both mean off to the interfaces.
  for (uint32_t driven = (outputWord ^ (outputWord >> 1)) & 0x5555u; driven != 0; driven &= driven - 1) {
    const int bit = __builtin_ctz(driven);
    const auto output = static_cast<size_t>(bit / 2);
    bump(driven_[output]);
    drivenDirection_[output].store(static_cast<uint8_t>((outputWord >> bit) & 3u), kStore);
  }
  bump(exchanges_);
  if (hold_.load(kRelaxed)) return;
  beginWrite();
  axes_[0].store(sample.dwXpos, kStore);
  axes_[1].store(sample.dwYpos, kStore);
  axes_[2].store(sample.dwZpos, kStore);
  axes_[3].store(sample.dwRpos, kStore);
  axes_[4].store(sample.dwUpos, kStore);
  axes_[5].store(sample.dwVpos, kStore);
  buttons_.store(sample.dwButtons, kStore);
  pov_.store(sample.dwPOV, kStore);
  outputWord_.store(outputWord, kStore);
  speedWord_.store(speedWord, kStore);
  inputWord_.store(inputWord, kStore);
  endWrite();
}

void RunMonitor::publishInputs(bool answered, uint32_t inputWord) {
  // A few times a second: written even while a reader holds the record.
  beginWrite();
  if (answered) inputWord_.store(inputWord, kStore);
  lineDown_.store(!answered, kStore);
  endWrite();
}

void RunMonitor::setRunning(bool running) {
  // Rare, and what the interface drives: written even while a reader holds the record.
  beginWrite();
  running_.store(running, kStore);
  if (running) lineDown_.store(false, kStore);  // a run asks the user about a line that fails
  if (!running) {
    // The all-off exchange.
    outputWord_.store(0, kStore);
    speedWord_.store(0, kStore);
  }
  endWrite();
}

RunSnapshot RunMonitor::read() {
  RunSnapshot snapshot;
  // The counts go on while the record is held. They are taken while the exchange count stands still
  // around them, so that they belong to the same exchange as the total; against a worker that never
  // pauses, the last try counts. The total is loaded after them, and a worker bumps an output's count
  // before the total: no count is ever more than one exchange ahead of the total.
  for (int tries = 0; tries < kMissesBeforeHold; ++tries) {
    const uint64_t before = exchanges_.load(kLoad);
    for (size_t o = 0; o < driven_.size(); ++o) {
      snapshot.driven[o] = driven_[o].load(kLoad);
      snapshot.drivenDirection[o] = drivenDirection_[o].load(kLoad);
    }
    snapshot.exchanges = exchanges_.load(kLoad);
    if (snapshot.exchanges == before) break;
  }
  for (int misses = 0;; ++misses) {
    if (misses == kMissesBeforeHold) hold_.store(true, kRelaxed);
    const uint32_t before = sequence_.load(kLoad);
    if ((before & 1u) != 0) continue;
    snapshot.running = running_.load(kLoad);
    for (size_t i = 0; i < axes_.size(); ++i) snapshot.axes[i] = axes_[i].load(kLoad);
    snapshot.buttons = buttons_.load(kLoad);
    snapshot.pov = pov_.load(kLoad);
    snapshot.outputWord = outputWord_.load(kLoad);
    snapshot.speedWord = speedWord_.load(kLoad);
    snapshot.inputWord = inputWord_.load(kLoad);
    snapshot.lineDown = lineDown_.load(kLoad);
    if (sequence_.load(kRelaxed) == before) break;
  }
  hold_.store(false, kRelaxed);
  return snapshot;
}

}  // namespace velomat
