#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "app/ui_common.h"
#include "jobs/worker.h"

namespace qarvo::ui {

class MainLog;

// Object names and texts of one job panel of the main window; everything else the split and
// merge panels have in common lives in JobPanel.
struct JobPanelTexts {
  const char* name;  // the group box
  QString title;
  QString job;  // prefix of the panel's validation lines, such as "文件分割"
  const char* source_label;
  const char* source;
  const char* source_browse;
  QString source_filter;  // Qt name filter of the open dialog
  const char* dir_label;
  const char* dir;
  const char* dir_browse;
  QString dir_title;  // title of the folder picker
  const char* follow;
  QString follow_caption;
  const char* start;
  QString start_caption;
  const char* stop;
  const char* con;
  const char* progress;
  QString progress_name;  // accessible name of the progress bar
};

// A panel that runs one kind of job: the source file and the output folder with their browse
// buttons, the box that makes the folder follow the source's, the progress bar, and start /
// stop / continue. The main window adds the job's own options and starts the job; the panel
// pauses and continues the worker it was given.
class JobPanel : public QGroupBox {
  Q_OBJECT

 public:
  JobPanel(const JobPanelTexts& texts, MainLog& log, QWidget* parent);

  // Lays the panel out: the two path rows, then `middle`, then the button row led by `lead`.
  void Arrange(std::initializer_list<QLayout*> middle, QWidget* lead = nullptr);

  QLineEdit* Source() const { return source_; }
  QLineEdit* Directory() const { return dir_; }
  // "默认为释放到源文件目录": placed by the caller among the options.
  QCheckBox* FollowBox() const { return follow_; }
  QPushButton* StartButton() const { return start_; }

  // The checks before a start; a failed one logs its line ("文件分割:文件不存在!", ...).
  // A missing source also takes the focus.
  bool CheckSource();
  bool CheckDirectory();

  // The worker started last, for pause and continue.
  void SetWorker(std::weak_ptr<WorkerThread> worker) { worker_ = std::move(worker); }
  std::weak_ptr<WorkerThread> Worker() const { return worker_; }

  // A running job's buttons: start off, stop on; idle: start on, stop off. Continue is off
  // in both, since a job starts and ends unpaused.
  void SetBusy(bool busy);
  void ShowProgress(int64_t done, int64_t total);

 private:
  void FollowSource();
  void FollowToggled(bool on);
  void BrowseSourceClick();
  void BrowseDirectoryClick();
  void StopClick();
  void ContinueClick();

  JobPanelTexts texts_;
  MainLog& log_;
  QLabel* source_label_;
  QLineEdit* source_;
  QPushButton* source_browse_;
  QLabel* dir_label_;
  QLineEdit* dir_;
  QPushButton* dir_browse_;
  QCheckBox* follow_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* con_;
  QProgressBar* progress_;
  std::weak_ptr<WorkerThread> worker_;
};

}  // namespace qarvo::ui
