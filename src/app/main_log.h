#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "jobs/job_host.h"

namespace qarvo::ui {

class MainLog;

// The thread-safe side of the log: every Add, from any thread, goes into one locked queue in
// the order of the calls, and the window thread moves the queue into the list. Workers may
// outlive the window; after Detach their lines are dropped.
class LogQueue : public LogSink, public std::enable_shared_from_this<LogQueue> {
 public:
  void Add(const std::string& line) override;
  void AddText(const QString& line);
  // Takes every queued line; called on the window thread only.
  QStringList TakeAll();
  void Attach(MainLog* owner);
  void Detach();

 private:
  void Push(QString line);

  std::mutex mutex_;
  std::deque<QString> lines_;
  MainLog* owner_ = nullptr;
  bool drain_posted_ = false;
};

// The main window's log list `MainLog` around its text control `Memo1`.
class MainLog : public QObject {
  Q_OBJECT

 public:
  explicit MainLog(QPlainTextEdit* memo, QObject* parent = nullptr);
  ~MainLog() override;

  // The sink that workers get.
  std::shared_ptr<LogQueue> Sink() const { return queue_; }

  // A line from the window thread; it lands after every line added before it from any thread.
  void Add(const QString& line);
  // Empties the list; lines still queued from before the call are dropped with it.
  void Clear();
  // The lines now in the list (queued lines are moved in first).
  QStringList Lines();

  // Moves the queued lines into the list. Window thread only.
  void Drain();

 private:
  QPlainTextEdit* memo_;
  std::shared_ptr<LogQueue> queue_;
};

}  // namespace qarvo::ui
