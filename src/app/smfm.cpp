#include "app/smfm.h"

#include <QHeaderView>

#include "app/password_dialogs.h"
#include "app/ui_common.h"
#include "codec/digest.h"
#include "platform/file.h"
#include "tools/pack.h"

namespace qarvo::ui {

namespace {

const QString kUnitButton = QStringLiteral("字节");
const QString kUnitMenu = QStringLiteral("Byte");

}  // namespace

Tsmfm::Tsmfm(const ToolContext& context)
    : ToolForm(context, QStringLiteral("文件打包(多个文件合并到一个文件,本工具可以解包)"), 546,
               444),
      password_dialog_(context.pack_password) {
  BuildList();
  BuildOptions();
  BuildOutput();
  if (password_dialog_ != nullptr) {
    password_dialog_->SetOwnerCheckBox(chkpwd);
  }
  FormCreate();
}

void Tsmfm::BuildList() {
  GroupBox1 = new QGroupBox(QStringLiteral("文件列表"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 4, 530, 264);
  StringGrid1 = new QTableWidget(kInitialRows, 2, GroupBox1);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setGeometry(8, 20, 514, 236);
  StringGrid1->horizontalHeader()->hide();
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setMinimumSectionSize(15);
  StringGrid1->verticalHeader()->setDefaultSectionSize(15);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  N3 = PopupMenu1->addAction(QStringLiteral("清空"));
  N3->setObjectName(QStringLiteral("N3"));
  N2 = PopupMenu1->addAction(QStringLiteral("导入"));
  N2->setObjectName(QStringLiteral("N2"));
  StaticText1 = AddLabel("StaticText1", QString(), 10, 272, 300, 18);

  connect(StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(at));
  });
  connect(N2, &QAction::triggered, this, &Tsmfm::N2Click);
  connect(N3, &QAction::triggered, this, &Tsmfm::N3Click);
}

void Tsmfm::BuildOptions() {
  grp1 = new QGroupBox(QStringLiteral("打包选项"), this);
  grp1->setObjectName(QStringLiteral("grp1"));
  grp1->setGeometry(8, 292, 530, 76);
  chkdel = AddCheck("chkdel", QStringLiteral("打包后删除源文件"), 10, 20, 180, grp1);
  chkpwd = AddCheck("chkpwd", QStringLiteral("加密打包文件------>"), 210, 20, 170, grp1);
  btnpwd = new QPushButton(QStringLiteral("密码设置..."), grp1);
  btnpwd->setObjectName(QStringLiteral("btnpwd"));
  btnpwd->setGeometry(390, 17, 100, 25);
  btnpwd->setAutoDefault(false);
  btnpwd->setEnabled(false);
  chkcmp = AddCheck("chkcmp", QStringLiteral("对每个文件生成校验信息"), 10, 48, 190, grp1);
  rbcrc = AddRadio("rbcrc", QStringLiteral("CRC32校验"), 210, 48, 110, grp1);
  rbmd5 = AddRadio("rbmd5", QStringLiteral("MD5校验"), 330, 48, 110, grp1);
  rbcrc->setChecked(true);
  rbcrc->setEnabled(false);
  rbmd5->setEnabled(false);

  connect(chkcmp, &QCheckBox::clicked, this, &Tsmfm::chkcmpClick);
  // The password dialog's close rule clears the box with a click, which lands here as well.
  connect(chkpwd, &QCheckBox::clicked, this, &Tsmfm::chkpwdClick);
  connect(btnpwd, &QPushButton::clicked, this, &Tsmfm::btnpwdClick);
}

void Tsmfm::BuildOutput() {
  Label1 = AddLabel("Label1", QStringLiteral("输出目录"), 10, 380, 70, 20);
  Edit1 = AddEdit("Edit1", 84, 378, 378, 23);
  SpeedButton4 = AddSpeedButton("SpeedButton4", QStringLiteral("浏览..."), 466, 378, 72, 23);
  lbl1 = AddLabel("lbl1", QStringLiteral("输出文件名"), 10, 412, 72, 20);
  edtfilename = AddEdit("edtfilename", 84, 410, 206, 23);
  edtfilename->setToolTip(
      QStringLiteral("输出文件名长度不能大于50,且只能由英文和数字组成,如123.txt"));
  btn3 = AddButton("btn3", QStringLiteral("导入文件"), 300, 408, 112, 27);
  btn1 = AddButton("btn1", QStringLiteral("开始"), 426, 408, 112, 27);
  btn1->setDefault(true);
  Label1->setBuddy(Edit1);
  lbl1->setBuddy(edtfilename);
  OpenDialog1 = AddOpenDialog("OpenDialog1", QStringLiteral("任何文件(*)"));
  OpenDialog1->setFileMode(QFileDialog::ExistingFiles);

  connect(btn3, &QPushButton::clicked, this, &Tsmfm::btn3Click);
  connect(btn1, &QPushButton::clicked, this, &Tsmfm::btn1Click);
  connect(SpeedButton4, &QToolButton::clicked, this, &Tsmfm::SpeedButton4Click);
  connect(Edit1, &QLineEdit::textChanged, this, &Tsmfm::Edit1Change);
}

Tsmfm::~Tsmfm() = default;

void Tsmfm::FormCreate() {
  SetCell(0, 0, QStringLiteral("文件路径"));
  SetCell(0, 1, QStringLiteral("文件大小"));
  StringGrid1->setColumnWidth(0, 396);
  StringGrid1->setColumnWidth(1, 96);
}

QString Tsmfm::CellText(int row, int column) const {
  const QTableWidgetItem* item = StringGrid1->item(row, column);
  return item != nullptr ? item->text() : QString();
}

void Tsmfm::SetCell(int row, int column, const QString& text) {
  QTableWidgetItem* item = StringGrid1->item(row, column);
  if (item == nullptr) {
    StringGrid1->setItem(row, column, new QTableWidgetItem(text));
  } else {
    item->setText(text);
  }
}

int Tsmfm::FirstEmptyRow(int column) const {
  for (int row = 0; row < StringGrid1->rowCount(); ++row) {
    if (CellText(row, column).isEmpty()) {
      return row;
    }
  }
  return -1;
}

void Tsmfm::AddFiles(const QStringList& files, const QString& unit) {
  if (files.isEmpty()) {
    return;
  }
  StringGrid1->setRowCount(StringGrid1->rowCount() + static_cast<int>(files.size()));
  StaticText1->setText(QStringLiteral("任务总数:") +
                       QString::number(StringGrid1->rowCount() - kInitialRows));
  for (const QString& file : files) {
    int64_t size = 0;
    try {
      size = FileSizeOf(ToUtf8(file));
    } catch (const FileError&) {
      size = 0;
    }
    const int path_row = FirstEmptyRow(0);
    if (path_row >= 0) {
      SetCell(path_row, 0, file);
    }
    const int size_row = FirstEmptyRow(1);
    if (size_row >= 0) {
      SetCell(size_row, 1, QString::number(size) + unit);
    }
  }
}

void Tsmfm::ChooseFiles(const QString& unit) {
  if (OpenDialog1->exec() != QDialog::Accepted) {
    return;
  }
  AddFiles(OpenDialog1->selectedFiles(), unit);
}

void Tsmfm::btn3Click() {
  ChooseFiles(kUnitButton);
}

void Tsmfm::N2Click() {
  ChooseFiles(kUnitMenu);
}

void Tsmfm::N3Click() {
  StringGrid1->clearContents();
  StringGrid1->setRowCount(kInitialRows);
  SetCell(0, 0, QStringLiteral("文件路径"));
  SetCell(0, 1, QStringLiteral("文件大小"));
}

void Tsmfm::SpeedButton4Click() {
  BrowseForFolder(this, QStringLiteral("选择一个目录,打包的文件将释放到您选择的目录"), Edit1);
}

void Tsmfm::Edit1Change(const QString& text) {
  Edit1->setToolTip(text);
}

void Tsmfm::chkcmpClick() {
  const bool on = chkcmp->isChecked();
  rbmd5->setEnabled(on);
  rbcrc->setEnabled(on);
}

void Tsmfm::chkpwdClick(bool checked) {
  if (checked) {
    btnpwd->setEnabled(true);
    if (password_dialog_ != nullptr) {
      password_dialog_->SetOwnerCheckBox(chkpwd);
      password_dialog_->exec();
    }
  } else {
    if (password_dialog_ != nullptr) {
      password_dialog_->ClearPassword();
    }
    btnpwd->setEnabled(false);
  }
}

// Lets the user change the password while protection is on; cancelling keeps the one held.
void Tsmfm::btnpwdClick() {
  if (password_dialog_ != nullptr && chkpwd->isChecked()) {
    password_dialog_->SetOwnerCheckBox(chkpwd);
    password_dialog_->exec();
  }
}

void Tsmfm::btn1Click() {
  const std::string out_dir = ToUtf8(Edit1->text());
  const std::string out_name = ToUtf8(edtfilename->text());
  if (!CheckInputs(
          {{StringGrid1->rowCount() > kInitialRows, QStringLiteral("请先导入文件!")},
           {DirectoryExists(out_dir), QStringLiteral("输出目录不存在!"), Edit1},
           {IsValidOutName(out_name), QStringLiteral("输出文件名不符合格式!"), edtfilename}})) {
    return;
  }
  TSMWorkInfos infos;
  // Row 0 holds the column headers, never a file.
  for (int row = 1; row < StringGrid1->rowCount(); ++row) {
    const std::string path = ToUtf8(CellText(row, 0));
    if (path.empty() || !FileExists(path)) {
      continue;
    }
    int64_t size = 0;
    try {
      size = FileSizeOf(path);
    } catch (const FileError&) {
      continue;
    }
    if (size <= 0) {
      continue;
    }
    QString size_text = CellText(row, 1);
    if (size_text.endsWith(kUnitButton)) {
      size_text.chop(kUnitButton.size());
    } else if (size_text.endsWith(kUnitMenu)) {
      size_text.chop(kUnitMenu.size());
    }
    infos.Paths.push_back(path);
    infos.Sizes.push_back(ToUtf8(size_text));
  }
  infos.DeleteSource = chkdel->isChecked();
  infos.CheckKind = !chkcmp->isChecked() ? ChecksumKind::None
                    : rbcrc->isChecked() ? ChecksumKind::Crc32
                                         : ChecksumKind::Md5;
  infos.OutName = out_name;
  if (chkpwd->isChecked() && password_dialog_ != nullptr) {
    infos.Password = ToUtf8(password_dialog_->Password());
  }
  if (!MayWriteOutputs(this, {PackOutputPath(out_dir, out_name)}, infos.Overwrite)) {
    return;
  }
  StartAndClose([&] { TSMfile::Create(out_dir, infos, Host()); });
}

}  // namespace qarvo::ui
