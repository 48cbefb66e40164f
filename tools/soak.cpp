// velomat-soak [seconds]: the control worker against the paced simulated Intelligent Interface, with a
// virtual stick that wanders at random and "LOS!" and "NOT-AUS" at random moments, for as long as asked
// (10 s when not given). Prints the exchanges, the runs, the resident memory at the start and the end,
// and every fault it finds: an exchange after a run's all-off one, a run that did not end with it, a
// "NOT-AUS" that did not end the run, a box the run asked. Exits with 1 when it found a fault.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "control/control_worker.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"

using namespace velomat;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<int> faults{0};

void fault(const char* what) {
  faults.fetch_add(1);
  std::fprintf(stderr, "soak: fault: %s\n", what);
}

long residentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Counts what reaches the interface and remembers the last output word.
class CountingIntInt final : public IntelligentInterfaceDriver {
 public:
  explicit CountingIntInt(IntelligentInterfaceDriver& inner) : inner_(inner) {}
  bool open(IntIntPort port, int32_t portNumber) override { return inner_.open(port, portNumber); }
  Inputs exchange(uint32_t outputWord) override {
    last.store(outputWord);
    count.fetch_add(1);
    return inner_.exchange(outputWord);
  }
  void close() override { inner_.close(); }

  std::atomic<uint64_t> count{0};
  std::atomic<uint32_t> last{0};

 private:
  IntelligentInterfaceDriver& inner_;
};

class NoBoxes final : public MessageBoxes {
 public:
  BoxAnswer show(std::string_view text, std::string_view, BoxButtons) override {
    std::fprintf(stderr, "soak: fault: a run asked \"%.*s\"\n", static_cast<int>(text.size()), text.data());
    faults.fetch_add(1);
    return BoxAnswer::Retry;
  }
};

// Each report must follow the run's all-off exchange; the count then may not move until the next run.
class CheckingReport final : public RunReport {
 public:
  explicit CheckingReport(CountingIntInt& line) : line_(line) {}
  void runFinished(uint64_t, RunEnd end) override {
    if (line_.last.load() != 0) fault("a run ended without its all-off exchange");
    if (end != RunEnd::Stopped) fault("a run ended other than by a stop");
    countAtEnd.store(line_.count.load());
  }
  std::atomic<uint64_t> countAtEnd{0};

 private:
  CountingIntInt& line_;
};

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  SdlJoystick sdl;
  if (!sdl.ok()) return 2;
  VirtualJoystick stick(3, 8, 1, "Soak-Knueppel");

  SharedState state;
  JoyCapsRecord caps;
  const uint32_t id = static_cast<uint32_t>(SDL_NumJoysticks() - 1);  // the virtual one, after any real ones
  if (sdl.joyGetDevCaps(id, caps) != kJoyNoError) return 2;
  state.joystickId = id;
  state.joystickCaps = JoystickCaps::fromRecord(caps);
  state.connection = {kIntelligentInterface, 1, 0, 0, 4};
  applyTableDefaults(state.table, state.joystickCaps, 4);
  set(state.table.dirFixed, 4, 1);  // motor 3 turns right at a third of its speed
  set(state.table.fixedDirSel, 4, kDirRight);
  set(state.table.speedPercent, 4, 33);

  sim::SimIntelligentInterface simulation;  // paced: every exchange takes its time on the wire
  CountingIntInt line(simulation);
  sim::SimRoboInterface robo;
  NoBoxes boxes;
  CheckingReport report(line);
  InterfaceLink link(line, robo, state.connection);
  if (!link.openInterface()) return 2;
  ControlWorker worker(state, sdl, link, boxes, report);
  worker.start();
  const long residentAtStart = residentKilobytes();

  std::mt19937 random(std::random_device{}());
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  int x = 0, y = 0, z = 0;
  bool running = false;
  uint64_t runs = 0;
  const auto end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  auto nextToggle = Clock::now();
  while (Clock::now() < end) {
    // The stick wanders as a hand moves it; buttons and hat change now and then.
    x = std::clamp(x + pick(-3000, 3000), -32768, 32767);
    y = std::clamp(y + pick(-3000, 3000), -32768, 32767);
    z = std::clamp(z + pick(-500, 500), -32768, 32767);
    stick.axis(0, static_cast<Sint16>(x));
    stick.axis(1, static_cast<Sint16>(y));
    stick.axis(2, static_cast<Sint16>(z));
    if (pick(0, 50) == 0) stick.button(pick(0, 7), pick(0, 1) == 1);
    if (pick(0, 100) == 0) stick.hat(static_cast<Uint8>(pick(0, 1) ? SDL_HAT_UP : SDL_HAT_CENTERED));

    if (Clock::now() >= nextToggle) {
      if (!running) {
        if (runs > 0 && line.count.load() != report.countAtEnd.load())
          fault("an exchange after the all-off one");
        if (worker.requestRun() == 0) fault("\"LOS!\" refused between runs");
        running = true;
        ++runs;
      } else {
        const uint64_t finished = worker.finishedRuns();
        worker.requestStop();
        const auto bound = Clock::now() + std::chrono::seconds(1);
        while (worker.finishedRuns() == finished && Clock::now() < bound)
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (worker.finishedRuns() == finished) fault("\"NOT-AUS\" did not end the run within a second");
        running = false;
      }
      nextToggle = Clock::now() + std::chrono::milliseconds(pick(20, 1500));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!worker.end(std::chrono::seconds(1)).stopped) fault("the last run did not end");

  std::printf(
      "soak: %.0f s, %llu exchanges, %llu runs, resident memory %ld kB at the start, %ld kB at the end, "
      "%d faults\n",
      seconds, static_cast<unsigned long long>(line.count.load()), static_cast<unsigned long long>(runs),
      residentAtStart, residentKilobytes(), faults.load());
  return faults.load() == 0 ? 0 : 1;
}
