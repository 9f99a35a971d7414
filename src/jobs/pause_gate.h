#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace qarvo {

// Thrown at a job's next checkpoint once it was told to stop. It unwinds the job like any
// failure, so every output it holds discards its temporary file on the way out and whatever a
// job puts back on failure (a bundle's head) is put back; it is no failure of a file.
class JobStopped : public std::runtime_error {
 public:
  JobStopped() : std::runtime_error("job stopped") {}
};

// Cooperative pause and stop for one worker. The worker passes the gate before every step that
// the user can see (a log line, a block of data) and holds the returned lock while doing it, so
// once Pause returns, no such step starts until Continue. After Stop, passing throws JobStopped,
// also for a worker that waits paused.
class PauseGate {
 public:
  void Pause();
  void Continue();
  bool IsPaused() const;
  // Never waits for the worker: it may be in the middle of a step that blocks (a write to a full
  // pipe), and the one who stops it (a signal, a closing window) must not hang on it.
  void Stop();
  bool IsStopped() const { return stopped_.load(); }
  // Waits while paused; the caller does its step while holding the returned lock. Throws
  // JobStopped once stopped.
  std::unique_lock<std::mutex> Pass();

  // What the one who pauses can watch: the callers of Pause still waiting for a step to end,
  // and the wait until a worker stands paused at the gate (false when the timeout passed
  // first). Once a worker stands there, nothing but Continue or Stop lets it on.
  int PausesWaiting() const { return pauses_waiting_.load(); }
  bool WaitHeld(std::chrono::milliseconds timeout);

 private:
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
  std::condition_variable held_changed_;
  bool paused_ = false;
  int held_ = 0;
  std::atomic<int> pauses_waiting_{0};
  std::atomic<bool> stopped_{false};
};

}  // namespace qarvo
