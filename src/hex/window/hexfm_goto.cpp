#include "hex/window/hexfm_goto.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qarvo::hex {

TdlgGoto::TdlgGoto(QWidget* owner, int64_t caret, int64_t size, int unit)
    : QDialog(owner), caret_(caret), size_(size), unit_(unit) {
  setObjectName(QStringLiteral("dlgGoto"));
  setWindowTitle(QStringLiteral("转到"));
  auto* layout = new QVBoxLayout(this);
  auto* caption = new QLabel(QStringLiteral("偏移量(十进制;十六进制以 0x 或 $ 开头、或以 h 结尾;"
                                            "以 + 或 - 开头时从当前位置前后移动):"),
                             this);
  caption->setWordWrap(true);
  layout->addWidget(caption);
  edtoffset = new QLineEdit(this);
  edtoffset->setObjectName(QStringLiteral("edtoffset"));
  caption->setBuddy(edtoffset);
  layout->addWidget(edtoffset);
  lblerror = new QLabel(this);
  lblerror->setObjectName(QStringLiteral("lblerror"));
  lblerror->setWordWrap(true);
  lblerror->setStyleSheet(QStringLiteral("color: #b00000"));
  layout->addWidget(lblerror);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btnok = new QPushButton(QStringLiteral("转到"), this);
  btnok->setObjectName(QStringLiteral("btnok"));
  btnok->setDefault(true);
  btnok->setEnabled(false);
  btncancel = new QPushButton(QStringLiteral("取消"), this);
  btncancel->setObjectName(QStringLiteral("btncancel"));
  buttons->addWidget(btnok);
  buttons->addWidget(btncancel);
  layout->addLayout(buttons);
  resize(360, sizeHint().height());

  connect(edtoffset, &QLineEdit::textChanged, this, [this](const QString& text) {
    btnok->setEnabled(!text.trimmed().isEmpty());
    lblerror->clear();
  });
  connect(btnok, &QPushButton::clicked, this, &TdlgGoto::btnokClick);
  connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TdlgGoto::ErrorText(GotoError error, const QString& text, int64_t size) {
  switch (error) {
    case GotoError::kNone:
      break;
    case GotoError::kEmpty:
      return QStringLiteral("请输入要转到的偏移量。");
    case GotoError::kNotANumber:
      return QStringLiteral(
                 "“%1”不是有效的偏移量:请输入十进制数,或以 0x、$ 开头、以 h "
                 "结尾的十六进制数。")
          .arg(text.trimmed());
    case GotoError::kBeforeStart:
      return QStringLiteral("偏移量在数据开头之前。");
    case GotoError::kTooLarge:
    case GotoError::kPastEnd:
      if (size == 0) {
        return QStringLiteral("没有数据,无法转到。");
      }
      return QStringLiteral("偏移量超出数据末尾:数据共 %1 字节,最后一个字节的偏移量是 %2。")
          .arg(size)
          .arg(size - 1);
  }
  return {};
}

void TdlgGoto::btnokClick() {
  const QString text = edtoffset->text();
  const GotoTarget target = ParseGotoOffset(text.toStdString(), caret_, size_, unit_);
  if (target.error != GotoError::kNone) {
    lblerror->setText(ErrorText(target.error, text, size_));
    edtoffset->setFocus();
    edtoffset->selectAll();
    return;
  }
  position_ = target.position;
  accept();
}

}  // namespace qarvo::hex
