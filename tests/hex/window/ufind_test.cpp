#include "hex/window/ufind.h"
#include "hex/window/hex_window_test_util.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace qarvo::hex {
namespace {

// Runs `step` on the find dialog as soon as it is the active modal window.
void OnFindDialog(std::function<void(TdlgFind*)> step) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, step] {
    auto* dialog = qobject_cast<TdlgFind*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) {
      return;
    }
    timer->stop();
    timer->deleteLater();
    step(dialog);
  });
  timer->start();
}

// Puts `text` into the dialog and confirms with "查找".
void Confirm(const QString& text, bool ignore_case = false) {
  OnFindDialog([text, ignore_case](TdlgFind* dialog) {
    Named<QLineEdit>(dialog, "edFind")->setText(text);
    Named<QCheckBox>(dialog, "cbNoCase")->setChecked(ignore_case);
    QTest::mouseClick(Named<QPushButton>(dialog, "Button1"), Qt::LeftButton);
  });
}

}  // namespace

class UfindTest : public QObject {
  Q_OBJECT

 private slots:
  void DialogAsItOpens() {
    QWidget owner;
    TdlgFind dialog(&owner);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("查找"));
    QCOMPARE(dialog.size(), QSize(310, 80));  // a row more for "到达末尾后从另一端继续查找"
    QCOMPARE(Named<QPushButton>(&dialog, "Button1")->text(), QStringLiteral("查找"));
    QVERIFY(Named<QPushButton>(&dialog, "Button1")->isDefault());
    QCOMPARE(Named<QCheckBox>(&dialog, "cbNoCase")->text(), QStringLiteral("忽略大小写"));
    QVERIFY(!Named<QCheckBox>(&dialog, "cbNoCase")->isChecked());
    // The text/hex choice is offered, its grey state named for what it does.
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->text(), QStringLiteral("文字或字节:由内容决定"));
    QVERIFY(Named<QCheckBox>(&dialog, "cbText")->isTristate());
    QCOMPARE(Named<QCheckBox>(&dialog, "cbText")->checkState(), Qt::PartiallyChecked);
    QVERIFY(Named<QCheckBox>(&dialog, "cbText")->isEnabled());
    QVERIFY(!Named<QCheckBox>(&dialog, "cbWrap")->isChecked());

    dialog.show();
    QVERIFY(Named<QCheckBox>(&dialog, "cbText")->isVisible());
    QCOMPARE(dialog.focusWidget(), Named<QLineEdit>(&dialog, "edFind"));
    // "查找" is available exactly while there is a text.
    QVERIFY(!Named<QPushButton>(&dialog, "Button1")->isEnabled());
    QTest::keyClicks(Named<QLineEdit>(&dialog, "edFind"), "4");
    QVERIFY(Named<QPushButton>(&dialog, "Button1")->isEnabled());
    QTest::keyClick(Named<QLineEdit>(&dialog, "edFind"), Qt::Key_Backspace);
    QVERIFY(!Named<QPushButton>(&dialog, "Button1")->isEnabled());
    QTest::keyClicks(Named<QLineEdit>(&dialog, "edFind"), "41");
    QTest::keyClick(Named<QLineEdit>(&dialog, "edFind"), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void TheKindUndecidedFollowsTheText() {
    QVERIFY(!DecideFindIsText(Qt::PartiallyChecked, "abc"));
    QVERIFY(!DecideFindIsText(Qt::PartiallyChecked, " 41 0a "));
    QVERIFY(DecideFindIsText(Qt::PartiallyChecked, "hello"));
    QVERIFY(DecideFindIsText(Qt::PartiallyChecked, "   "));
    QVERIFY(DecideFindIsText(Qt::Checked, "abc"));
    QVERIFY(!DecideFindIsText(Qt::Unchecked, "hello"));
  }

  void FirstHexLookingSearchStaysHex() {
    QWidget owner;
    FindState state;
    Confirm("abc");
    QVERIFY(RunFindDialog(&owner, state, false));
    QCOMPARE(state.FindText, QStringLiteral("abc"));
    QVERIFY(!state.FindIsText);
    QCOMPARE(state.FindData, std::string("\xAB"));
    QVERIFY(!state.FindIgnoreCase);

    // The next dialog opens with the last text and kind; a word is now read as hex digits,
    // and spells none.
    QString shown;
    Qt::CheckState kind = Qt::PartiallyChecked;
    OnFindDialog([&](TdlgFind* dialog) {
      shown = Named<QLineEdit>(dialog, "edFind")->text();
      kind = Named<QCheckBox>(dialog, "cbText")->checkState();
      Named<QLineEdit>(dialog, "edFind")->setText("hello");
      Named<QPushButton>(dialog, "Button1")->click();
    });
    QVERIFY(!RunFindDialog(&owner, state, false));
    QCOMPARE(shown, QStringLiteral("abc"));
    QCOMPARE(kind, Qt::Unchecked);
    QVERIFY(!state.FindIsText);
    QVERIFY(state.FindData.empty());

    Confirm("4d 5A9", true);
    QVERIFY(RunFindDialog(&owner, state, true));
    QCOMPARE(state.FindData, std::string("\xD4\xA5"));
    QVERIFY(state.FindIgnoreCase);
  }

  void FirstWordSearchKeepsLaterSearchesText() {
    QWidget owner;
    FindState state;
    Confirm("hello");
    QVERIFY(RunFindDialog(&owner, state, false));
    QVERIFY(state.FindIsText);
    QCOMPARE(state.FindData, std::string("hello"));

    Qt::CheckState kind = Qt::PartiallyChecked;
    OnFindDialog([&](TdlgFind* dialog) {
      kind = Named<QCheckBox>(dialog, "cbText")->checkState();
      Named<QLineEdit>(dialog, "edFind")->setText("41");
      Named<QPushButton>(dialog, "Button1")->click();
    });
    QVERIFY(RunFindDialog(&owner, state, false));
    QCOMPARE(kind, Qt::Checked);
    QVERIFY(state.FindIsText);
    QCOMPARE(state.FindData, std::string("41"));

    // Text outside Windows-1252 is searched as UTF-8; text inside it as Windows-1252.
    Confirm(QStringLiteral("中文"));
    QVERIFY(RunFindDialog(&owner, state, false));
    QCOMPARE(state.FindData, QStringLiteral("中文").toStdString());
    Confirm(QStringLiteral("café"));
    QVERIFY(RunFindDialog(&owner, state, false));
    QCOMPARE(state.FindData, std::string("caf\xE9"));
  }

  void CancelChangesNothing() {
    QWidget owner;
    FindState state;
    state.FindText = "hello";
    state.FindData = "hello";
    state.FindIsText = true;
    state.FindIgnoreCase = true;
    bool ignore_case_shown = false;
    OnFindDialog([&](TdlgFind* dialog) {
      ignore_case_shown = Named<QCheckBox>(dialog, "cbNoCase")->isChecked();
      Named<QLineEdit>(dialog, "edFind")->setText("other");
      Named<QCheckBox>(dialog, "cbNoCase")->setChecked(false);
      dialog->reject();
    });
    QVERIFY(!RunFindDialog(&owner, state, false));
    QVERIFY(ignore_case_shown);
    QCOMPARE(state.FindText, QStringLiteral("hello"));
    QCOMPARE(state.FindData, std::string("hello"));
    QVERIFY(state.FindIgnoreCase);
  }
};

}  // namespace qarvo::hex

QTEST_MAIN(qarvo::hex::UfindTest)
#include "ufind_test.moc"
