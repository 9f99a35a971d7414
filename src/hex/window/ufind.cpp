#include "hex/window/ufind.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "hex/model/find.h"

namespace qarvo::hex {

TdlgFind::TdlgFind(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("dlgFind"));
  setWindowTitle(QStringLiteral("查找"));
  setFixedSize(310, 80);

  edFind = new QLineEdit(this);
  edFind->setObjectName(QStringLiteral("edFind"));
  edFind->setGeometry(4, 4, 222, 22);

  Button1 = new QPushButton(QStringLiteral("查找"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(231, 3, 75, 24);
  Button1->setDefault(true);
  Button1->setEnabled(false);

  cbNoCase = new QCheckBox(QStringLiteral("忽略大小写"), this);
  cbNoCase->setObjectName(QStringLiteral("cbNoCase"));
  cbNoCase->setGeometry(4, 31, 100, 20);

  cbText = new QCheckBox(TextChoiceCaption(Qt::PartiallyChecked), this);
  cbText->setObjectName(QStringLiteral("cbText"));
  cbText->setGeometry(108, 31, 198, 20);
  cbText->setTristate(true);
  cbText->setCheckState(Qt::PartiallyChecked);
  cbText->setToolTip(
      QStringLiteral("勾选:按文字查找;不勾选:按十六进制字节查找(如 4D 5A);"
                     "灰色:由输入的内容决定,只含十六进制数字和空格时按字节查找,否则按文字查找"));

  cbWrap = new QCheckBox(QStringLiteral("到达末尾后从另一端继续查找"), this);
  cbWrap->setObjectName(QStringLiteral("cbWrap"));
  cbWrap->setGeometry(4, 55, 300, 20);

  connect(cbText, &QCheckBox::stateChanged, this,
          [this] { cbText->setText(TextChoiceCaption(cbText->checkState())); });
  connect(edFind, &QLineEdit::textChanged, this, &TdlgFind::edFindChange);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

QString TdlgFind::TextChoiceCaption(Qt::CheckState state) {
  switch (state) {
    case Qt::Checked:
      return QStringLiteral("按文字查找");
    case Qt::Unchecked:
      return QStringLiteral("按十六进制字节查找");
    case Qt::PartiallyChecked:
      break;
  }
  return QStringLiteral("文字或字节:由内容决定");
}

void TdlgFind::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (parentWidget() != nullptr) {
    const QWidget* owner = parentWidget()->window();
    move(owner->frameGeometry().center() - rect().center());
  }
  edFind->setFocus();
}

void TdlgFind::edFindChange() {
  Button1->setEnabled(!edFind->text().isEmpty());
}

bool DecideFindIsText(Qt::CheckState cbText, const QString& text) {
  switch (cbText) {
    case Qt::Checked:
      return true;
    case Qt::Unchecked:
      return false;
    case Qt::PartiallyChecked:
      break;
  }
  return !IsHexText(text.toStdString());
}

void LoadFindDialog(TdlgFind& dialog, const FindState& state) {
  dialog.edFind->setText(state.FindText);
  if (!state.FindText.isEmpty()) {
    dialog.cbText->setCheckState(state.FindIsText ? Qt::Checked : Qt::Unchecked);
  }
  dialog.cbNoCase->setChecked(state.FindIgnoreCase);
  dialog.cbWrap->setChecked(state.FindWrap);
}

void StoreFindDialog(const TdlgFind& dialog, FindState& state) {
  state.FindText = dialog.edFind->text();
  state.FindIsText = DecideFindIsText(dialog.cbText->checkState(), state.FindText);
  state.FindData = TextToSearchBytes(state.FindText.toStdString());
  state.FindIgnoreCase = dialog.cbNoCase->isChecked();
  state.FindWrap = dialog.cbWrap->isChecked();
}

bool ShowFindDialog(QWidget* owner, FindState& state) {
  TdlgFind dialog(owner);
  LoadFindDialog(dialog, state);
  if (dialog.exec() != QDialog::Accepted) {
    return false;
  }
  StoreFindDialog(dialog, state);
  return true;
}

bool RunFindDialog(QWidget* owner, FindState& state, bool swap_nibbles) {
  if (!ShowFindDialog(owner, state)) {
    return false;
  }
  if (!state.FindIsText) {
    state.FindData = HexToBytes(state.FindText.toStdString(), swap_nibbles);
  }
  return !state.FindData.empty();
}

}  // namespace qarvo::hex
