// The worker's share of the processor on a POSIX system: an ordinary user may not raise a thread's
// priority (RLIMIT_NICE 0), and every run must still get the processor the first one got.
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/end_process.h"
#include "worker_steps.h"

namespace velomat {
namespace {

// Processor time a thread has used, in seconds.
double cpuSeconds(pthread_t thread) {
  clockid_t clock;
  timespec used{};
  if (::pthread_getcpuclockid(thread, &clock) != 0 || ::clock_gettime(clock, &used) != 0) return 0;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

// The runs of an ordinary user (no right to raise a priority: RLIMIT_NICE 0) beside two busy threads:
// each run must get the processor the first one got. The worker and the busy threads share one
// processor; a run's share is the processor time the worker got for each second a busy thread got,
// which whatever else the machine does at that moment changes for all of them alike.
void runsOfAnOrdinaryUserBesideBusyThreads(WorkerTest& t) {
  if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
    std::fprintf(stderr, "could not become an ordinary user\n");
    endProcess(2);
  }
  const rlimit noRaise{0, 0};
  ::setrlimit(RLIMIT_NICE, &noRaise);
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    int first = 0;
    while (first < CPU_SETSIZE && !CPU_ISSET(first, &allowed)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ::sched_setaffinity(0, sizeof one, &one);  // the worker and the busy threads, made below, inherit it
  }
  std::atomic<bool> busy{true};
  std::vector<std::thread> hogs;
  for (int i = 0; i < 2; ++i) {
    hogs.emplace_back([&busy] {
      while (busy.load(std::memory_order_relaxed)) {
      }
    });
  }
  const auto hogSeconds = [&hogs] {
    double seconds = 0;
    for (std::thread& hog : hogs) seconds += cpuSeconds(hog.native_handle());
    return seconds / static_cast<double>(hogs.size());
  };
  t.open(kIntelligentInterface);
  t.log.recording = false;  // a log that grows by every exchange would cost each run differently
  const sim::SimWire& wire = t.intInt.wire();
  const pthread_t worker = t.dialog->worker()->nativeHandle();
  std::vector<double> share;        // worker seconds per busy-thread second
  std::vector<uint64_t> exchanges;  // in the counted time
  for (int run = 0; run < 10; ++run) {
    const uint64_t before = wire.exchangeCount();
    t.start(0);
    // Counted once the run is well under way, past what the first exchanges of a process cost.
    if (!waitUntil([&] { return wire.exchangeCount() > before + 10000; })) break;
    const uint64_t from = wire.exchangeCount();
    const double hogFrom = hogSeconds(), workerFrom = cpuSeconds(worker);
    QTest::qWait(400);
    exchanges.push_back(wire.exchangeCount() - from);
    share.push_back((cpuSeconds(worker) - workerFrom) / std::max(hogSeconds() - hogFrom, 1e-3));
    t.click(t.button(id::kEmergencyStopButton));
    t.waitForEnd();
    waitUntil([&] { return t.c().startButton->isEnabled(); });  // the window heard of the end too
  }
  busy = false;
  for (std::thread& hog : hogs) hog.join();
  for (size_t run = 0; run < share.size(); ++run) {
    std::fprintf(stderr, "run %zu: %.2f s of processor per busy-thread second, %llu exchanges\n", run + 1,
                 share[run], static_cast<unsigned long long>(exchanges[run]));
  }
  const auto likeTheFirst = [&](size_t run) {
    return run < share.size() && share[0] > 0 && std::abs(share[run] / share[0] - 1) <= 0.25;
  };
  endProcess(likeTheFirst(1) && likeTheFirst(9) ? 0 : 1);
}

TEST_F(WorkerTest, every_run_gets_the_processor_of_the_first_for_an_ordinary_user_beside_busy_threads) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child drops root's rights for good
  EXPECT_EXIT(runsOfAnOrdinaryUserBesideBusyThreads(*this), ::testing::ExitedWithCode(0), "run 10:");
}

}  // namespace
}  // namespace velomat
