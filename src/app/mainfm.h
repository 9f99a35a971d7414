#pragma once

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringList>

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "app/job_panel.h"
#include "app/main_log.h"
#include "app/split_options.h"
#include "app/tool_windows.h"
#include "app/window_bridge.h"
#include "app/window_shaker.h"
#include "platform/file.h"

namespace qarvo::ui {

class Tpwdfm;
class Tspwd1;

// The main window: the split and merge panels, the log list and the tool menus. Tests and
// helpers reach the controls by their object names (`findChild`).
class Tmainfm : public QMainWindow, private PanelHost {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 417;
  static constexpr int kClientHeight = 539;
  // How long closing waits for stopped jobs to discard their temporary files.
  static constexpr std::chrono::milliseconds kStopGrace{1500};

  explicit Tmainfm(QWidget* parent = nullptr);
  ~Tmainfm() override;

  // The dialogs that live for the whole run; the main window does not own them.
  void SetPasswordDialogs(Tpwdfm* split_password, Tspwd1* pack_password);

  MainLog& Log() { return *log_; }
  // What a tool window gets: the log, the shake and the pack password dialog.
  ToolContext MakeToolContext();
  // Whether the workers' waits on this window have been released for good.
  bool IsClosing() const { return bridge_->IsShutDown(); }
  bool IsShaking() const { return shaker_->IsShaking(); }

  // The workers started last by the split and the merge panel, for pause and continue.
  std::weak_ptr<WorkerThread> CutWorker() const { return split_->Worker(); }
  std::weak_ptr<WorkerThread> MergeWorker() const { return merge_->Worker(); }
  // The current window of the tool behind the menu entry `entry`, if one was opened.
  QDialog* CurrentTool(const QAction* entry) const;

  // Files dropped from the file manager (or given to the program), in the order given:
  // "...vrk" names go to the merge panel, the others to the split panel.
  void DropFiles(const QStringList& names);

  // "文件十六进制查看"; off until the hex viewer is part of the program.
  QAction* mnuHex = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private slots:
  void btnstartClick();
  void btnmstartClick();
  void CheckBox3Click();
  void SpeedButton5Click();

 private:
  using Factory = QDialog* (*)(const ToolContext&);
  using Create = std::function<std::shared_ptr<WorkerThread>(std::shared_ptr<PanelCallbacks>)>;
  using FileErrorText = std::function<QString(const FileError&)>;

  // PanelHost, on the window thread.
  void SetPanelBusy(Panel panel, bool busy) override;
  void ShowProgress(Panel panel, int64_t done, int64_t total) override;
  void StartShake(std::function<void()> finished) override;

  JobPanel* BuildSplitPanel();
  JobPanel* BuildMergePanel();
  QWidget* BuildLog();
  QWidget* BuildBottom();
  void BuildMenus();
  QAction* AddToolEntry(const char* name, const QString& caption, Factory factory);
  void AddStartLines();
  void StartJob(Panel which, const QString& job, const QString& path, const Create& create,
                const FileErrorText& file_error_text);
  void ReleaseWorkers();
  // Whether the user goes on with closing while jobs run or are paused; true when none does.
  bool ConfirmStopJobs();
  void OpenTool(QAction* entry, Factory factory);
  void OpenHexView();
  JobPanel* PanelOf(Panel panel) const { return panel == Panel::Split ? split_ : merge_; }

  std::unique_ptr<MainLog> log_;
  std::shared_ptr<WindowBridge> bridge_;
  WindowShaker* shaker_ = nullptr;
  Tpwdfm* pwdfm_ = nullptr;
  Tspwd1* spwd_ = nullptr;

  JobPanel* split_ = nullptr;
  JobPanel* merge_ = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  SplitOptions* split_options_ = nullptr;

  // Merge options.
  QCheckBox* chktruecmp = nullptr;
  QCheckBox* chkmdelfile = nullptr;
  QLineEdit* edtmpwd = nullptr;

  QCheckBox* CheckBox3 = nullptr;  // "始终在最前"

  // The entries of "扩展功能", repeated by the window's context menu.
  QList<QAction*> tool_entries_;
  // The current tool window of each entry.
  std::map<const QAction*, QPointer<QDialog>> current_tools_;
};

}  // namespace qarvo::ui
