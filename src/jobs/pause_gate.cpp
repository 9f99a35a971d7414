#include "jobs/pause_gate.h"

namespace qarvo {

void PauseGate::Pause() {
  ++pauses_waiting_;
  std::lock_guard<std::mutex> lock(mutex_);
  --pauses_waiting_;
  paused_ = true;
}

void PauseGate::Continue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = false;
  }
  resumed_.notify_all();
}

bool PauseGate::IsPaused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

void PauseGate::Stop() {
  stopped_.store(true);
  // With the lock, no paused waiter can be between its check and its wait, so the wake-up
  // cannot be lost. Without it (the worker is inside a step) the worker sees the flag at its
  // next pass; a waiter that missed this notification is woken by the next Stop.
  std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  resumed_.notify_all();
}

std::unique_lock<std::mutex> PauseGate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (paused_ && !stopped_.load()) {
    ++held_;
    held_changed_.notify_all();
    resumed_.wait(lock, [this] { return !paused_ || stopped_.load(); });
    --held_;
  }
  if (stopped_.load()) {
    throw JobStopped();
  }
  return lock;
}

bool PauseGate::WaitHeld(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return held_changed_.wait_for(lock, timeout, [this] { return held_ > 0; });
}

}  // namespace qarvo
