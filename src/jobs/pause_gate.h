#pragma once

#include <condition_variable>
#include <mutex>

namespace qarvo {

// Cooperative pause for one worker. The worker passes the gate before every step that the user
// can see (a log line, a block of data) and holds the returned lock while doing it, so once
// Pause returns, no such step starts until Continue.
class PauseGate {
 public:
  void Pause();
  void Continue();
  bool IsPaused() const;
  // Waits while paused; the caller does its step while holding the returned lock.
  std::unique_lock<std::mutex> Pass();

 private:
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
};

}  // namespace qarvo
