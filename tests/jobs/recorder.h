#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo::test {

// Window callbacks show up in the event list as these markers, between the log lines.
inline constexpr char kBusy[] = "[busy]";
inline constexpr char kIdle[] = "[idle]";
inline constexpr char kShake[] = "[shake]";

// One ordered list of everything a job reported: log lines and window callbacks.
class Recorder : public LogSink, public JobCallbacks {
 public:
  void Add(const std::string& line) override {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hook = on_line_;
    }
    // Runs on the worker thread before the line is visible to waiters, like a window that
    // reacts to a line at once.
    if (hook) {
      hook(line);
    }
    Push(line);
  }
  void ButtonsBusy() override { Push(kBusy); }
  void ButtonsIdle() override { Push(kIdle); }
  bool ShakeOption() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++shake_reads_;
    return shake_;
  }
  void ShakeWindow() override { Push(kShake); }
  void Progress(int64_t done, int64_t total) override {
    std::function<void(int64_t, int64_t)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      progress_.emplace_back(done, total);
      hook = on_progress_;
    }
    // Runs on the worker thread outside its pause gate, so the hook may wait for a pause.
    if (hook) {
      hook(done, total);
    }
  }

  void SetShake(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    shake_ = on;
  }
  void OnLine(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_line_ = std::move(hook);
  }

  void OnProgress(std::function<void(int64_t, int64_t)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_progress_ = std::move(hook);
  }

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // Log lines only, without the callback markers.
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& event : events_) {
      if (event != kBusy && event != kIdle && event != kShake) {
        lines.push_back(event);
      }
    }
    return lines;
  }
  std::vector<std::pair<int64_t, int64_t>> ProgressCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  int ShakeReads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shake_reads_;
  }
  bool Has(const std::string& event) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(events_.begin(), events_.end(), event) != events_.end();
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
  }

  // Waits until `event` has been reported; false when the deadline passed first.
  bool WaitFor(const std::string& event,
               std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] {
      return std::find(events_.begin(), events_.end(), event) != events_.end();
    });
  }
  // Waits until more than `count` events exist; false when the deadline passed first.
  bool WaitForMoreThan(size_t count, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return events_.size() > count; });
  }

 private:
  void Push(const std::string& event) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(event);
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::pair<int64_t, int64_t>> progress_;
  std::function<void(const std::string&)> on_line_;
  std::function<void(int64_t, int64_t)> on_progress_;
  bool shake_ = false;
  int shake_reads_ = 0;
};

// Holds a job on its worker thread at a point of the test's choosing until the test lets it
// go, so that a pause issued meanwhile lands exactly there however fast the machine runs the
// job. Waiting must happen outside the job's pause gate (a progress report, a copy observer).
class JobLatch {
 public:
  // Called on the worker thread: reports arrival and waits for Release.
  void Arrive() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->arrived = true;
    state_->changed.notify_all();
    state_->changed.wait(lock, [this] { return state_->released; });
  }
  bool WaitArrived(std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, deadline, [this] { return state_->arrived; });
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->released = true;
    }
    state_->changed.notify_all();
  }
  // Stops the job at its first progress report (the one that announces the total).
  void AtFirstProgress(Recorder& recorder) {
    auto once = std::make_shared<bool>(false);
    recorder.OnProgress([latch = *this, once](int64_t, int64_t) mutable {
      if (!*once) {
        *once = true;
        latch.Arrive();
      }
    });
  }
  // Stops the job at its first progress report after a block of data has moved: its output
  // is then open under a temporary name.
  void AtFirstBlock(Recorder& recorder) {
    auto once = std::make_shared<std::atomic<bool>>(false);
    recorder.OnProgress([latch = *this, once](int64_t done, int64_t) mutable {
      if (done > 0 && !once->exchange(true)) {
        latch.Arrive();
      }
    });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool arrived = false;
    bool released = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Lets a held job go when the test ends early, so no worker thread waits for ever.
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(JobLatch latch) : latch_(std::move(latch)) {}
  ~ReleaseOnExit() { latch_.Release(); }
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

 private:
  JobLatch latch_;
};

// What a finished job left behind: its log lines, its outcome and its progress calls.
struct JobRun {
  std::vector<std::string> lines;
  JobOutcome outcome;
  std::vector<std::pair<int64_t, int64_t>> progress;
};

// Waits for `worker`, which reports to `recorder`, to end (with a deadline that fails the test).
template <typename Worker>
JobRun RunToEnd(const std::shared_ptr<Worker>& worker, const Recorder& recorder) {
  const bool finished = worker->WaitFinished(std::chrono::seconds(60));
  if (!finished) {
    throw std::runtime_error("the job did not end within a minute");
  }
  return {recorder.Lines(), worker->Outcome(), recorder.ProgressCalls()};
}

}  // namespace qarvo::test
