#include "jobs/pause_gate.h"

namespace qarvo {

void PauseGate::Pause() {
  std::lock_guard<std::mutex> lock(mutex_);
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

std::unique_lock<std::mutex> PauseGate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_; });
  return lock;
}

}  // namespace qarvo
