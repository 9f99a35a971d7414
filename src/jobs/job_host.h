#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qarvo {

// The main window's log list as the workers see it. Add may be called from any thread; lines
// appear whole and in the order of the calls.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Add(const std::string& line) = 0;
};

// What a worker may ask of the window that started it. The window implements these as calls
// that run on the window thread while the worker waits; tests pass plain implementations.
class JobCallbacks {
 public:
  virtual ~JobCallbacks() = default;
  virtual void ButtonsBusy() {}
  virtual void ButtonsIdle() {}
  // The "shake when done" option, read at the end of a job.
  virtual bool ShakeOption() { return false; }
  virtual void ShakeWindow() {}
  // Bytes done of bytes to do; called at most a few times a second, and once at 100 %.
  virtual void Progress(int64_t /*done*/, int64_t /*total*/) {}
  // The line that follows a job's failure line when a file operation failed it, saying which
  // file and why in the window's words; none when empty. Called on the worker thread.
  virtual std::string FailureLine(const std::string& /*path*/, int /*error_number*/) { return {}; }
};

// Everything a worker reports through. `callbacks` may be null (no window).
struct JobHost {
  std::shared_ptr<LogSink> log;
  std::shared_ptr<JobCallbacks> callbacks;
};

}  // namespace qarvo
