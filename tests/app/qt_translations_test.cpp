// Qt's own texts beside the program's Chinese ones: the shell loads Qt's translations.
#include <QtTest>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/app_shell.h"

class QtTranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void MessageBoxAndFileDialogSpeakChinese() {
    QMessageBox plain;
    plain.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(plain.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));  // before

    qarvo::ui::InstallQtTranslations(*qApp);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

    // Qt's own file dialog (not the desktop's) with its labels.
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = files.findChild<QDialogButtonBox*>();
    QVERIFY(buttons != nullptr);
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
  }
};

QTEST_MAIN(QtTranslationsTest)
#include "qt_translations_test.moc"
