#include "app/mainfm.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

#include "app/error_text.h"
#include "app/format_size.h"
#include "app/password_dialogs.h"
#include "app/ui_common.h"
#include "hex/window/hex.h"
#include "split/cut_file.h"
#include "split/merger_file.h"

namespace qarvo::ui {

namespace {

const char* const kStartLine1 = "Qarvo文件分割助手  版本1.4  bulid-0310";
const char* const kStartLine2 = "有任何建议请联系我,谢谢!";

}  // namespace

Tmainfm::Tmainfm(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("mainfm"));
  setWindowTitle(QStringLiteral("Qarvo文件分割助手V1.4"));
  setFont(WindowFont());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight);
  // The log exists before the panels, which write their validation lines into it.
  QWidget* log = BuildLog();
  log_ = std::make_unique<MainLog>(Memo1);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(6, 4, 6, 6);
  column->setSpacing(4);
  column->addWidget(BuildSplitPanel());
  column->addWidget(BuildMergePanel());
  column->addWidget(log, 1);
  column->addWidget(BuildBottom());
  setCentralWidget(client);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  bridge_ = std::make_shared<WindowBridge>(this, static_cast<PanelHost*>(this));
  shaker_ = new WindowShaker(this);

  BuildMenus();
  AddStartLines();
  setAcceptDrops(true);
}

Tmainfm::~Tmainfm() {
  ReleaseWorkers();
}

void Tmainfm::SetPasswordDialogs(Tpwdfm* split_password, Tspwd1* pack_password) {
  pwdfm_ = split_password;
  spwd_ = pack_password;
  split_options_->SetPasswordDialog(split_password);
}

ToolContext Tmainfm::MakeToolContext() {
  ToolContext context;
  context.owner = this;
  context.host.log = log_->Sink();
  context.host.callbacks = std::make_shared<ToolCallbacks>(bridge_);
  context.pack_password = spwd_;
  return context;
}

QDialog* Tmainfm::CurrentTool(const QAction* entry) const {
  const auto found = current_tools_.find(entry);
  return found == current_tools_.end() ? nullptr : found->second.data();
}

// ---- building

JobPanel* Tmainfm::BuildSplitPanel() {
  split_ = new JobPanel({.name = "GroupBox1",
                         .title = QStringLiteral("文件分割"),
                         .job = QStringLiteral("文件分割"),
                         .source_label = "StaticText3",
                         .source = "edtcpath",
                         .source_browse = "SpeedButton1",
                         .source_filter = QStringLiteral("任何文件(*)"),
                         .dir_label = "StaticText5",
                         .dir = "edtcdir",
                         .dir_browse = "SpeedButton7",
                         .dir_title = QStringLiteral("选择一个目录,分割的文件将释放到您选择的目录"),
                         .follow = "chkisdir",
                         .follow_caption = QStringLiteral("默认为释放到源文件目录"),
                         .start = "btnstart",
                         .start_caption = QStringLiteral("分割"),
                         .stop = "btnstop",
                         .con = "btncon",
                         .progress = "pbcut",
                         .progress_name = QStringLiteral("分割进度")},
                        *log_, this);
  split_options_ = new SplitOptions(split_, *log_);
  connect(split_->StartButton(), &QPushButton::clicked, this, &Tmainfm::btnstartClick);
  return split_;
}

JobPanel* Tmainfm::BuildMergePanel() {
  merge_ = new JobPanel({.name = "GroupBox2",
                         .title = QStringLiteral("文件合并"),
                         .job = QStringLiteral("文件合并"),
                         .source_label = "StaticText6",
                         .source = "edtmpath",
                         .source_browse = "SpeedButton2",
                         .source_filter = QStringLiteral("vrk文件(*.vrk)"),
                         .dir_label = "StaticText2",
                         .dir = "edtmdir",
                         .dir_browse = "SpeedButton12",
                         .dir_title = QStringLiteral("选择一个目录,合并的文件将释放到您选择的目录"),
                         .follow = "chkismdir",
                         .follow_caption = QStringLiteral("默认释放到分割文件目录"),
                         .start = "btnmstart",
                         .start_caption = QStringLiteral("合并"),
                         .stop = "btnmstop",
                         .con = "btnmcon",
                         .progress = "pbmerge",
                         .progress_name = QStringLiteral("合并进度")},
                        *log_, this);
  QWidget* g = merge_;
  chktruecmp = MakeCheck(g, "chktruecmp", QStringLiteral("即使有校验信息也不校验文件"));
  chkmdelfile = MakeCheck(g, "chkmdelfile", QStringLiteral("合并后删除分割文件"));
  QCheckBox* chkmispwd = MakeCheck(g, "chkmispwd", QStringLiteral("使用密码"));
  edtmpwd = MakeEdit(g, "edtmpwd");
  edtmpwd->setEchoMode(QLineEdit::Password);
  // Its caption is the check box beside it, which a label cannot be buddy of.
  edtmpwd->setAccessibleName(QStringLiteral("密码"));
  ClearWhenUnticked(chkmispwd, edtmpwd);

  auto* options = new QGridLayout;
  options->setHorizontalSpacing(12);
  options->setVerticalSpacing(4);
  options->addWidget(merge_->FollowBox(), 0, 0);
  options->addWidget(chktruecmp, 0, 1);
  options->addWidget(chkmdelfile, 1, 0);
  QHBoxLayout* password = MakeRow({chkmispwd, edtmpwd}, 4, false);
  password->setStretchFactor(edtmpwd, 1);
  options->addLayout(password, 1, 1);
  merge_->Arrange({options});

  connect(merge_->StartButton(), &QPushButton::clicked, this, &Tmainfm::btnmstartClick);
  return merge_;
}

QWidget* Tmainfm::BuildLog() {
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setAccessibleName(QStringLiteral("记录"));

  auto make = [this](const char* name, const QString& caption, QKeySequence keys) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    Memo1->addAction(action);
    return action;
  };
  QAction* copy = make("mnuLogCopy", QStringLiteral("复制"), QKeySequence(Qt::CTRL | Qt::Key_C));
  QAction* select_all =
      make("mnuLogSelectAll", QStringLiteral("全选"), QKeySequence(Qt::CTRL | Qt::Key_A));
  connect(copy, &QAction::triggered, Memo1, &QPlainTextEdit::copy);
  connect(select_all, &QAction::triggered, Memo1, &QPlainTextEdit::selectAll);
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this, [this, copy, select_all](QPoint at) {
    QMenu menu(Memo1);
    menu.addActions({copy, select_all});
    menu.exec(Memo1->viewport()->mapToGlobal(at));
  });
  return Memo1;
}

QWidget* Tmainfm::BuildBottom() {
  auto* bottom = new QWidget(this);
  QPushButton* clear = MakeButton(bottom, "SpeedButton5", QStringLiteral("清空记录"));
  QCheckBox* chkshake = MakeCheck(bottom, "chkshake", QStringLiteral("完成后抖动窗口"));
  CheckBox3 = MakeCheck(bottom, "CheckBox3", QStringLiteral("始终在最前"));
  auto* row = new QHBoxLayout(bottom);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  row->addWidget(clear);
  row->addStretch(1);
  row->addWidget(chkshake);
  row->addWidget(CheckBox3);

  connect(clear, &QPushButton::clicked, this, &Tmainfm::SpeedButton5Click);
  connect(CheckBox3, &QCheckBox::clicked, this, &Tmainfm::CheckBox3Click);
  connect(chkshake, &QCheckBox::toggled, this, [this](bool on) { bridge_->SetShakeOption(on); });
  return bottom;
}

QAction* Tmainfm::AddToolEntry(const char* name, const QString& caption, Factory factory) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (factory != nullptr) {
    connect(action, &QAction::triggered, this,
            [this, action, factory] { OpenTool(action, factory); });
  }
  return action;
}

void Tmainfm::BuildMenus() {
  QAction* mnuMp3 = AddToolEntry("mnuMp3", QStringLiteral("MP3剪辑"), &CreateTmp3fm);
  mnuHex = AddToolEntry("mnuHex", QStringLiteral("文件十六进制查看"), nullptr);
  connect(mnuHex, &QAction::triggered, this, &Tmainfm::OpenHexView);
  tool_entries_ = {mnuHex, AddToolEntry("mnuCmp", QStringLiteral("文件对比"), &CreateTcmpfm),
                   AddToolEntry("mnuAdd", QStringLiteral("文件捆绑"), &CreateTaddfm),
                   AddToolEntry("mnuPack", QStringLiteral("文件打包"), &CreateTsmfm),
                   AddToolEntry("mnuUnpack", QStringLiteral("文件解包"), &CreateTsdfm)};

  QMenu* advanced = menuBar()->addMenu(QStringLiteral("高级分割"));
  advanced->setObjectName(QStringLiteral("mnuAdvanced"));
  advanced->addAction(mnuMp3);
  QMenu* extra = menuBar()->addMenu(QStringLiteral("扩展功能"));
  extra->setObjectName(QStringLiteral("mnuExtra"));
  extra->addActions(tool_entries_);
}

void Tmainfm::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addActions(tool_entries_);
  menu.exec(event->globalPos());
}

void Tmainfm::OpenTool(QAction* entry, Factory factory) {
  QDialog* window = nullptr;
  try {
    window = factory(MakeToolContext());
  } catch (const std::exception& e) {
    ShowHint(this, QStringLiteral("无法打开工具窗口:%1").arg(QString::fromLocal8Bit(e.what())));
    return;
  }
  // Earlier windows of the kind stay owned by the main window until the program ends, as
  // their jobs may still report through them.
  current_tools_[entry] = window;
  window->exec();
}

void Tmainfm::OpenHexView() {
  // A new window for every click; it deletes itself, and the file's bytes, when closed.
  auto* window = new hex::Thexfm(this, &FormatSizeText);
  window->exec();
}

void Tmainfm::AddStartLines() {
  log_->Add(QString::fromUtf8(kStartLine1));
  log_->Add(QString::fromUtf8(kStartLine2));
}

// ---- jobs

// A job that cannot be created (its input cannot be read) is shown in a box; none starts.
void Tmainfm::StartJob(Panel which, const QString& job, const QString& path, const Create& create,
                       const FileErrorText& file_error_text) {
  auto callbacks = std::make_shared<PanelCallbacks>(bridge_, which);
  try {
    std::shared_ptr<WorkerThread> worker = create(callbacks);
    callbacks->SetWorker(worker);
    PanelOf(which)->SetWorker(worker);
  } catch (const FileError& e) {
    ShowHint(this, file_error_text(e));
  } catch (const std::exception& e) {
    ShowHint(this,
             QStringLiteral("无法开始%1“%2”:%3").arg(job, path, QString::fromLocal8Bit(e.what())));
  }
}

void Tmainfm::btnstartClick() {
  if (!split_->CheckSource() || !split_options_->CheckCount() || !split_->CheckDirectory()) {
    return;
  }
  TCWorkInfos info = split_options_->Infos();
  info.Log = log_->Sink();
  const int32_t count = split_options_->Count();
  const QString source = split_->Source()->text();
  const QString dir = split_->Directory()->text();
  bool agreed = false;
  try {
    if (!MayWriteOutputs(this,
                         SplitOutputPaths(ToUtf8(source), count, ToUtf8(dir), info.WriteSums == 1),
                         agreed)) {
      return;
    }
  } catch (const FileError&) {
    // The start below names why the source cannot be read.
  }
  info.Overwrite = agreed ? 1 : 0;
  StartJob(
      Panel::Split, QStringLiteral("分割"), source,
      [&](std::shared_ptr<PanelCallbacks> callbacks) {
        return TCutFile::Create(ToUtf8(source), info, count, ToUtf8(dir), std::move(callbacks));
      },
      [&](const FileError& e) {
        return QStringLiteral("无法开始分割:读不出源文件“%1”的大小。\n原因:%2")
            .arg(source, ReasonText(e.error_number()));
      });
}

void Tmainfm::btnmstartClick() {
  if (!merge_->CheckSource() || !merge_->CheckDirectory()) {
    return;
  }
  TMWorkInfos info;
  info.DeletePieces = chkmdelfile->isChecked() ? 1 : 0;
  info.SkipVerify = chktruecmp->isChecked() ? 1 : 0;
  info.Password = ToUtf8(edtmpwd->text());
  info.Log = log_->Sink();
  const QString piece = merge_->Source()->text();
  const QString dir = merge_->Directory()->text();
  bool agreed = false;
  if (const auto output = MergeOutputPath(ToUtf8(piece), info.Password, ToUtf8(dir));
      output && !MayWriteOutputs(this, {*output}, agreed)) {
    return;
  }
  info.Overwrite = agreed ? 1 : 0;
  StartJob(
      Panel::Merge, QStringLiteral("合并"), piece,
      [&](std::shared_ptr<PanelCallbacks> callbacks) {
        return TMergerFile::Create(ToUtf8(piece), info, ToUtf8(dir), std::move(callbacks));
      },
      [](const FileError& e) {
        return QStringLiteral("无法开始合并“%1”。\n原因:%2")
            .arg(FromUtf8(e.path()), ReasonText(e.error_number()));
      });
}

void Tmainfm::SetPanelBusy(Panel panel, bool busy) {
  PanelOf(panel)->SetBusy(busy);
}

void Tmainfm::ShowProgress(Panel panel, int64_t done, int64_t total) {
  PanelOf(panel)->ShowProgress(done, total);
}

// ---- dropped files

void Tmainfm::DropFiles(const QStringList& names) {
  QString piece;
  QString source;
  for (const QString& name : names) {
    if (name.endsWith(QStringLiteral("vrk"), Qt::CaseSensitive)) {
      piece = name;
    } else {
      source = name;
    }
  }
  if (!piece.isEmpty()) {
    merge_->Source()->setText(piece);
  }
  if (!source.isEmpty()) {
    split_->Source()->setText(source);
  }
}

void Tmainfm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void Tmainfm::dropEvent(QDropEvent* event) {
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      names.push_back(url.toLocalFile());
    }
  }
  if (names.isEmpty()) {
    return;
  }
  event->acceptProposedAction();
  DropFiles(names);
}

// ---- options

void Tmainfm::CheckBox3Click() {
  const bool on = CheckBox3->isChecked();
  const QPoint at = pos();
  const bool was_visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  // Changing the flags hides the window; bring it back where it was.
  if (was_visible) {
    move(at);
    show();
  }
}

void Tmainfm::SpeedButton5Click() {
  log_->Clear();
  AddStartLines();
}

void Tmainfm::StartShake(std::function<void()> finished) {
  if (bridge_->IsShutDown()) {
    finished();
    return;
  }
  shaker_->Shake(std::move(finished));
}

// ---- closing

void Tmainfm::ReleaseWorkers() {
  // Workers waiting on the window go on without it from here; their lines are dropped.
  bridge_->Shutdown();
  shaker_->Stop();
}

bool Tmainfm::ConfirmStopJobs() {
  if (WorkerThread::Running() == 0) {
    return true;
  }
  QMessageBox box(QMessageBox::Question, QStringLiteral("提示"),
                  QStringLiteral("有任务正在进行或已暂停。退出将停止任务并删除未完成的文件,"
                                 "源文件保持不变。\n确定要退出吗?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void Tmainfm::closeEvent(QCloseEvent* event) {
  if (!IsClosing() && !ConfirmStopJobs()) {
    event->ignore();
    return;
  }
  ReleaseWorkers();
  // Closing ends the program: every job stops where it is and discards its temporary files.
  WorkerThread::StopAll();
  WorkerThread::WaitAllFinished(kStopGrace);
  QMainWindow::closeEvent(event);
}

}  // namespace qarvo::ui
