#include "app/addfm.h"

#include <QStyle>

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/bundle.h"

namespace qarvo::ui {

Taddfm::Taddfm(const ToolContext& context)
    : ToolForm(context, QStringLiteral("文件捆绑"), 430, 69) {
  StaticText1 = AddLabel("StaticText1", QStringLiteral("头文件"), 8, 10, 40, 20);
  StaticText2 = AddLabel("StaticText2", QStringLiteral("尾文件"), 8, 40, 40, 20);
  Edit1 = AddEdit("Edit1", 50, 8, 250, 23);
  Edit2 = AddEdit("Edit2", 50, 38, 250, 23);
  btn1 = AddButton("btn1", QStringLiteral("开始"), 356, 8, 66, 53);
  btn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  btn1->setDefault(true);
  SpeedButton1 = AddSpeedButton("SpeedButton1", QStringLiteral("浏览..."), 302, 8, 50, 23);
  SpeedButton2 = AddSpeedButton("SpeedButton2", QStringLiteral("浏览..."), 302, 38, 50, 23);
  OpenDialog1 = AddOpenDialog("OpenDialog1", QString());
  OpenDialog2 = AddOpenDialog("OpenDialog2", QString());
  StaticText1->setBuddy(Edit1);
  StaticText2->setBuddy(Edit2);
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, btn1);

  connect(btn1, &QPushButton::clicked, this, &Taddfm::btn1Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &Taddfm::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &Taddfm::SpeedButton2Click);
  connect(Edit1, &QLineEdit::textChanged, this, &Taddfm::Edit1Change);
  connect(Edit2, &QLineEdit::textChanged, this, &Taddfm::Edit2Change);
  Edit1->setFocus();
}

void Taddfm::SpeedButton1Click() {
  const QString file = RunOpenDialog(OpenDialog1);
  if (!file.isEmpty()) {
    Edit1->setText(file);
  }
}

void Taddfm::SpeedButton2Click() {
  const QString file = RunOpenDialog(OpenDialog2);
  if (!file.isEmpty()) {
    Edit2->setText(file);
  }
}

// A long path can be read in full by hovering over its edit.
void Taddfm::Edit1Change(const QString& text) {
  Edit1->setToolTip(text);
}

void Taddfm::Edit2Change(const QString& text) {
  Edit2->setToolTip(text);
}

void Taddfm::btn1Click() {
  const std::string head = ToUtf8(Edit1->text());
  const std::string tail = ToUtf8(Edit2->text());
  if (CheckInputs({{FileExists(head), QStringLiteral("头文件不存在!"), Edit1},
                   {FileExists(tail), QStringLiteral("尾文件不存在!"), Edit2}})) {
    StartAndClose([&] { TAddFile::Create(head, tail, Host()); });
  }
}

}  // namespace qarvo::ui
