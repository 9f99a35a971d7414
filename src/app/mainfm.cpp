#include "app/mainfm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>
#include <string>

#include "app/error_text.h"
#include "app/format_size.h"
#include "app/password_dialogs.h"
#include "app/ui_common.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/paths.h"

namespace qarvo::ui {

namespace {

const char* const kStartLine1 = "Qarvo文件分割助手  版本1.4  bulid-0310";
const char* const kStartLine2 = "有任何建议请联系我,谢谢!";
constexpr int kCountDigits = 9;
constexpr int kProgressSteps = 1000;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

QProgressBar* MakeProgress(QWidget* parent, const char* name, const QString& accessible) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setRange(0, kProgressSteps);
  bar->setValue(0);
  bar->setTextVisible(true);
  bar->setFormat(QStringLiteral("%p%"));
  bar->setAccessibleName(accessible);
  bar->setFixedHeight(18);
  return bar;
}

QHBoxLayout* Row(int spacing = 4) {
  auto* row = new QHBoxLayout;
  row->setSpacing(spacing);
  row->setContentsMargins(0, 0, 0, 0);
  return row;
}

bool ExistingFile(const QString& path) {
  return !path.isEmpty() && FileExists(ToUtf8(path));
}

bool ExistingDirectory(const QString& path) {
  return !path.isEmpty() && DirectoryExists(ToUtf8(path));
}

QString DirectoryPart(const QString& path) {
  return FromUtf8(DirectoryOf(ToUtf8(path)));
}

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
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(6, 4, 6, 6);
  column->setSpacing(4);
  column->addWidget(BuildSplitPanel());
  column->addWidget(BuildMergePanel());
  Memo1 = new QPlainTextEdit(client);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setAccessibleName(QStringLiteral("记录"));
  column->addWidget(Memo1, 1);
  column->addWidget(BuildBottom());
  setCentralWidget(client);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  log_ = std::make_unique<MainLog>(Memo1);
  bridge_ = std::make_shared<WindowBridge>(this, this);
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
  if (pwdfm_ != nullptr) {
    pwdfm_->SetOwnerCheckBox(chkpwd);
  }
}

ToolContext Tmainfm::MakeToolContext() {
  ToolContext context;
  context.owner = this;
  context.host.log = log_->Sink();
  context.host.callbacks = std::make_shared<ToolCallbacks>(bridge_);
  context.pack_password = spwd_;
  return context;
}

QWidget* Tmainfm::BuildSplitPanel() {
  GroupBox1 = new QGroupBox(QStringLiteral("文件分割"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  QWidget* g = GroupBox1;

  StaticText3 = MakeLabel(g, "StaticText3", QStringLiteral("源文件"));
  edtcpath = MakeEdit(g, "edtcpath");
  SpeedButton1 = MakeButton(g, "SpeedButton1", QStringLiteral("浏览..."));
  StaticText3->setBuddy(edtcpath);

  StaticText5 = MakeLabel(g, "StaticText5", QStringLiteral("释放到"));
  edtcdir = MakeEdit(g, "edtcdir");
  edtcdir->setEnabled(false);
  SpeedButton7 = MakeButton(g, "SpeedButton7", QStringLiteral("浏览..."));
  SpeedButton7->setEnabled(false);
  StaticText5->setBuddy(edtcdir);

  StaticText7 = MakeLabel(g, "StaticText7", QString());
  txt1 = MakeLabel(g, "txt1", QString());
  // Empty at the start; reserve their line so the panel does not shift when they fill.
  for (QLabel* label : {StaticText7, txt1}) {
    label->setMinimumHeight(label->fontMetrics().height());
  }

  edtcount = MakeEdit(g, "edtcount");
  edtcount->setText(QStringLiteral("3"));
  edtcount->setFixedWidth(72);
  Label1 = MakeLabel(g, "Label1", QStringLiteral("<--分割数量"));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setBuddy(edtcount);
  chkisdir = MakeCheck(g, "chkisdir", QStringLiteral("默认为释放到源文件目录"));
  chkisdir->setChecked(true);

  chkpwd = MakeCheck(g, "chkpwd", QStringLiteral("加密分割文件-->"));
  btnpwd = MakeButton(g, "btnpwd", QStringLiteral("密码设置..."));
  btnpwd->setEnabled(false);
  btnpwd->setFixedWidth(74);
  chkzlib = MakeCheck(g, "chkzlib", QStringLiteral("压缩分割文件"));
  chkzlib->setToolTip(
      QStringLiteral("压缩仅仅是为了保证安全,对安全没要求的不必选择此项,压\n"
                     "缩将使分割变慢,想获得好的压缩效果请使用专业压缩软件"));

  rgmode = new QGroupBox(QStringLiteral("压缩选项"), g);
  rgmode->setObjectName(QStringLiteral("rgmode"));
  rgmode->setEnabled(false);
  rgmodeItems = new QButtonGroup(rgmode);
  auto* modes = new QHBoxLayout(rgmode);
  modes->setContentsMargins(4, 0, 2, 2);
  modes->setSpacing(2);
  const QString mode_names[] = {QStringLiteral("最快"), QStringLiteral("默认"),
                                QStringLiteral("最大比例")};
  for (int level = 1; level <= 3; ++level) {
    auto* item = new QRadioButton(mode_names[level - 1], rgmode);
    item->setObjectName(QStringLiteral("rgmode%1").arg(level));
    rgmodeItems->addButton(item, level);
    modes->addWidget(item);
  }
  rgmodeItems->button(2)->setChecked(true);

  chkccmp = MakeCheck(g, "chkccmp", QStringLiteral("启用文件校验"));
  chkccmp->setToolTip(QStringLiteral("以便合并时检验文件是否和源文件相同"));
  rbmd5 = new QRadioButton(QStringLiteral("MD5校验"), g);
  rbmd5->setObjectName(QStringLiteral("rbmd5"));
  rbmd5->setEnabled(false);
  rbcrc32 = new QRadioButton(QStringLiteral("CRC32校验"), g);
  rbcrc32->setObjectName(QStringLiteral("rbcrc32"));
  rbcrc32->setEnabled(false);
  rbcrc32->setChecked(true);
  auto* checks = new QButtonGroup(g);
  checks->addButton(rbmd5);
  checks->addButton(rbcrc32);

  chkcdelfile = MakeCheck(g, "chkcdelfile", QStringLiteral("分割后删除源文件"));
  btnstart = MakeButton(g, "btnstart", QStringLiteral("分割"));
  btnstop = MakeButton(g, "btnstop", QStringLiteral("停止"));
  btnstop->setEnabled(false);
  btncon = MakeButton(g, "btncon", QStringLiteral("继续"));
  btncon->setEnabled(false);
  pbcut = MakeProgress(g, "pbcut", QStringLiteral("分割进度"));

  auto* grid = new QGridLayout(g);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(StaticText3, 0, 0);
  grid->addWidget(edtcpath, 0, 1);
  grid->addWidget(SpeedButton1, 0, 2);
  grid->addWidget(StaticText5, 1, 0);
  grid->addWidget(edtcdir, 1, 1);
  grid->addWidget(SpeedButton7, 1, 2);

  auto* sizes = Row(16);
  sizes->addWidget(StaticText7);
  sizes->addWidget(txt1);
  sizes->addStretch(1);
  grid->addLayout(sizes, 2, 0, 1, 3);

  // Two columns of options below the paths.
  auto* options = new QGridLayout;
  options->setHorizontalSpacing(8);
  options->setVerticalSpacing(4);
  options->setColumnStretch(1, 1);
  auto* count = Row();
  count->addWidget(edtcount);
  count->addWidget(Label1);
  count->addStretch(1);
  options->addLayout(count, 0, 0);
  options->addWidget(chkisdir, 0, 1);
  auto* password = Row();
  password->addWidget(chkpwd);
  password->addWidget(btnpwd);
  password->addStretch(1);
  options->addLayout(password, 1, 0);
  options->addWidget(chkzlib, 1, 1);
  auto* check = Row(10);
  check->addWidget(chkccmp);
  check->addStretch(1);
  options->addLayout(check, 2, 0);
  auto* check_kinds = Row(10);
  check_kinds->addWidget(rbmd5);
  check_kinds->addWidget(rbcrc32);
  check_kinds->addStretch(1);
  options->addLayout(check_kinds, 3, 0);
  options->addWidget(rgmode, 2, 1, 2, 1);
  grid->addLayout(options, 3, 0, 1, 3);

  auto* actions = Row();
  actions->addWidget(chkcdelfile);
  actions->addWidget(pbcut, 1);
  actions->addWidget(btnstart);
  actions->addWidget(btnstop);
  actions->addWidget(btncon);
  grid->addLayout(actions, 4, 0, 1, 3);

  for (QPushButton* b : {btnstart, btnstop, btncon}) {
    b->setFixedWidth(52);
  }
  for (QPushButton* b : {SpeedButton1, SpeedButton7}) {
    b->setFixedWidth(64);
  }

  connect(btnstart, &QPushButton::clicked, this, &Tmainfm::btnstartClick);
  connect(btnstop, &QPushButton::clicked, this, &Tmainfm::btnstopClick);
  connect(btncon, &QPushButton::clicked, this, &Tmainfm::btnconClick);
  connect(edtcpath, &QLineEdit::textChanged, this, &Tmainfm::edtcpathChange);
  connect(edtcount, &QLineEdit::textChanged, this, &Tmainfm::edtcountChange);
  connect(chkisdir, &QCheckBox::clicked, this, &Tmainfm::chkisdirClick);
  connect(SpeedButton1, &QPushButton::clicked, this, &Tmainfm::SpeedButton1Click);
  connect(SpeedButton7, &QPushButton::clicked, this, &Tmainfm::SpeedButton7Click);
  connect(chkpwd, &QCheckBox::clicked, this, &Tmainfm::chkpwdClick);
  connect(btnpwd, &QPushButton::clicked, this, &Tmainfm::btnpwdClick);
  connect(chkzlib, &QCheckBox::clicked, this, &Tmainfm::chkzlibClick);
  connect(chkccmp, &QCheckBox::clicked, this, &Tmainfm::chkccmpClick);
  return GroupBox1;
}

QWidget* Tmainfm::BuildMergePanel() {
  GroupBox2 = new QGroupBox(QStringLiteral("文件合并"), this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  QWidget* g = GroupBox2;

  StaticText6 = MakeLabel(g, "StaticText6", QStringLiteral("源文件"));
  edtmpath = MakeEdit(g, "edtmpath");
  SpeedButton2 = MakeButton(g, "SpeedButton2", QStringLiteral("浏览..."));
  StaticText6->setBuddy(edtmpath);
  StaticText2 = MakeLabel(g, "StaticText2", QStringLiteral("释放到"));
  edtmdir = MakeEdit(g, "edtmdir");
  edtmdir->setEnabled(false);
  SpeedButton12 = MakeButton(g, "SpeedButton12", QStringLiteral("浏览..."));
  SpeedButton12->setEnabled(false);
  StaticText2->setBuddy(edtmdir);

  chkismdir = MakeCheck(g, "chkismdir", QStringLiteral("默认释放到分割文件目录"));
  chkismdir->setChecked(true);
  chktruecmp = MakeCheck(g, "chktruecmp", QStringLiteral("即使有校验信息也不校验文件"));
  chkmdelfile = MakeCheck(g, "chkmdelfile", QStringLiteral("合并后删除分割文件"));
  chkmispwd = MakeCheck(g, "chkmispwd", QStringLiteral("使用密码"));
  edtmpwd = MakeEdit(g, "edtmpwd");
  edtmpwd->setEchoMode(QLineEdit::Password);
  // Its caption is the check box beside it, which a label cannot be buddy of.
  edtmpwd->setAccessibleName(QStringLiteral("密码"));
  btnmstart = MakeButton(g, "btnmstart", QStringLiteral("合并"));
  btnmstop = MakeButton(g, "btnmstop", QStringLiteral("停止"));
  btnmstop->setEnabled(false);
  btnmcon = MakeButton(g, "btnmcon", QStringLiteral("继续"));
  btnmcon->setEnabled(false);
  pbmerge = MakeProgress(g, "pbmerge", QStringLiteral("合并进度"));
  for (QPushButton* b : {btnmstart, btnmstop, btnmcon}) {
    b->setFixedWidth(52);
  }
  for (QPushButton* b : {SpeedButton2, SpeedButton12}) {
    b->setFixedWidth(64);
  }

  auto* grid = new QGridLayout(g);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(StaticText6, 0, 0);
  grid->addWidget(edtmpath, 0, 1);
  grid->addWidget(SpeedButton2, 0, 2);
  grid->addWidget(StaticText2, 1, 0);
  grid->addWidget(edtmdir, 1, 1);
  grid->addWidget(SpeedButton12, 1, 2);

  auto* options = new QGridLayout;
  options->setHorizontalSpacing(12);
  options->setVerticalSpacing(4);
  options->addWidget(chkismdir, 0, 0);
  options->addWidget(chktruecmp, 0, 1);
  options->addWidget(chkmdelfile, 1, 0);
  auto* password = Row();
  password->addWidget(chkmispwd);
  password->addWidget(edtmpwd, 1);
  options->addLayout(password, 1, 1);
  grid->addLayout(options, 2, 0, 1, 3);

  auto* actions = Row();
  actions->addWidget(pbmerge, 1);
  actions->addWidget(btnmstart);
  actions->addWidget(btnmstop);
  actions->addWidget(btnmcon);
  grid->addLayout(actions, 3, 0, 1, 3);

  connect(btnmstart, &QPushButton::clicked, this, &Tmainfm::btnmstartClick);
  connect(btnmstop, &QPushButton::clicked, this, &Tmainfm::btnmstopClick);
  connect(btnmcon, &QPushButton::clicked, this, &Tmainfm::btnmconClick);
  connect(edtmpath, &QLineEdit::textChanged, this, &Tmainfm::edtmpathChange);
  connect(chkismdir, &QCheckBox::clicked, this, &Tmainfm::chkismdirClick);
  connect(SpeedButton2, &QPushButton::clicked, this, &Tmainfm::SpeedButton2Click);
  connect(SpeedButton12, &QPushButton::clicked, this, &Tmainfm::SpeedButton12Click);
  connect(chkmispwd, &QCheckBox::clicked, this, &Tmainfm::chkmispwdClick);
  return GroupBox2;
}

QWidget* Tmainfm::BuildBottom() {
  auto* bottom = new QWidget(this);
  SpeedButton5 = MakeButton(bottom, "SpeedButton5", QStringLiteral("清空记录"));
  chkshake = MakeCheck(bottom, "chkshake", QStringLiteral("完成后抖动窗口"));
  CheckBox3 = MakeCheck(bottom, "CheckBox3", QStringLiteral("始终在最前"));
  auto* row = new QHBoxLayout(bottom);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  row->addWidget(SpeedButton5);
  row->addStretch(1);
  row->addWidget(chkshake);
  row->addWidget(CheckBox3);

  connect(SpeedButton5, &QPushButton::clicked, this, &Tmainfm::SpeedButton5Click);
  connect(CheckBox3, &QCheckBox::clicked, this, &Tmainfm::CheckBox3Click);
  connect(chkshake, &QCheckBox::toggled, this, [this](bool on) { bridge_->SetShakeOption(on); });
  return bottom;
}

void Tmainfm::BuildMenus() {
  auto make = [this](const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  mnuMp3 = make("mnuMp3", QStringLiteral("MP3剪辑"));
  mnuHex = make("mnuHex", QStringLiteral("文件十六进制查看"));
  mnuCmp = make("mnuCmp", QStringLiteral("文件对比"));
  mnuAdd = make("mnuAdd", QStringLiteral("文件捆绑"));
  mnuPack = make("mnuPack", QStringLiteral("文件打包"));
  mnuUnpack = make("mnuUnpack", QStringLiteral("文件解包"));

  // The hex viewer is not part of this program yet.
  mnuHex->setEnabled(false);

  QMenu* advanced = menuBar()->addMenu(QStringLiteral("高级分割"));
  advanced->setObjectName(QStringLiteral("mnuAdvanced"));
  advanced->addAction(mnuMp3);
  QMenu* extra = menuBar()->addMenu(QStringLiteral("扩展功能"));
  extra->setObjectName(QStringLiteral("mnuExtra"));
  extra->addActions({mnuHex, mnuCmp, mnuAdd, mnuPack, mnuUnpack});

  connect(mnuMp3, &QAction::triggered, this, [this] { OpenTool(&CreateTmp3fm, Mp3Window); });
  connect(mnuCmp, &QAction::triggered, this, [this] { OpenTool(&CreateTcmpfm, CmpWindow); });
  connect(mnuAdd, &QAction::triggered, this, [this] { OpenTool(&CreateTaddfm, AddWindow); });
  connect(mnuPack, &QAction::triggered, this, [this] { OpenTool(&CreateTsmfm, PackWindow); });
  connect(mnuUnpack, &QAction::triggered, this, [this] { OpenTool(&CreateTsdfm, UnpackWindow); });

  mnuLogCopy = make("mnuLogCopy", QStringLiteral("复制"));
  mnuLogCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  mnuLogCopy->setShortcutContext(Qt::WidgetShortcut);
  mnuLogSelectAll = make("mnuLogSelectAll", QStringLiteral("全选"));
  mnuLogSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  mnuLogSelectAll->setShortcutContext(Qt::WidgetShortcut);
  Memo1->addAction(mnuLogCopy);
  Memo1->addAction(mnuLogSelectAll);
  connect(mnuLogCopy, &QAction::triggered, Memo1, &QPlainTextEdit::copy);
  connect(mnuLogSelectAll, &QAction::triggered, Memo1, &QPlainTextEdit::selectAll);
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(Memo1);
    menu.addAction(mnuLogCopy);
    menu.addAction(mnuLogSelectAll);
    menu.exec(Memo1->viewport()->mapToGlobal(at));
  });
}

void Tmainfm::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addActions({mnuHex, mnuCmp, mnuAdd, mnuPack, mnuUnpack});
  menu.exec(event->globalPos());
}

void Tmainfm::OpenTool(QDialog* (*factory)(const ToolContext&), QPointer<QDialog>& current) {
  QDialog* window = nullptr;
  try {
    window = factory(MakeToolContext());
  } catch (const std::exception& e) {
    ShowError(QStringLiteral("无法打开工具窗口:%1").arg(QString::fromLocal8Bit(e.what())));
    return;
  }
  // Earlier windows of the kind stay owned by the main window until the program ends, as
  // their jobs may still report through them.
  current = window;
  window->exec();
}

void Tmainfm::AddStartLines() {
  log_->Add(QString::fromUtf8(kStartLine1));
  log_->Add(QString::fromUtf8(kStartLine2));
}

void Tmainfm::ShowError(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), text, QMessageBox::Ok, this);
  box.exec();
}

// ---- jobs

void Tmainfm::btnstartClick() {
  const QString source = edtcpath->text();
  if (!ExistingFile(source)) {
    log_->Add(QStringLiteral("文件分割:文件不存在!"));
    edtcpath->setFocus();
    return;
  }
  const std::string count_text = ToUtf8(edtcount->text());
  if (!IsAllDigits(count_text)) {
    log_->Add(QStringLiteral("文件分割:请输入正确的分割数量!"));
    edtcount->setFocus();
    return;
  }
  const QString dir = edtcdir->text();
  if (!ExistingDirectory(dir)) {
    log_->Add(QStringLiteral("文件分割:目录不存在!"));
    return;
  }

  TCWorkInfos info;
  info.DeleteSource = chkcdelfile->isChecked() ? 1 : 0;
  info.Compress = chkzlib->isChecked() ? 1 : 0;
  info.Level = static_cast<uint8_t>(rgmodeItems->checkedId() > 0 ? rgmodeItems->checkedId() : 2);
  info.CheckKind = 0;
  if (chkccmp->isChecked()) {
    info.CheckKind = rbmd5->isChecked() ? 1 : (rbcrc32->isChecked() ? 2 : 0);
  }
  if (chkpwd->isChecked() && pwdfm_ != nullptr && !pwdfm_->Password().isEmpty()) {
    info.Password = ToUtf8(pwdfm_->Password());
  }
  info.Log = log_->Sink();
  // At most nine digits, so the count fits.
  const auto count = static_cast<int32_t>(std::stol(count_text.substr(0, kCountDigits)));

  auto callbacks = std::make_shared<PanelCallbacks>(bridge_, Panel::Split);
  try {
    auto worker = TCutFile::Create(ToUtf8(source), info, count, ToUtf8(dir), callbacks);
    callbacks->SetWorker(worker);
    CutWorker = worker;
  } catch (const FileError& e) {
    ShowError(QStringLiteral("无法开始分割:读不出源文件“%1”的大小。\n原因:%2")
                  .arg(source, ReasonText(e.error_number())));
  } catch (const std::exception& e) {
    ShowError(QStringLiteral("无法开始分割“%1”:%2").arg(source, QString::fromLocal8Bit(e.what())));
  }
}

void Tmainfm::btnmstartClick() {
  const QString piece = edtmpath->text();
  if (!ExistingFile(piece)) {
    log_->Add(QStringLiteral("文件合并:文件不存在!"));
    edtmpath->setFocus();
    return;
  }
  const QString dir = edtmdir->text();
  if (!ExistingDirectory(dir)) {
    log_->Add(QStringLiteral("文件合并:目录不存在!"));
    return;
  }

  TMWorkInfos info;
  info.DeletePieces = chkmdelfile->isChecked() ? 1 : 0;
  info.SkipVerify = chktruecmp->isChecked() ? 1 : 0;
  info.Password = ToUtf8(edtmpwd->text());
  info.Log = log_->Sink();

  auto callbacks = std::make_shared<PanelCallbacks>(bridge_, Panel::Merge);
  try {
    auto worker = TMergerFile::Create(ToUtf8(piece), info, ToUtf8(dir), callbacks);
    callbacks->SetWorker(worker);
    MergeWorker = worker;
  } catch (const FileError& e) {
    ShowError(QStringLiteral("无法开始合并“%1”。\n原因:%2")
                  .arg(FromUtf8(e.path()), ReasonText(e.error_number())));
  } catch (const std::exception& e) {
    ShowError(QStringLiteral("无法开始合并“%1”:%2").arg(piece, QString::fromLocal8Bit(e.what())));
  }
}

void Tmainfm::btnstopClick() {
  if (auto worker = CutWorker.lock()) {
    worker->Pause();
  }
  log_->Add(QStringLiteral("文件分割被停止!"));
  btncon->setEnabled(true);
  btnstop->setEnabled(false);
}

void Tmainfm::btnconClick() {
  // The line goes first, so that the job's next lines follow it.
  log_->Add(QStringLiteral("继续文件分割..."));
  if (auto worker = CutWorker.lock()) {
    worker->Continue();
  }
  btncon->setEnabled(false);
  btnstop->setEnabled(true);
}

void Tmainfm::btnmstopClick() {
  if (auto worker = MergeWorker.lock()) {
    worker->Pause();
  }
  log_->Add(QStringLiteral("文件合并被停止!"));
  btnmcon->setEnabled(true);
  btnmstop->setEnabled(false);
}

void Tmainfm::btnmconClick() {
  // The line goes first, so that the job's next lines follow it.
  log_->Add(QStringLiteral("继续文件合并..."));
  if (auto worker = MergeWorker.lock()) {
    worker->Continue();
  }
  btnmcon->setEnabled(false);
  btnmstop->setEnabled(true);
}

void Tmainfm::SetPanelBusy(Panel panel, bool busy) {
  if (panel == Panel::Split) {
    btnstart->setEnabled(!busy);
    btnstop->setEnabled(busy);
    btncon->setEnabled(false);
    if (busy) {
      pbcut->setValue(0);
    }
  } else {
    btnmstart->setEnabled(!busy);
    btnmstop->setEnabled(busy);
    btnmcon->setEnabled(false);
    if (busy) {
      pbmerge->setValue(0);
    }
  }
}

void Tmainfm::ShowProgress(Panel panel, int64_t done, int64_t total) {
  int value = kProgressSteps;
  if (total > 0 && done < total) {
    value =
        static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * kProgressSteps);
  }
  (panel == Panel::Split ? pbcut : pbmerge)->setValue(value);
}

// ---- paths and sizes

void Tmainfm::edtcpathChange() {
  if (chkisdir->isChecked()) {
    const QString dir = DirectoryPart(edtcpath->text());
    edtcdir->setText(dir);
    edtcdir->setToolTip(dir);
  }
  UpdateSizeLabels();
}

void Tmainfm::edtcountChange() {
  const QString text = edtcount->text();
  if (text.size() > kCountDigits) {
    // Runs this handler again with the cut text, which updates the labels.
    edtcount->setText(text.left(kCountDigits));
    return;
  }
  UpdateSizeLabels();
}

void Tmainfm::edtmpathChange() {
  if (chkismdir->isChecked()) {
    edtmdir->setText(DirectoryPart(edtmpath->text()));
  }
}

void Tmainfm::chkisdirClick() {
  const bool follow = chkisdir->isChecked();
  edtcdir->setEnabled(!follow);
  SpeedButton7->setEnabled(!follow);
  if (follow && ExistingFile(edtcpath->text())) {
    const QString dir = DirectoryPart(edtcpath->text());
    edtcdir->setText(dir);
    edtcdir->setToolTip(dir);
  }
}

void Tmainfm::chkismdirClick() {
  const bool follow = chkismdir->isChecked();
  edtmdir->setEnabled(!follow);
  SpeedButton12->setEnabled(!follow);
  if (follow && ExistingFile(edtmpath->text())) {
    const QString dir = DirectoryPart(edtmpath->text());
    edtmdir->setText(dir);
    edtmdir->setToolTip(dir);
  }
}

void Tmainfm::UpdateSizeLabels() {
  const QString path = edtcpath->text();
  if (!ExistingFile(path)) {
    return;
  }
  int64_t size = 0;
  try {
    File file(ToUtf8(path), OpenMode::Read, Share::Exclusive);
    size = file.Size();
    file.Close();
  } catch (const FileError& e) {
    ShowError(QStringLiteral("无法打开文件“%1”,读不出它的大小。\n原因:%2")
                  .arg(path, ReasonText(e.error_number())));
    return;
  }
  StaticText7->setText(QStringLiteral("源文件大小:") + FormatSizeText(size));
  const std::string count_text = ToUtf8(edtcount->text());
  if (!IsAllDigits(count_text)) {
    return;
  }
  const int64_t count = std::stoll(count_text.substr(0, kCountDigits));
  if (count == 0) {
    // No piece size to estimate; the split itself refuses the count.
    txt1->setText(QStringLiteral("估计分割后大小:-"));
    return;
  }
  txt1->setText(QStringLiteral("估计分割后大小:") +
                FormatSizeText(size / count + static_cast<int64_t>(kHeaderTrailerSize)));
}

void Tmainfm::SpeedButton1Click() {
  const QString file =
      QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("任何文件(*)"));
  if (file.isEmpty()) {
    return;
  }
  edtcpath->setText(file);
  edtcpath->setToolTip(file);
}

void Tmainfm::SpeedButton2Click() {
  const QString file =
      QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("vrk文件(*.vrk)"));
  if (file.isEmpty()) {
    return;
  }
  edtmpath->setText(file);
  edtmpath->setToolTip(file);
}

namespace {

QString BrowseForFolder(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(
      owner, title, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
      QFileDialog::ShowDirsOnly);
}

}  // namespace

void Tmainfm::SpeedButton7Click() {
  const QString dir =
      BrowseForFolder(this, QStringLiteral("选择一个目录,分割的文件将释放到您选择的目录"));
  if (!dir.isEmpty()) {
    edtcdir->setText(dir);
  }
}

void Tmainfm::SpeedButton12Click() {
  const QString dir =
      BrowseForFolder(this, QStringLiteral("选择一个目录,合并的文件将释放到您选择的目录"));
  if (!dir.isEmpty()) {
    edtmdir->setText(dir);
  }
}

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
    edtmpath->setText(piece);
  }
  if (!source.isEmpty()) {
    edtcpath->setText(source);
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

void Tmainfm::chkpwdClick() {
  if (chkpwd->isChecked()) {
    btnpwd->setEnabled(true);
    if (pwdfm_ != nullptr) {
      pwdfm_->exec();
    }
  } else {
    if (pwdfm_ != nullptr) {
      pwdfm_->ClearPassword();
    }
    btnpwd->setEnabled(false);
  }
}

void Tmainfm::btnpwdClick() {
  if (pwdfm_ != nullptr) {
    pwdfm_->exec();
  }
}

void Tmainfm::chkzlibClick() {
  rgmode->setEnabled(chkzlib->isChecked());
}

void Tmainfm::chkccmpClick() {
  rbmd5->setEnabled(chkccmp->isChecked());
  rbcrc32->setEnabled(chkccmp->isChecked());
}

void Tmainfm::chkmispwdClick() {
  if (chkmispwd->isChecked()) {
    edtmpwd->setEnabled(true);
  } else {
    edtmpwd->setEnabled(false);
    edtmpwd->clear();
  }
}

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

void Tmainfm::ShakeWindow() {
  StartShake([] {});
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

void Tmainfm::closeEvent(QCloseEvent* event) {
  ReleaseWorkers();
  QMainWindow::closeEvent(event);
}

}  // namespace qarvo::ui
