#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>

namespace qarvo::ui {

// The password dialog behaviour shared by the split panel's and the pack window's dialog:
// the password is typed twice, must be 5 to 16 ASCII letters and digits, and is kept until the
// owner clears it. Every close empties the edits and, when no password is held, clears the
// owner's check box through its own click handler.
class PasswordDialog : public QDialog {
  Q_OBJECT

 public:
  // The accepted password; empty means none.
  QString Password() const { return password_; }
  void ClearPassword() { password_.clear(); }
  // The owner's "protect with a password" box that the close rule clears. The box may be
  // destroyed before the dialog; the dialog then clears nothing.
  void SetOwnerCheckBox(QCheckBox* box) { owner_box_ = box; }

  QLineEdit* edt1 = nullptr;
  QLineEdit* edt2 = nullptr;
  QPushButton* btn1 = nullptr;  // "确定"
  QPushButton* btn2 = nullptr;  // "取消"

  void done(int result) override;

 public slots:
  void btn1Click();

 protected:
  // The two caption labels ("输入密码", "重复密码") get the object names `caption1_name` and
  // `caption2_name`.
  PasswordDialog(const QString& caption1_name, const QString& caption2_name, QWidget* parent);

 private:
  QString password_;
  QPointer<QCheckBox> owner_box_;
};

// Password of a new split set, owned by the main window.
class Tpwdfm : public PasswordDialog {
  Q_OBJECT

 public:
  explicit Tpwdfm(QWidget* parent = nullptr);  // captions `txt1`, `txt2`
};

// Password of a new pack, used by the current pack window.
class Tspwd1 : public PasswordDialog {
  Q_OBJECT

 public:
  explicit Tspwd1(QWidget* parent = nullptr);  // captions `lbl1`, `lbl2`
};

}  // namespace qarvo::ui
