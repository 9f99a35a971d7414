#pragma once

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include <memory>

#include "app/main_log.h"
#include "app/tool_windows.h"
#include "app/window_bridge.h"
#include "app/window_shaker.h"
#include "split/cut_file.h"
#include "split/merger_file.h"

namespace qarvo::ui {

class Tpwdfm;
class Tspwd1;

// The main window: the split and merge panels, the log list and the tool menus.
class Tmainfm : public QMainWindow, public PanelHost {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 417;
  static constexpr int kClientHeight = 539;

  explicit Tmainfm(QWidget* parent = nullptr);
  ~Tmainfm() override;

  // The dialogs that live for the whole run; the main window does not own them.
  void SetPasswordDialogs(Tpwdfm* split_password, Tspwd1* pack_password);
  Tpwdfm* SplitPasswordDialog() const { return pwdfm_; }

  MainLog& Log() { return *log_; }
  // What a tool window gets: the log, the shake and the pack password dialog.
  ToolContext MakeToolContext();
  // Whether the workers' waits on this window have been released for good.
  bool IsClosing() const { return bridge_->IsShutDown(); }
  bool IsShaking() const { return shaker_->IsShaking(); }

  // Split panel.
  QGroupBox* GroupBox1;
  QLabel* StaticText3;
  QLineEdit* edtcpath;
  QPushButton* SpeedButton1;
  QLabel* StaticText5;
  QLineEdit* edtcdir;
  QPushButton* SpeedButton7;
  QLabel* StaticText7;
  QLabel* txt1;
  QLineEdit* edtcount;
  QLabel* Label1;
  QCheckBox* chkisdir;
  QCheckBox* chkpwd;
  QPushButton* btnpwd;
  QCheckBox* chkzlib;
  QGroupBox* rgmode;
  QButtonGroup* rgmodeItems;  // ids 1 "最快", 2 "默认", 3 "最大比例": the compression level
  QCheckBox* chkccmp;
  QRadioButton* rbmd5;
  QRadioButton* rbcrc32;
  QCheckBox* chkcdelfile;
  QPushButton* btnstart;
  QPushButton* btnstop;
  QPushButton* btncon;
  QProgressBar* pbcut;

  // Merge panel.
  QGroupBox* GroupBox2;
  QLabel* StaticText6;
  QLineEdit* edtmpath;
  QPushButton* SpeedButton2;
  QLabel* StaticText2;
  QLineEdit* edtmdir;
  QPushButton* SpeedButton12;
  QCheckBox* chkismdir;
  QCheckBox* chktruecmp;
  QCheckBox* chkmdelfile;
  QCheckBox* chkmispwd;
  QLineEdit* edtmpwd;
  QPushButton* btnmstart;
  QPushButton* btnmstop;
  QPushButton* btnmcon;
  QProgressBar* pbmerge;

  // Bottom of the window.
  QPlainTextEdit* Memo1;
  QPushButton* SpeedButton5;
  QCheckBox* chkshake;
  QCheckBox* CheckBox3;

  // Menus; the window's context menu repeats the five entries of "扩展功能".
  QAction* mnuMp3;
  QAction* mnuHex;
  QAction* mnuCmp;
  QAction* mnuAdd;
  QAction* mnuPack;
  QAction* mnuUnpack;
  // MainLog's context menu.
  QAction* mnuLogCopy;
  QAction* mnuLogSelectAll;

  // The workers started last, for pause and continue.
  std::weak_ptr<TCutFile> CutWorker;
  std::weak_ptr<TMergerFile> MergeWorker;

  // The current tool window of each kind.
  QPointer<QDialog> Mp3Window;
  QPointer<QDialog> CmpWindow;
  QPointer<QDialog> AddWindow;
  QPointer<QDialog> PackWindow;
  QPointer<QDialog> UnpackWindow;

  // PanelHost, on the window thread.
  void SetPanelBusy(Panel panel, bool busy) override;
  void ShowProgress(Panel panel, int64_t done, int64_t total) override;
  void StartShake(std::function<void()> finished) override;

  // Files dropped from the file manager, in the order given.
  void DropFiles(const QStringList& names);

 public slots:
  void btnstartClick();
  void btnstopClick();
  void btnconClick();
  void btnmstartClick();
  void btnmstopClick();
  void btnmconClick();
  void edtcpathChange();
  void edtcountChange();
  void edtmpathChange();
  void chkisdirClick();
  void chkismdirClick();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton7Click();
  void SpeedButton12Click();
  void chkpwdClick();
  void btnpwdClick();
  void chkzlibClick();
  void chkccmpClick();
  void chkmispwdClick();
  void CheckBox3Click();
  void SpeedButton5Click();
  void UpdateSizeLabels();
  void ShakeWindow();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* BuildSplitPanel();
  QWidget* BuildMergePanel();
  QWidget* BuildBottom();
  void BuildMenus();
  void AddStartLines();
  void ReleaseWorkers();
  void OpenTool(QDialog* (*factory)(const ToolContext&), QPointer<QDialog>& current);
  void ShowError(const QString& text);

  std::unique_ptr<MainLog> log_;
  std::shared_ptr<WindowBridge> bridge_;
  WindowShaker* shaker_;
  Tpwdfm* pwdfm_ = nullptr;
  Tspwd1* spwd_ = nullptr;
};

}  // namespace qarvo::ui
