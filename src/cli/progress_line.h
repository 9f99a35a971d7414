#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "cli/common.h"
#include "jobs/job_host.h"

namespace qarvo::cli {

// One line on a terminal that shows how far a job is: percent, bytes done of the total, speed
// and time left. It draws only when its file descriptor is a terminal, redraws at most four
// times a second and wipes itself when the job ends, so nothing of it stays on the screen and
// nothing reaches a file or a pipe.
class ProgressLine : public JobCallbacks {
 public:
  // `enabled` false (the --quiet option) draws nothing, as does a descriptor that is no terminal.
  ProgressLine(int fd, bool enabled);
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Progress(int64_t done, int64_t total) override;
  // Wipes the line if it is drawn (before a log line is printed to the same terminal, and at the
  // end); the next report draws it again.
  void Clear();
  bool Drawing() const { return enabled_; }

  // The text of the line: "  42.0%  10.5 MB / 25.0 MB  8.4 MB/s  剩余 0:02".
  static std::string Text(int64_t done, int64_t total, double seconds);

 private:
  void Draw(const std::string& text);

  int fd_;
  bool enabled_;
  std::mutex mutex_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_draw_{};
};

// The log of a command whose progress line shares the terminal: the line is wiped before each
// log line, so a log line never starts behind it.
class LogBesideProgress : public LogSink {
 public:
  LogBesideProgress(std::shared_ptr<LogSink> log, std::shared_ptr<ProgressLine> progress)
      : log_(std::move(log)), progress_(std::move(progress)) {}
  void Add(const std::string& line) override {
    progress_->Clear();
    log_->Add(line);
  }

 private:
  std::shared_ptr<LogSink> log_;
  std::shared_ptr<ProgressLine> progress_;
};

// The progress line of a command, on stderr; the --quiet option turns it off.
std::shared_ptr<ProgressLine> StderrProgress(const ParsedArgs& parsed);

// FinishJob for a command that shows a progress line: the line is wiped once the job has ended,
// before a failure's reason is printed on the same terminal.
int FinishJob(const std::string& command, WorkerThread& worker, ProgressLine& progress);

}  // namespace qarvo::cli
