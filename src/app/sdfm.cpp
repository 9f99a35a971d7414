#include "app/sdfm.h"

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/unpack.h"

namespace qarvo::ui {

Tsdfm::Tsdfm(const ToolContext& context) : ToolForm(context, QStringLiteral("解包文件"), 420, 184) {
  StaticText1 = AddLabel("StaticText1", QStringLiteral("源文件"), 10, 12, 50, 20);
  Edit1 = AddEdit("Edit1", 64, 10, 272, 23);
  SpeedButton1 = AddSpeedButton("SpeedButton1", QStringLiteral("浏览..."), 340, 10, 72, 23);
  StaticText2 = AddLabel("StaticText2", QStringLiteral("释放到"), 10, 42, 50, 20);
  Edit2 = AddEdit("Edit2", 64, 40, 272, 23);
  Edit2->setEnabled(false);
  SpeedButton2 = AddSpeedButton("SpeedButton2", QStringLiteral("浏览..."), 340, 40, 72, 23);
  SpeedButton2->setEnabled(false);
  CheckBox1 = AddCheck("CheckBox1", QStringLiteral("默认释放到当前目录"), 64, 70, 250);
  CheckBox1->setChecked(true);
  chktruecmp = AddCheck("chktruecmp", QStringLiteral("即使有校验信息也不校验文件"), 64, 94, 250);
  chkdel = AddCheck("chkdel", QStringLiteral("解包后删除源文件"), 64, 118, 250);
  chkispwd = AddCheck("chkispwd", QStringLiteral("使用密码-->"), 10, 150, 100);
  edtpwd = AddEdit("edtpwd", 112, 148, 160, 23);
  edtpwd->setEchoMode(QLineEdit::Password);
  edtpwd->setEnabled(false);
  btn1 = AddButton("btn1", QStringLiteral("开始"), 332, 146, 80, 27);
  btn1->setDefault(true);
  StaticText1->setBuddy(Edit1);
  StaticText2->setBuddy(Edit2);

  OpenDialog1 = AddOpenDialog("OpenDialog1", QStringLiteral("任何文件(*)"));

  connect(Edit1, &QLineEdit::textChanged, this, &Tsdfm::Edit1Change);
  connect(CheckBox1, &QCheckBox::clicked, this, &Tsdfm::CheckBox1Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &Tsdfm::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &Tsdfm::SpeedButton2Click);
  ClearWhenUnticked(chkispwd, edtpwd);
  connect(btn1, &QPushButton::clicked, this, &Tsdfm::btn1Click);
  FormCreate();
}

void Tsdfm::FollowPack() {
  const QString dir = DirectoryPart(Edit1->text());
  Edit2->setText(dir);
  Edit2->setToolTip(dir);
}

void Tsdfm::FormCreate() {
  if (CheckBox1->isChecked()) {
    FollowPack();
  }
}

void Tsdfm::Edit1Change(const QString&) {
  if (CheckBox1->isChecked()) {
    FollowPack();
  }
}

void Tsdfm::CheckBox1Click() {
  const bool follow = CheckBox1->isChecked();
  Edit2->setEnabled(!follow);
  SpeedButton2->setEnabled(!follow);
  if (follow && !Edit1->text().isEmpty()) {
    FollowPack();
  }
}

void Tsdfm::SpeedButton1Click() {
  if (BrowseFile(OpenDialog1, Edit1)) {
    Edit1->setToolTip(Edit1->text());
  }
}

void Tsdfm::SpeedButton2Click() {
  BrowseForFolder(this, QStringLiteral("选择一个目录,解包的文件将释放到您选择的目录"), Edit2);
}

void Tsdfm::btn1Click() {
  const std::string pack = ToUtf8(Edit1->text());
  const std::string target = ToUtf8(Edit2->text());
  if (!CheckInputs({{FileExists(pack), QStringLiteral("文件不存在!"), Edit1},
                    {DirectoryExists(target), QStringLiteral("目的目录不存在!")}})) {
    return;
  }
  TSMWorkInfos infos;
  infos.DeleteSource = chkdel->isChecked();
  infos.SkipVerify = chktruecmp->isChecked();
  infos.Password = ToUtf8(edtpwd->text());
  if (!MayWriteOutputs(this, TSDfile::OutputPaths(pack, infos.Password, target), infos.Overwrite)) {
    return;
  }
  StartAndClose([&] { TSDfile::Create(pack, infos, target, Host()); });
}

}  // namespace qarvo::ui
