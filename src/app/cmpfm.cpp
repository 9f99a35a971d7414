#include "app/cmpfm.h"

#include <QButtonGroup>
#include <QStyle>

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/compare.h"

namespace qarvo::ui {

namespace {

// Every file, including those without a dot in their name.
const char* const kAnyFileFilter = "任何文件(*)";

}  // namespace

Tcmpfm::Tcmpfm(const ToolContext& context)
    : ToolForm(context, QStringLiteral("文件对比"), 408, 105) {
  StaticText1 = AddLabel("StaticText1", QStringLiteral("文件1"), 8, 10, 40, 20);
  StaticText2 = AddLabel("StaticText2", QStringLiteral("文件2"), 8, 40, 40, 20);
  Edit1 = AddEdit("Edit1", 50, 8, 296, 23);
  Edit2 = AddEdit("Edit2", 50, 38, 296, 23);
  btn1 = AddButton("btn1", QStringLiteral("开始"), 318, 70, 82, 28);
  btn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  btn1->setDefault(true);

  rbcrc = new QRadioButton(QStringLiteral("CRC32对比"), this);
  rbcrc->setObjectName(QStringLiteral("rbcrc"));
  rbcrc->setGeometry(150, 74, 110, 20);
  rbcrc->setChecked(true);
  rbmd5 = new QRadioButton(QStringLiteral("MD5对比"), this);
  rbmd5->setObjectName(QStringLiteral("rbmd5"));
  rbmd5->setGeometry(50, 74, 90, 20);
  auto* group = new QButtonGroup(this);
  group->addButton(rbcrc);
  group->addButton(rbmd5);

  SpeedButton1 = AddSpeedButton("SpeedButton1", QStringLiteral("浏览..."), 350, 8, 50, 23);
  SpeedButton2 = AddSpeedButton("SpeedButton2", QStringLiteral("浏览..."), 350, 38, 50, 23);
  OpenDialog1 = AddOpenDialog("OpenDialog1", QString::fromUtf8(kAnyFileFilter));
  OpenDialog2 = AddOpenDialog("OpenDialog2", QString::fromUtf8(kAnyFileFilter));
  StaticText1->setBuddy(Edit1);
  StaticText2->setBuddy(Edit2);
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, btn1);
  setTabOrder(btn1, rbcrc);
  setTabOrder(rbcrc, rbmd5);

  connect(btn1, &QPushButton::clicked, this, &Tcmpfm::btn1Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &Tcmpfm::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &Tcmpfm::SpeedButton2Click);
  Edit1->setFocus();
}

void Tcmpfm::SpeedButton1Click() {
  const QString file = RunOpenDialog(OpenDialog1);
  if (!file.isEmpty()) {
    Edit1->setText(file);
  }
}

void Tcmpfm::SpeedButton2Click() {
  const QString file = RunOpenDialog(OpenDialog2);
  if (!file.isEmpty()) {
    Edit2->setText(file);
  }
}

void Tcmpfm::btn1Click() {
  const std::string file1 = ToUtf8(Edit1->text());
  const std::string file2 = ToUtf8(Edit2->text());
  if (CheckInputs({{FileExists(file1), QStringLiteral("文件1不存在!"), Edit1},
                   {FileExists(file2), QStringLiteral("文件2不存在!"), Edit2}})) {
    const uint8_t mode = rbcrc->isChecked() ? TCmpFile::kCrc32Mode : TCmpFile::kMd5Mode;
    StartAndClose([&] { TCmpFile::Create(mode, file1, file2, Host()); });
  }
}

}  // namespace qarvo::ui
