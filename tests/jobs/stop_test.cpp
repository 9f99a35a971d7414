// The stop of the pause gate: what ends a job for good, whether it is paused or in a step.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "jobs/pause_gate.h"

namespace qarvo {
namespace {

TEST(PauseGateStopTest, WakesAPausedWaiterWithJobStopped) {
  PauseGate gate;
  gate.Pause();
  std::atomic<bool> stopped{false};
  std::atomic<bool> passed{false};
  std::thread waiter([&] {
    try {
      auto hold = gate.Pass();
      passed = true;
    } catch (const JobStopped&) {
      stopped = true;
    }
  });
  gate.Stop();
  // A wake-up that came before the waiter slept is made good by telling it again, as the
  // callers that wait for stopped jobs do.
  while (!stopped.load() && !passed.load()) {
    gate.Stop();
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_TRUE(stopped.load());
  EXPECT_FALSE(passed.load());
  // For good: Continue does not undo it.
  gate.Continue();
  EXPECT_THROW(gate.Pass(), JobStopped);
  EXPECT_TRUE(gate.IsStopped());
}

// A worker may hang inside a step (a write to a pipe nobody reads); the one who stops it must
// not hang with it. The step itself ends undisturbed; the next one is refused.
TEST(PauseGateStopTest, DoesNotWaitForAStepInProgress) {
  PauseGate gate;
  auto hold = gate.Pass();
  std::thread stopper([&] { gate.Stop(); });
  stopper.join();
  EXPECT_TRUE(gate.IsStopped());
  hold.unlock();
  EXPECT_THROW(gate.Pass(), JobStopped);
}

}  // namespace
}  // namespace qarvo
