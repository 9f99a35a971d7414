#include "jobs/worker.h"

#include <algorithm>
#include <set>
#include <thread>

namespace qarvo {

namespace {
std::atomic<int> g_running{0};
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// How often WaitAllFinished tells stopped workers again.
constexpr auto kStopRetry = std::chrono::milliseconds(20);

// The workers whose Execute has not returned, for StopAll; each removes itself before it ends.
// Never destroyed: a signal's thread may use them while the main thread ends the program.
std::mutex& g_workers_mutex = *new std::mutex;
std::condition_variable& g_workers_changed = *new std::condition_variable;
std::set<WorkerThread*>& g_workers = *new std::set<WorkerThread*>;
}  // namespace

WorkerThread::WorkerThread(JobHost host, JobSteps steps)
    : host_(std::move(host)), steps_(std::move(steps)) {}

WorkerThread::~WorkerThread() = default;

void WorkerThread::Launch(std::shared_ptr<WorkerThread> worker) {
  ++g_running;
  {
    std::lock_guard<std::mutex> lock(g_workers_mutex);
    g_workers.insert(worker.get());
  }
  std::thread([worker = std::move(worker)]() mutable {
    worker->Run();
    worker.reset();
  }).detach();
}

void WorkerThread::Run() {
  JobResult result = JobResult::Failed;
  try {
    if (!steps_.opening_line.empty()) {
      Log(steps_.opening_line);
    }
    if (steps_.buttons) {
      ButtonsBusy();
    }
    result = Execute();
    if (result == JobResult::Failed) {
      LogFailureReason();
    }
  } catch (...) {
    // Execute reports its own failures as log lines; nothing may escape a worker thread. A
    // stopped job ends here too, its outputs already discarded on the way.
  }
  const bool stopped = IsStopped();
  if (stopped) {
    result = JobResult::Failed;
  }
  try {
    if (steps_.buttons) {
      ButtonsIdle();
    }
    if (!stopped && Shakes(result)) {
      ShakeIfAsked();
    }
  } catch (...) {
  }
  // Counted out before the waiters are told, so that a finished wait sees the count without it.
  {
    std::lock_guard<std::mutex> lock(g_workers_mutex);
    g_workers.erase(this);
    --g_running;
  }
  g_workers_changed.notify_all();
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    result_ = result;
    done_ = true;
  }
  done_cv_.notify_all();
}

bool WorkerThread::WaitFinished(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(done_mutex_);
  return done_cv_.wait_for(lock, timeout, [this] { return done_; });
}

bool WorkerThread::Finished() const {
  std::lock_guard<std::mutex> lock(done_mutex_);
  return done_;
}

int WorkerThread::Running() {
  return g_running.load();
}

void WorkerThread::StopAll() {
  std::lock_guard<std::mutex> lock(g_workers_mutex);
  for (WorkerThread* worker : g_workers) {
    worker->Stop();
  }
}

bool WorkerThread::WaitAllFinished(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(g_workers_mutex);
  for (;;) {
    if (g_workers.empty()) {
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    for (WorkerThread* worker : g_workers) {
      if (worker->IsStopped()) {
        worker->Stop();
      }
    }
    g_workers_changed.wait_for(
        lock, std::min<std::chrono::steady_clock::duration>(kStopRetry, deadline - now));
  }
}

void WorkerThread::LogFailureReason() {
  std::optional<FileError> failure;
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    failure = failure_;
  }
  // A failure without a system reason (a refused input) is said in full by the job's own line.
  if (!failure || failure->error_number() == 0 || !host_.callbacks) {
    return;
  }
  const std::string line = host_.callbacks->FailureLine(failure->path(), failure->error_number());
  if (!line.empty()) {
    Log(line);
  }
}

bool WorkerThread::Shakes(JobResult result) const {
  const bool completed = result == JobResult::Succeeded || result == JobResult::Mismatch;
  switch (steps_.shake) {
    case ShakeAfter::Never:
      return false;
    case ShakeAfter::Completion:
      return completed;
    case ShakeAfter::Success:
      return result == JobResult::Succeeded;
    case ShakeAfter::CompletionOrRefusal:
      return completed || result == JobResult::Refused;
    case ShakeAfter::Always:
      return true;
  }
  return false;
}

std::string WorkerThread::FailureReason() const {
  std::lock_guard<std::mutex> lock(done_mutex_);
  return failure_ ? std::string(failure_->what()) : std::string();
}

JobOutcome WorkerThread::Outcome() const {
  std::lock_guard<std::mutex> lock(done_mutex_);
  return JobOutcome{result_, failure_};
}

void WorkerThread::NoteFailure(const std::exception& error) {
  const auto* file_error = dynamic_cast<const FileError*>(&error);
  if (file_error == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> lock(done_mutex_);
  if (!failure_) {
    failure_ = *file_error;
  }
}

bool WorkerThread::HasFailure() const {
  std::lock_guard<std::mutex> lock(done_mutex_);
  return failure_.has_value();
}

void WorkerThread::Log(const std::string& line) {
  auto hold = gate_.Pass();
  if (host_.log) {
    host_.log->Add(line);
  }
}

void WorkerThread::ButtonsBusy() {
  if (host_.callbacks) {
    host_.callbacks->ButtonsBusy();
  }
}

void WorkerThread::ButtonsIdle() {
  if (host_.callbacks) {
    host_.callbacks->ButtonsIdle();
  }
}

void WorkerThread::ShakeIfAsked() {
  if (host_.callbacks && host_.callbacks->ShakeOption()) {
    host_.callbacks->ShakeWindow();
  }
}

void WorkerThread::SetProgressTotal(int64_t total) {
  progress_total_ = total;
  progress_done_ = 0;
  progress_shown_ = false;
  last_progress_ = std::chrono::steady_clock::now();
  if (host_.callbacks) {
    host_.callbacks->Progress(0, total);
  }
}

void WorkerThread::Advance(int64_t bytes) {
  progress_done_ += bytes;
  const auto now = std::chrono::steady_clock::now();
  if (host_.callbacks && (!progress_shown_ || now - last_progress_ >= kProgressInterval)) {
    progress_shown_ = true;
    last_progress_ = now;
    host_.callbacks->Progress(progress_done_, progress_total_);
  }
}

void WorkerThread::FinishProgress() {
  if (host_.callbacks) {
    host_.callbacks->Progress(progress_total_, progress_total_);
  }
}

}  // namespace qarvo
