#include "control/live_readings.h"

#include <algorithm>

namespace velomat {

StickReading stickReadingOf(const JoySample& sample) {
  return {{sample.dwXpos, sample.dwYpos, sample.dwZpos, sample.dwRpos, sample.dwUpos, sample.dwVpos},
          sample.dwButtons,
          sample.dwPOV};
}

StickReading stickReadingOf(const RunSnapshot& run) {
  return {run.axes, run.buttons, run.pov};
}

void LiveReadings::update(const RunSnapshot& run, const StickReading& stick, Clock::time_point now) {
  for (size_t i = 0; i < stick.axes.size(); ++i) {
    // An axis moved slowly is marked once it has gone the threshold from where it was marked last.
    const uint32_t was = markedAt_[i], is = stick.axes[i];
    if (!seenStick_) {
      markedAt_[i] = is;
    } else if ((is > was ? is - was : was - is) >= kAxisMoveThreshold) {
      axisMoved_[i] = now;
      markedAt_[i] = is;
    }
  }
  if (seenStick_) {
    for (size_t b = 0; b < buttonMoved_.size(); ++b) {
      if (((stick.buttons ^ stick_.buttons) >> b) & 1u) buttonMoved_[b] = now;
    }
    if (stick.pov != stick_.pov) hatMoved_ = now;
  }
  stick_ = stick;
  seenStick_ = true;

  run_ = run;
  now_ = now;
  newest_ = (newest_ + 1) % kHistory;
  history_[newest_] = {now, run.exchanges, run.driven};
  kept_ = std::min(kept_ + 1, kHistory);
}

const LiveReadings::Sample& LiveReadings::since(std::chrono::milliseconds window) const {
  // The oldest refresh within the window. When none lies within it (the GUI thread was held up longer
  // than the window), the one before: the exchanges since then are the window's, never none of them, or
  // a motor driven at full speed would read "aus".
  size_t oldest = newest_;
  for (size_t back = 1; back < kept_; ++back) {
    const size_t at = (newest_ + kHistory - back) % kHistory;
    if (now_ - history_[at].at > window) {
      if (oldest == newest_) oldest = at;
      break;
    }
    oldest = at;
  }
  return history_[oldest];
}

double LiveReadings::exchangeRate() const {
  if (kept_ < 2) return 0;
  // The refresh just before the window began, so that the window is a whole second where it can be.
  size_t from = newest_;
  for (size_t back = 1; back < kept_; ++back) {
    from = (newest_ + kHistory - back) % kHistory;
    if (now_ - history_[from].at >= kRateWindow) break;
  }
  const Sample& then = history_[from];
  const double seconds = std::chrono::duration<double>(now_ - then.at).count();
  return seconds > 0 ? static_cast<double>(run_.exchanges - then.exchanges) / seconds : 0;
}

uint8_t LiveReadings::direction(int output) const {
  if (!run_.running || output < 0 || output >= kMaxOutputs || share(output) <= 0) return kDirOff;
  return run_.drivenDirection[static_cast<size_t>(output)];
}

double LiveReadings::share(int output) const {
  if (output < 0 || output >= kMaxOutputs || kept_ == 0) return 0;
  const Sample& then = since(kShareWindow);
  const uint64_t exchanges = run_.exchanges - then.exchanges;
  if (exchanges == 0) return 0;
  const auto o = static_cast<size_t>(output);
  // A count read a little ahead of the total (see RunSnapshot) must not show more than all of them.
  const double driven = static_cast<double>(run_.driven[o] - then.driven[o]);
  return std::min(1.0, driven / static_cast<double>(exchanges));
}

int LiveReadings::level(int output) const {
  if (!run_.running || output < 0 || output >= kMaxOutputs) return 0;
  const uint32_t bits = (run_.outputWord >> (2 * output)) & 3u;
  if (bits == 0 || bits == 3) return 0;
  return static_cast<int>((run_.speedWord >> (4 * output)) & 0xFu);
}

std::array<std::string, kMaxInputs> endSwitchOwners(const ConfigTable& table, int32_t motorCount) {
  std::array<std::string, kMaxInputs> owners;
  const auto add = [&owners](int input, int output, const char* side) {
    if (input < 0 || input >= kMaxInputs) return;  // a list without selection names no input
    std::string& owner = owners[static_cast<size_t>(input)];
    if (!owner.empty()) owner += ", ";
    // Appended piece by piece: "M" + std::to_string(...) trips a false -Wrestrict of GCC 12 at -O3.
    owner += 'M';
    owner += std::to_string(output + 1);
    owner += ' ';
    owner += side;
  };
  for (int output = 0; output < outputCount(motorCount); ++output) {
    const int slot = slotOfOutput(output);
    if (get(table.endSwitchesOn, slot) == 0) continue;
    add(get(table.endSwitchLeftSel, slot), output, "L");
    add(get(table.endSwitchRightSel, slot), output, "R");
  }
  return owners;
}

}  // namespace velomat
