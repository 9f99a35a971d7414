#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo::ui {

enum class Panel { Split, Merge };

// What the workers' callbacks do to the main window, always on the window thread.
class PanelHost {
 public:
  virtual ~PanelHost() = default;
  virtual void SetPanelBusy(Panel panel, bool busy) = 0;
  virtual void ShowProgress(Panel panel, int64_t done, int64_t total) = 0;
  // Shakes the window and calls `finished` once the window is back where it started (or the
  // window is going away).
  virtual void StartShake(std::function<void()> finished) = 0;
};

// Runs actions on the window thread on behalf of worker threads that wait for them. A wait
// never outlasts the window: Shutdown (when the window closes) releases every waiting worker,
// and later calls return at once without running anything.
class WindowBridge : public std::enable_shared_from_this<WindowBridge> {
 public:
  using Done = std::function<void()>;
  // Runs on the window thread; calls `done` when finished (at once or later).
  using Action = std::function<void(PanelHost& host, const Done& done)>;

  // `context` lives on the window thread and stays alive until Shutdown.
  WindowBridge(QObject* context, PanelHost* host);

  // Runs `action` on the window thread and waits until it called `done` or the bridge shut
  // down. Called on the window thread itself, it runs the action without waiting.
  void Call(Action action);
  // Runs `action` on the window thread without waiting for it.
  void Post(Action action);

  void Shutdown();
  bool IsShutDown() const;

  // The "shake when done" option, mirrored here so that workers read it without waiting.
  void SetShakeOption(bool on) { shake_option_ = on; }
  bool ShakeOption() const { return shake_option_; }

 private:
  struct PendingCall {
    bool done = false;
  };
  bool OnWindowThread() const;
  void Finish(const std::shared_ptr<PendingCall>& call);
  void RunOnWindow(const std::shared_ptr<PendingCall>& call, const Action& action);

  mutable std::mutex mutex_;
  std::condition_variable finished_;
  QObject* context_;
  PanelHost* host_;
  bool shut_down_ = false;
  std::atomic<bool> shake_option_{false};
};

// The callbacks of one split or merge job: its panel's buttons and progress, and the shake.
class PanelCallbacks : public JobCallbacks, public std::enable_shared_from_this<PanelCallbacks> {
 public:
  PanelCallbacks(std::shared_ptr<WindowBridge> bridge, Panel panel);

  // The worker these callbacks serve; set on the window thread once it is created.
  void SetWorker(std::weak_ptr<WorkerThread> worker) { worker_ = std::move(worker); }

  void ButtonsBusy() override;
  void ButtonsIdle() override;
  bool ShakeOption() override;
  void ShakeWindow() override;
  void Progress(int64_t done, int64_t total) override;
  std::string FailureLine(const std::string& path, int error_number) override;

 private:
  std::shared_ptr<WindowBridge> bridge_;
  Panel panel_;
  std::weak_ptr<WorkerThread> worker_;  // used on the window thread only
};

// The callbacks of a tool window's job: no panel, only the shake at its end.
class ToolCallbacks : public JobCallbacks {
 public:
  explicit ToolCallbacks(std::shared_ptr<WindowBridge> bridge) : bridge_(std::move(bridge)) {}
  bool ShakeOption() override;
  void ShakeWindow() override;
  std::string FailureLine(const std::string& path, int error_number) override;

 private:
  std::shared_ptr<WindowBridge> bridge_;
};

// The reason line of every window's failed job (error_text.h), as the workers take it.
std::string JobFailureLine(const std::string& path, int error_number);

}  // namespace qarvo::ui
