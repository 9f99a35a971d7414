#include "app/window_bridge.h"

#include <QMetaObject>
#include <QThread>

#include "app/error_text.h"

namespace qarvo::ui {

WindowBridge::WindowBridge(QObject* context, PanelHost* host) : context_(context), host_(host) {}

bool WindowBridge::OnWindowThread() const {
  return context_ != nullptr && QThread::currentThread() == context_->thread();
}

void WindowBridge::Finish(const std::shared_ptr<PendingCall>& call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    call->done = true;
  }
  finished_.notify_all();
}

void WindowBridge::RunOnWindow(const std::shared_ptr<PendingCall>& call, const Action& action) {
  if (IsShutDown()) {
    Finish(call);
    return;
  }
  auto self = shared_from_this();
  action(*host_, [self, call] { self->Finish(call); });
}

void WindowBridge::Call(Action action) {
  auto call = std::make_shared<PendingCall>();
  std::unique_lock<std::mutex> lock(mutex_);
  if (shut_down_) {
    return;
  }
  if (OnWindowThread()) {
    lock.unlock();
    action(*host_, [] {});
    return;
  }
  auto self = shared_from_this();
  // Posted under the lock: Shutdown takes it before the context may go away.
  QMetaObject::invokeMethod(
      context_, [self, call, action = std::move(action)] { self->RunOnWindow(call, action); },
      Qt::QueuedConnection);
  finished_.wait(lock, [&] { return call->done || shut_down_; });
}

void WindowBridge::Post(Action action) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shut_down_) {
    return;
  }
  auto self = shared_from_this();
  auto call = std::make_shared<PendingCall>();
  QMetaObject::invokeMethod(
      context_, [self, call, action = std::move(action)] { self->RunOnWindow(call, action); },
      Qt::QueuedConnection);
}

void WindowBridge::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shut_down_ = true;
  }
  finished_.notify_all();
}

bool WindowBridge::IsShutDown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shut_down_;
}

PanelCallbacks::PanelCallbacks(std::shared_ptr<WindowBridge> bridge, Panel panel)
    : bridge_(std::move(bridge)), panel_(panel) {}

void PanelCallbacks::ButtonsBusy() {
  const Panel panel = panel_;
  bridge_->Call([panel](PanelHost& host, const WindowBridge::Done& done) {
    host.SetPanelBusy(panel, true);
    done();
  });
}

void PanelCallbacks::ButtonsIdle() {
  auto self = shared_from_this();
  bridge_->Call([self](PanelHost& host, const WindowBridge::Done& done) {
    host.SetPanelBusy(self->panel_, false);
    // A pause that reached the worker while it was finishing must not hold it back.
    if (auto worker = self->worker_.lock()) {
      worker->Continue();
    }
    done();
  });
}

bool PanelCallbacks::ShakeOption() {
  return bridge_->ShakeOption();
}

void PanelCallbacks::ShakeWindow() {
  bridge_->Call([](PanelHost& host, const WindowBridge::Done& done) { host.StartShake(done); });
}

void PanelCallbacks::Progress(int64_t done_bytes, int64_t total) {
  // Never waits: the worker may hold its pause gate here, which the window takes to pause it.
  const Panel panel = panel_;
  bridge_->Post([panel, done_bytes, total](PanelHost& host, const WindowBridge::Done& done) {
    host.ShowProgress(panel, done_bytes, total);
    done();
  });
}

std::string JobFailureLine(const std::string& path, int error_number) {
  return FailureReasonLine(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())),
                           error_number)
      .toStdString();
}

std::string PanelCallbacks::FailureLine(const std::string& path, int error_number) {
  return JobFailureLine(path, error_number);
}

std::string ToolCallbacks::FailureLine(const std::string& path, int error_number) {
  return JobFailureLine(path, error_number);
}

bool ToolCallbacks::ShakeOption() {
  return bridge_->ShakeOption();
}

void ToolCallbacks::ShakeWindow() {
  bridge_->Call([](PanelHost& host, const WindowBridge::Done& done) { host.StartShake(done); });
}

}  // namespace qarvo::ui
