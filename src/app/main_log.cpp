#include "app/main_log.h"

#include <QMetaObject>
#include <QScrollBar>
#include <QTextBlock>
#include <QThread>

#include <utility>

namespace qarvo::ui {

void LogQueue::Add(const std::string& line) {
  Push(QString::fromStdString(line));
}

void LogQueue::AddText(const QString& line) {
  Push(line);
}

void LogQueue::Push(QString line) {
  MainLog* drain_now = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ == nullptr) {
      return;
    }
    lines_.push_back(std::move(line));
    if (QThread::currentThread() == owner_->thread()) {
      drain_now = owner_;
    } else if (!drain_posted_) {
      drain_posted_ = true;
      // Posting under the lock: Detach takes the same lock before the owner goes away.
      MainLog* owner = owner_;
      QMetaObject::invokeMethod(
          owner, [owner] { owner->Drain(); }, Qt::QueuedConnection);
    }
  }
  if (drain_now != nullptr) {
    drain_now->Drain();
  }
}

QStringList LogQueue::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  drain_posted_ = false;
  QStringList taken;
  taken.reserve(static_cast<qsizetype>(lines_.size()));
  for (auto& line : lines_) {
    taken.push_back(std::move(line));
  }
  lines_.clear();
  return taken;
}

void LogQueue::Attach(MainLog* owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  owner_ = owner;
}

void LogQueue::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  owner_ = nullptr;
  lines_.clear();
}

MainLog::MainLog(QPlainTextEdit* memo, QObject* parent)
    : QObject(parent), memo_(memo), queue_(std::make_shared<LogQueue>()) {
  queue_->Attach(this);
}

MainLog::~MainLog() {
  queue_->Detach();
}

void MainLog::Add(const QString& line) {
  queue_->AddText(line);
}

void MainLog::Drain() {
  const QStringList lines = queue_->TakeAll();
  if (lines.isEmpty()) {
    return;
  }
  // One append per call keeps the list's own scrolling: it follows the end only when the user
  // has not scrolled up.
  memo_->appendPlainText(lines.join(QLatin1Char('\n')));
}

void MainLog::Clear() {
  queue_->TakeAll();
  memo_->clear();
}

QStringList MainLog::Lines() {
  Drain();
  QStringList lines;
  if (memo_->document()->isEmpty()) {
    return lines;
  }
  for (QTextBlock block = memo_->document()->begin(); block.isValid(); block = block.next()) {
    lines.push_back(block.text());
  }
  return lines;
}

}  // namespace qarvo::ui
