#include "app/password_dialogs.h"

#include <QGridLayout>

#include "app/ui_common.h"
#include "codec/password_rule.h"

namespace qarvo::ui {

namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 69;

}  // namespace

PasswordDialog::PasswordDialog(const QString& caption1_name, const QString& caption2_name,
                               QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("密码设置"));
  setFont(WindowFont());
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto* caption1 = new QLabel(QStringLiteral("输入密码"), this);
  caption1->setObjectName(caption1_name);
  auto* caption2 = new QLabel(QStringLiteral("重复密码"), this);
  caption2->setObjectName(caption2_name);

  edt1 = new QLineEdit(this);
  edt1->setObjectName(QStringLiteral("edt1"));
  edt1->setEchoMode(QLineEdit::Password);
  edt2 = new QLineEdit(this);
  edt2->setObjectName(QStringLiteral("edt2"));
  edt2->setEchoMode(QLineEdit::Password);
  caption1->setBuddy(edt1);
  caption2->setBuddy(edt2);

  btn1 = new QPushButton(QStringLiteral("确定"), this);
  btn1->setObjectName(QStringLiteral("btn1"));
  btn1->setDefault(true);
  btn1->setAutoDefault(true);
  btn2 = new QPushButton(QStringLiteral("取消"), this);
  btn2->setObjectName(QStringLiteral("btn2"));
  btn2->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(10, 6, 10, 6);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  grid->addWidget(caption1, 0, 0);
  grid->addWidget(edt1, 0, 1);
  grid->addWidget(btn1, 0, 2);
  grid->addWidget(caption2, 1, 0);
  grid->addWidget(edt2, 1, 1);
  grid->addWidget(btn2, 1, 2);
  grid->setColumnStretch(1, 1);

  connect(btn1, &QPushButton::clicked, this, &PasswordDialog::btn1Click);
  // Esc and the title bar's close box reach reject() as well, so every close ends in done().
  connect(btn2, &QPushButton::clicked, this, &QDialog::reject);
}

void PasswordDialog::btn1Click() {
  const QString first = edt1->text();
  if (const char* refusal = PasswordRefusal(ToUtf8(first))) {
    ShowHint(this, QString::fromUtf8(refusal));
    edt1->setFocus();
    return;
  }
  if (edt2->text() != first) {
    ShowHint(this, QStringLiteral("2次密码不相同!"));
    edt2->setFocus();
    return;
  }
  password_ = first;
  accept();
}

void PasswordDialog::done(int result) {
  QDialog::done(result);
  edt1->clear();
  edt2->clear();
  edt1->setFocus();
  if (password_.isEmpty() && owner_box_ && owner_box_->isChecked()) {
    if (owner_box_->isEnabled()) {
      owner_box_->click();
    } else {
      // click() ignores a disabled box, yet the owner's handler must still see it cleared.
      owner_box_->setChecked(false);
      emit owner_box_->clicked(false);
    }
  }
}

Tpwdfm::Tpwdfm(QWidget* parent)
    : PasswordDialog(QStringLiteral("txt1"), QStringLiteral("txt2"), parent) {
  setObjectName(QStringLiteral("Tpwdfm"));
}

Tspwd1::Tspwd1(QWidget* parent)
    : PasswordDialog(QStringLiteral("lbl1"), QStringLiteral("lbl2"), parent) {
  setObjectName(QStringLiteral("Tspwd1"));
}

}  // namespace qarvo::ui
