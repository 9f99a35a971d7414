#include <QtTest>

#include <QCheckBox>
#include <QMessageBox>

#include "app/password_dialogs.h"
#include "app_test_util.h"

using qarvo::test::ModalAnswerer;
using qarvo::ui::PasswordDialog;
using qarvo::ui::Tpwdfm;
using qarvo::ui::Tspwd1;

namespace {

// Types both fields and presses "确定".
void Accept(PasswordDialog& dialog, const QString& first, const QString& second) {
  dialog.edt1->setText(first);
  dialog.edt2->setText(second);
  QTest::mouseClick(dialog.btn1, Qt::LeftButton);
}

}  // namespace

class PasswordDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsAndCaptions() {
    Tpwdfm split;
    QCOMPARE(split.windowTitle(), QStringLiteral("密码设置"));
    QCOMPARE(split.size(), QSize(340, 69));
    QCOMPARE(split.findChild<QLabel*>("txt1")->text(), QStringLiteral("输入密码"));
    QCOMPARE(split.findChild<QLabel*>("txt2")->text(), QStringLiteral("重复密码"));
    QCOMPARE(split.findChild<QLabel*>("txt1")->buddy(), split.edt1);
    QCOMPARE(split.findChild<QLabel*>("txt2")->buddy(), split.edt2);
    QCOMPARE(split.edt1->echoMode(), QLineEdit::Password);
    QCOMPARE(split.edt2->echoMode(), QLineEdit::Password);
    QVERIFY(split.btn1->isDefault());
    QCOMPARE(split.btn1->text(), QStringLiteral("确定"));
    QCOMPARE(split.btn2->text(), QStringLiteral("取消"));
    QVERIFY(split.Password().isEmpty());

    Tspwd1 pack;
    QCOMPARE(pack.findChild<QLabel*>("lbl1")->text(), QStringLiteral("输入密码"));
    QCOMPARE(pack.findChild<QLabel*>("lbl2")->text(), QStringLiteral("重复密码"));
    QCOMPARE(pack.findChild<QLabel*>("lbl2")->buddy(), pack.edt2);
  }

  // The three messages in the order of the checks, each moving the focus to its field and
  // leaving the dialog open; then a valid password closes it.
  void ChecksInOrder() {
    ModalAnswerer answers;
    Tspwd1 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    Accept(dialog, "abcd", "abcd");
    QCOMPARE(answers.BoxTexts().value(0), QStringLiteral("密码长度必须小于16,大于4!"));
    QCOMPARE(answers.BoxTitles().value(0), QStringLiteral("提示"));
    QCOMPARE(dialog.focusWidget(), dialog.edt1);

    Accept(dialog, "abcdefghijklmnopq", "abcdefghijklmnopq");  // 17
    QCOMPARE(answers.BoxTexts().value(1), QStringLiteral("密码长度必须小于16,大于4!"));

    // Length is checked before the characters: a short text with a blank gets the length.
    Accept(dialog, "ab c", "ab c");
    QCOMPARE(answers.BoxTexts().value(2), QStringLiteral("密码长度必须小于16,大于4!"));

    Accept(dialog, "abc def", "abc def");
    QCOMPARE(answers.BoxTexts().value(3), QStringLiteral("密码必须由字母和数字组成!"));
    QCOMPARE(dialog.focusWidget(), dialog.edt1);

    Accept(dialog, QStringLiteral("密码密码密码"), QStringLiteral("密码密码密码"));
    QCOMPARE(answers.BoxTexts().value(4), QStringLiteral("密码必须由字母和数字组成!"));
    // Characters outside the basic plane count once each, not as two UTF-16 units: three are
    // too short.
    Accept(dialog, QStringLiteral("😀😀😀"), QStringLiteral("😀😀😀"));
    QCOMPARE(answers.BoxTexts().value(5), QStringLiteral("密码长度必须小于16,大于4!"));
    answers.ClearBoxes();

    dialog.edt2->setFocus();
    Accept(dialog, "Secret1", "secret1");
    QCOMPARE(answers.BoxTexts().value(0), QStringLiteral("2次密码不相同!"));
    dialog.edt1->setFocus();
    Accept(dialog, "Secret1", "Secret12");
    QCOMPARE(answers.BoxTexts().value(1), QStringLiteral("2次密码不相同!"));
    QCOMPARE(dialog.focusWidget(), dialog.edt2);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.Password().isEmpty());

    // Sixteen letters and digits are accepted.
    Accept(dialog, "Abcdefgh12345678", "Abcdefgh12345678");
    QCOMPARE(answers.BoxTexts().size(), 2);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Password(), QStringLiteral("Abcdefgh12345678"));
    // The fields never keep their text between two showings.
    QVERIFY(dialog.edt1->text().isEmpty());
    QVERIFY(dialog.edt2->text().isEmpty());
  }

  void FivePlainCharactersAccepted() {
    Tpwdfm dialog;
    dialog.show();
    Accept(dialog, "a1B2c", "a1B2c");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.Password(), QStringLiteral("a1B2c"));
  }

  // Without a password held, every kind of close clears the owner's box through its handler.
  void CloseRuleClearsOwnerBox() {
    QWidget owner;
    auto* box = new QCheckBox(&owner);
    int cleared_by_handler = 0;
    connect(box, &QCheckBox::clicked, &owner, [&](bool checked) {
      if (!checked) {
        ++cleared_by_handler;
      }
    });
    Tpwdfm dialog;
    dialog.SetOwnerCheckBox(box);

    // Esc
    box->setChecked(true);
    dialog.show();
    dialog.edt1->setText("typed");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!box->isChecked());
    QCOMPARE(cleared_by_handler, 1);
    QVERIFY(dialog.edt1->text().isEmpty());

    // "取消"
    box->setChecked(true);
    dialog.show();
    QTest::mouseClick(dialog.btn2, Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QCOMPARE(cleared_by_handler, 2);

    // The title bar's close box
    box->setChecked(true);
    dialog.show();
    dialog.close();
    QVERIFY(!box->isChecked());
    QCOMPARE(cleared_by_handler, 3);

    // A disabled box is cleared too, and its handler still runs.
    box->setChecked(true);
    box->setEnabled(false);
    dialog.show();
    dialog.reject();
    QVERIFY(!box->isChecked());
    QCOMPARE(cleared_by_handler, 4);
    box->setEnabled(true);

    // With a password held, a later cancel keeps both the password and the box.
    box->setChecked(true);
    dialog.show();
    Accept(dialog, "hello1", "hello1");
    QVERIFY(box->isChecked());
    dialog.show();
    dialog.edt1->setText("other");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(box->isChecked());
    QCOMPARE(dialog.Password(), QStringLiteral("hello1"));
    QVERIFY(dialog.edt1->text().isEmpty());
    QCOMPARE(cleared_by_handler, 4);

    // The owner clears the password; the next cancel clears the box again.
    dialog.ClearPassword();
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!box->isChecked());
    QCOMPARE(cleared_by_handler, 5);
  }

  void OwnerBoxGoneFirst() {
    Tspwd1 dialog;
    {
      QCheckBox box;
      box.setChecked(true);
      dialog.SetOwnerCheckBox(&box);
    }
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
  }
};

QTEST_MAIN(PasswordDialogsTest)
#include "password_dialogs_test.moc"
