#pragma once

// The jobs layer: the worker thread base (this header), the pause gate and the interface to the
// window (job_host.h). A new job derives from WorkerThread, names its start and finish steps in
// JobSteps and returns its JobResult from Execute; pause, progress, busy/idle, shake and the
// outcome are the base's, so a change to how every job starts or ends goes here.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "jobs/job_host.h"
#include "jobs/pause_gate.h"
#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

// How a job ended, as a value: the command line takes its exit status from it, the windows keep
// showing the job's lines.
enum class JobResult {
  Succeeded,  // did all it was asked
  Failed,     // stopped by an error; `failure` names the file operation when one caused it
  Refused,    // turned its input away before doing anything (not recognised, wrong password)
  Mismatch,   // ran to its end, but a verification or comparison found a difference
};

struct JobOutcome {
  JobResult result = JobResult::Failed;
  std::optional<FileError> failure;
  bool Succeeded() const { return result == JobResult::Succeeded; }
};

// When a job shakes its window (if the window's option is on at that moment).
enum class ShakeAfter {
  Never,
  Completion,           // Succeeded or Mismatch: the job ran to its end
  Success,              // Succeeded only: a mismatch is a failure of this job
  CompletionOrRefusal,  // also when the input was refused
  Always,
};

// The steps the base takes around Execute, in this order: the opening line, ButtonsBusy, then
// Execute, then ButtonsIdle and the shake. A worker names its steps once, in its constructor.
struct JobSteps {
  std::string opening_line;  // logged before ButtonsBusy; none when empty
  bool buttons = false;      // ButtonsBusy before Execute, ButtonsIdle after it
  ShakeAfter shake = ShakeAfter::Never;
};

// Base of every job. Start runs Execute on a thread of its own; that thread owns the worker and
// frees it when Execute returns. Windows keep a weak_ptr for pause and continue.
class WorkerThread : public std::enable_shared_from_this<WorkerThread> {
 public:
  explicit WorkerThread(JobHost host, JobSteps steps = {});
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts `worker` on its own thread and returns it.
  template <typename T>
  static std::shared_ptr<T> Start(std::shared_ptr<T> worker) {
    Launch(worker);
    return worker;
  }

  void Pause() { gate_.Pause(); }
  void Continue() { gate_.Continue(); }
  bool IsPaused() const { return gate_.IsPaused(); }
  // Waits until the paused worker stands at its next step; false when the timeout passed first.
  bool WaitHeld(std::chrono::milliseconds timeout) { return gate_.WaitHeld(timeout); }
  // Ends the job at its next checkpoint, also when it is paused: it writes nothing more, adds no
  // line, removes its temporary files and leaves its inputs as they were. Never waits.
  void Stop() { gate_.Stop(); }
  bool IsStopped() const { return gate_.IsStopped(); }

  // Waits until Execute has returned; false when the timeout passed first.
  bool WaitFinished(std::chrono::milliseconds timeout = std::chrono::hours(24));
  bool Finished() const;

  // Workers whose Execute has not returned yet, over the whole process.
  static int Running();
  // Stops every running worker of the process (closing the program, a signal). Never waits.
  static void StopAll();
  // Waits until no worker runs any more; false when the timeout passed first. Stopped workers
  // that may have missed their wake-up are told again while it waits.
  static bool WaitAllFinished(std::chrono::milliseconds timeout);

  // The first file operation that failed the job, with the file's path and the system's reason
  // (FileError's text); empty when none did. Read it after WaitFinished.
  std::string FailureReason() const;
  // How the job ended; read it after WaitFinished. `failure` holds the first noted FileError.
  JobOutcome Outcome() const;

 protected:
  // The job itself, between the base's start and finish steps (JobSteps). An exception that
  // escapes counts as Failed.
  virtual JobResult Execute() = 0;

  // Adds a line to the log once the pause gate lets the worker on.
  void Log(const std::string& line);
  void ButtonsBusy();
  void ButtonsIdle();
  // Shakes the window when its option is on at this moment.
  void ShakeIfAsked();

  // Progress over the whole job: set the total once, then report through Copy or Advance.
  void SetProgressTotal(int64_t total);
  void Advance(int64_t bytes);
  void FinishProgress();

  // The pause-aware observer for CopyBytes and the streaming codecs.
  CopyObserver& Observer() { return observer_; }
  // CopyBytes through the pause gate with progress.
  void Copy(File& in, File& out, int64_t count) { CopyBytes(in, out, count, &observer_); }

  // Keeps the reason when `error` is a file operation's failure (the first one counts); other
  // errors carry no path or system reason and are left to the job's log line.
  void NoteFailure(const std::exception& error);
  bool HasFailure() const;

  PauseGate& Gate() { return gate_; }

 private:
  class GateObserver : public CopyObserver {
   public:
    explicit GateObserver(WorkerThread& owner) : owner_(owner) {}
    std::unique_lock<std::mutex> BeforeBlock() override { return owner_.gate_.Pass(); }
    void Advanced(int64_t bytes) override { owner_.Advance(bytes); }

   private:
    WorkerThread& owner_;
  };

  static void Launch(std::shared_ptr<WorkerThread> worker);
  void Run();

  bool Shakes(JobResult result) const;
  // The window's line with the failed file and the system's reason, after the job's own line.
  void LogFailureReason();

  JobHost host_;
  JobSteps steps_;
  PauseGate gate_;
  GateObserver observer_{*this};

  mutable std::mutex done_mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  JobResult result_ = JobResult::Failed;
  std::optional<FileError> failure_;

  int64_t progress_total_ = 0;
  int64_t progress_done_ = 0;
  bool progress_shown_ = false;  // the first block is shown at once, the rest a few times a second
  std::chrono::steady_clock::time_point last_progress_{};
};

}  // namespace qarvo
