#include "app/addfm.h"

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/bundle.h"

namespace qarvo::ui {

Taddfm::Taddfm(const ToolContext& context)
    : TwoFileForm(context, QStringLiteral("文件捆绑"), QSize(430, 69),
                  {.caption1 = QStringLiteral("头文件"),
                   .caption2 = QStringLiteral("尾文件"),
                   .edit_width = 250,
                   .start = QRect(356, 8, 66, 53),
                   .filter = QString()}) {
  connect(btn1, &QPushButton::clicked, this, &Taddfm::btn1Click);
  connect(Edit1, &QLineEdit::textChanged, this, &Taddfm::Edit1Change);
  connect(Edit2, &QLineEdit::textChanged, this, &Taddfm::Edit2Change);
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
  if (CheckInputs({{FileExists(head), FromUtf8(BundleInputLine("头文件", head)), Edit1},
                   {FileExists(tail), FromUtf8(BundleInputLine("尾文件", tail)), Edit2}})) {
    StartAndClose([&] { TAddFile::Create(head, tail, Host()); });
  }
}

}  // namespace qarvo::ui
