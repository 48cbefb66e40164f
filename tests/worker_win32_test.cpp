// The worker's priority on Windows: one step above normal during a run, which every user is granted,
// and back to normal between runs, where it only waits.
#include <gtest/gtest.h>
#include <pthread.h>

#include "worker_steps.h"

// After the program's headers: windows.h would rename their joyGetDevCaps to its own W variant.
#include <windows.h>

namespace velomat {
namespace {

TEST_F(WorkerTest, a_run_raises_the_worker_one_step_and_its_end_puts_it_back) {
  open(kRoboUsb);
  const HANDLE worker = pthread_gethandle(dialog->worker()->nativeHandle());
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(::GetThreadPriority(worker), THREAD_PRIORITY_NORMAL);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run + 1);
    start(50);
    EXPECT_EQ(::GetThreadPriority(worker), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(dialog->worker()->runNice(), -THREAD_PRIORITY_ABOVE_NORMAL);
    click(button(id::kEmergencyStopButton));
    waitForEnd();
    // The worker puts itself back once the run has ended; it then waits for the next "LOS!".
    EXPECT_TRUE(waitUntil([&] { return ::GetThreadPriority(worker) == THREAD_PRIORITY_NORMAL; }));
  }
}

}  // namespace
}  // namespace velomat
