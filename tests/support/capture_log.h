#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/job_host.h"

namespace qarvo::test {

// A log that keeps every line, for tests that read what a job reported.
class CaptureLog : public LogSink {
 public:
  void Add(const std::string& line) override {
    if (on_line) {
      on_line(line);  // on the adding thread, before the line is visible
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    }
    changed_.notify_all();
  }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  // The lines once there are at least `count` of them, or what came within the timeout.
  std::vector<std::string> WaitFor(size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
    return lines_;
  }
  // The lines once `line` is among them, or what came within the timeout.
  std::vector<std::string> WaitForLine(
      const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [&] {
      return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    });
    return lines_;
  }

  // Set before the job starts.
  std::function<void(const std::string&)> on_line;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

}  // namespace qarvo::test
