#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/job_host.h"

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
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.emplace_back(done, total);
  }

  void SetShake(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    shake_ = on;
  }
  void OnLine(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    on_line_ = std::move(hook);
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
  bool shake_ = false;
  int shake_reads_ = 0;
};

}  // namespace qarvo::test
