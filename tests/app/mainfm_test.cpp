#include <QtTest>

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStyle>
#include <QTemporaryDir>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/app_shell.h"
#include "app/mainfm.h"
#include "app/password_dialogs.h"
#include "app/window_bridge.h"
#include "app_test_util.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hex.h"
#include "main_window_fixture.h"
#include "platform/file.h"

using qarvo::test::ModalAnswerer;
using qarvo::test::NoiseBytes;
using qarvo::test::PauseWhenStopEnabled;
using qarvo::test::ReadBytes;
using qarvo::test::WriteBytes;
using qarvo::ui::Tmainfm;

namespace {

const QString kStart1 = QStringLiteral("Qarvo文件分割助手  版本1.4  bulid-0310");
const QString kStart2 = QStringLiteral("有任何建议请联系我,谢谢!");

int IndexOf(const QStringList& lines, const QString& line, int from = 0) {
  return static_cast<int>(lines.indexOf(line, from));
}

}  // namespace

class MainfmTest : public QObject, qarvo::test::MainWindowFixture {
  Q_OBJECT

 private:
  QString LastLine() { return Lines().value(Lines().size() - 1); }

 private slots:
  void initTestCase() { qarvo::ui::SetUpApplication(*qApp); }

  void init() { OpenMainWindow(); }

  void cleanup() { CloseMainWindow(); }

  void StartState() {
    QCOMPARE(w_->windowTitle(), QStringLiteral("Qarvo文件分割助手V1.4"));
    QCOMPARE(w_->centralWidget()->size(), QSize(417, 539));
    QVERIFY(!(w_->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(Lines(), QStringList({kStart1, kStart2}));

    QCOMPARE(w_->findChild<QLineEdit*>("edtcount")->text(), QStringLiteral("3"));
    QVERIFY(Find<QCheckBox>("chkisdir")->isChecked() && Find<QCheckBox>("chkismdir")->isChecked());
    QVERIFY(!Find<QLineEdit>("edtcdir")->isEnabled() &&
            !Find<QPushButton>("SpeedButton7")->isEnabled());
    QVERIFY(!Find<QLineEdit>("edtmdir")->isEnabled() &&
            !Find<QPushButton>("SpeedButton12")->isEnabled());
    QVERIFY(!Find<QPushButton>("btnpwd")->isEnabled() && !Find<QGroupBox>("rgmode")->isEnabled());
    QCOMPARE(Find<QRadioButton>("rgmode2")->isChecked(), true);
    QCOMPARE(Find<QRadioButton>("rgmode2")->text(), QStringLiteral("默认"));
    QVERIFY(!Find<QRadioButton>("rbmd5")->isEnabled() && !Find<QRadioButton>("rbmd5")->isChecked());
    QVERIFY(!Find<QRadioButton>("rbcrc32")->isEnabled() &&
            Find<QRadioButton>("rbcrc32")->isChecked());
    QVERIFY(Find<QPushButton>("btnstart")->isEnabled() &&
            !Find<QPushButton>("btnstop")->isEnabled() &&
            !Find<QPushButton>("btncon")->isEnabled());
    QVERIFY(Find<QPushButton>("btnmstart")->isEnabled() &&
            !Find<QPushButton>("btnmstop")->isEnabled() &&
            !Find<QPushButton>("btnmcon")->isEnabled());
    QVERIFY(Find<QLineEdit>("edtmpwd")->isEnabled() && !Find<QCheckBox>("chkmispwd")->isChecked());
    QCOMPARE(Find<QLineEdit>("edtmpwd")->echoMode(), QLineEdit::Password);
    QCOMPARE(Find<QCheckBox>("chkccmp")->toolTip(),
             QStringLiteral("以便合并时检验文件是否和源文件相同"));

    // Every edit is named by its caption.
    QCOMPARE(Find<QLabel>("StaticText3")->buddy(), Find<QLineEdit>("edtcpath"));
    QCOMPARE(Find<QLabel>("StaticText5")->buddy(), Find<QLineEdit>("edtcdir"));
    QCOMPARE(Find<QLabel>("Label1")->buddy(), Find<QLineEdit>("edtcount"));
    QCOMPARE(Find<QLabel>("StaticText6")->buddy(), Find<QLineEdit>("edtmpath"));
    QCOMPARE(Find<QLabel>("StaticText2")->buddy(), Find<QLineEdit>("edtmdir"));
    QVERIFY(!Find<QLineEdit>("edtmpwd")->accessibleName().isEmpty());

    // Menus: every tool's entry is there and on, the hex viewer's too.
    const QList<QAction*> bar = w_->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->text(), QStringLiteral("高级分割"));
    QCOMPARE(bar[1]->text(), QStringLiteral("扩展功能"));
    QStringList extra;
    for (QAction* a : bar[1]->menu()->actions()) {
      extra << a->text();
    }
    QCOMPARE(extra,
             QStringList({"文件十六进制查看", "文件对比", "文件捆绑", "文件打包", "文件解包"}));
    for (QAction* tool :
         {w_->mnuHex, Find<QAction>("mnuMp3"), Find<QAction>("mnuCmp"), Find<QAction>("mnuAdd"),
          Find<QAction>("mnuPack"), Find<QAction>("mnuUnpack")}) {
      QVERIFY2(tool->isEnabled(), qPrintable(tool->text()));
    }
  }

  void ShellSettings() {
    QCOMPARE(QApplication::applicationName(), QStringLiteral("Qarvo文件分割助手"));
    QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
    QCOMPARE(QFontInfo(Find<QLabel>("Label1")->font()).family(),
             QStringLiteral("WenQuanYi Micro Hei"));
    QCOMPARE(QFontInfo(QFont(QStringLiteral("宋体"))).family(),
             QStringLiteral("WenQuanYi Micro Hei"));
    QCOMPARE(Find<QLabel>("Label1")->font().pixelSize(), 12);
    // The dialogs that live for the whole run belong to the main window.
    QCOMPARE(shell_.split_password->parentWidget(), w_);
    QCOMPARE(shell_.pack_password->parentWidget(), w_);
    QCOMPARE(w_->MakeToolContext().pack_password, shell_.pack_password);
  }

  // Each choice of a tool's entry makes a new window owned by the main window, keeps it as
  // the current one of its kind and shows it modally.
  void ToolMenusOpenNewModalWindows() {
    for (const char* name : {"mnuMp3", "mnuCmp", "mnuAdd", "mnuPack", "mnuUnpack"}) {
      QAction* entry = Find<QAction>(name);
      ModalAnswerer answers;
      QPointer<QWidget> first;
      for (int round = 0; round < 2; ++round) {
        QWidget* seen = nullptr;
        answers.OnNextDialog([&seen](QWidget* dialog) {
          seen = dialog;
          static_cast<QDialog*>(dialog)->reject();
        });
        entry->trigger();
        QVERIFY2(seen != nullptr, qPrintable(entry->text()));
        QCOMPARE(seen, static_cast<QWidget*>(w_->CurrentTool(entry)));
        QCOMPARE(seen->parentWidget(), w_);
        if (round == 0) {
          first = seen;
        } else {
          QVERIFY(seen != first.data());
        }
      }
    }
  }

  // The hex viewer's entry opens a new window each time; closing it deletes the window and
  // the view holding the file's bytes.
  void HexEntryOpensAWindowThatGoesWhenClosed() {
    ModalAnswerer answers;
    QPointer<QWidget> window;
    QPointer<QWidget> view;
    bool opened = false;
    answers.OnNextDialog([&](QWidget* dialog) {
      auto* hex_window = qobject_cast<qarvo::hex::Thexfm*>(dialog);
      opened = hex_window != nullptr && dialog->parentWidget() == w_;
      window = dialog;
      if (hex_window != nullptr) {
        view = hex_window->findChild<qarvo::hex::TMPHexEditorEx*>("MPHexEditorEx1");
      }
      dialog->close();
    });
    w_->mnuHex->trigger();
    QVERIFY(opened);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(view.isNull());
    QVERIFY(window.isNull());
  }

  void WindowContextMenuRepeatsTools() {
    QStringList seen;
    QTimer::singleShot(50, this, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu != nullptr) {
        for (QAction* a : menu->actions()) {
          seen << a->text();
        }
        menu->close();
      }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            Find<QGroupBox>("GroupBox1")->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Find<QGroupBox>("GroupBox1"), &event);
    QCOMPARE(seen,
             QStringList({"文件十六进制查看", "文件对比", "文件捆绑", "文件打包", "文件解包"}));
  }

  void LogCopyAndSelectAll() {
    Find<QAction>("mnuLogSelectAll")->trigger();
    QCOMPARE(Find<QPlainTextEdit>("Memo1")->textCursor().selectedText().replace(
                 QChar::ParagraphSeparator, '\n'),
             kStart1 + "\n" + kStart2);
    Find<QAction>("mnuLogCopy")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), kStart1 + "\n" + kStart2);
  }

  void SplitValidationInOrder() {
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件分割:文件不存在!"));
    QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>("edtcpath"));

    const QString source = Path("source.bin");
    WriteBytes(source, QByteArray(100, 'x'));
    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->clear();
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件分割:请输入正确的分割数量!"));
    QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>("edtcount"));

    for (const char* bad : {"-3", "3a", " 3", "３"}) {
      Find<QLineEdit>("edtcount")->setText(QString::fromUtf8(bad));
      Find<QPushButton>("btnstart")->click();
      QCOMPARE(LastLine(), QStringLiteral("文件分割:请输入正确的分割数量!"));
    }

    Find<QLineEdit>("edtcount")->setText("3");
    QTest::mouseClick(Find<QCheckBox>("chkisdir"), Qt::LeftButton);
    Find<QLineEdit>("edtcdir")->setText(Path("missing"));
    Find<QLineEdit>("edtmpath")->setFocus();
    Find<QPushButton>("btnstart")->click();
    QCOMPARE(LastLine(), QStringLiteral("文件分割:目录不存在!"));
    // This check leaves the focus where it was.
    QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>("edtmpath"));
    QVERIFY(Find<QPushButton>("btnstart")->isEnabled());
    QCOMPARE(Lines().size(), 2 + 1 + 1 + 4 + 1);
  }

  void MergeValidationInOrder() {
    QTest::mouseClick(Find<QPushButton>("btnmstart"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件合并:文件不存在!"));
    QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>("edtmpath"));

    const QString piece = Path("a1.vrk");
    WriteBytes(piece, QByteArray(10, 'v'));
    Find<QLineEdit>("edtmpath")->setText(piece);
    QTest::mouseClick(Find<QCheckBox>("chkismdir"), Qt::LeftButton);
    Find<QLineEdit>("edtmdir")->setText(Path("nowhere"));
    QTest::mouseClick(Find<QPushButton>("btnmstart"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件合并:目录不存在!"));
  }

  void CountCutToNineDigits() {
    Find<QLineEdit>("edtcount")->clear();
    Find<QLineEdit>("edtcount")->setFocus();
    QTest::keyClicks(Find<QLineEdit>("edtcount"), "1234567890");
    QCOMPARE(Find<QLineEdit>("edtcount")->text(), QStringLiteral("123456789"));
    Find<QLineEdit>("edtcount")->setText("98765432109876");
    QCOMPARE(Find<QLineEdit>("edtcount")->text(), QStringLiteral("987654321"));
  }

  void SplitBySizeFillsTheCountAndWritesTheChecksumFile() {
    const QString source = Path("size.bin");
    WriteBytes(source, NoiseBytes(3300, 3));
    auto* count = Find<QLineEdit>("edtcount");
    auto* sizes = Find<QComboBox>("cbsize");
    Find<QLineEdit>("edtcpath")->setText(source);
    QVERIFY(!Find<QLineEdit>("edtsize")->isEnabled() && !Find<QComboBox>("cbunit")->isEnabled());

    sizes->setCurrentIndex(2);  // CD: one piece
    QCOMPARE(count->text(), QStringLiteral("1"));
    QVERIFY(count->isReadOnly());
    sizes->setCurrentIndex(sizes->count() - 1);  // custom
    QVERIFY(Find<QLineEdit>("edtsize")->isEnabled() && Find<QComboBox>("cbunit")->isEnabled());
    Find<QLineEdit>("edtsize")->setText("1");
    Find<QComboBox>("cbunit")->setCurrentIndex(0);  // KB: 1024 bytes, 680 of them data
    QCOMPARE(count->text(), QStringLiteral("5"));
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:1004Byte"));  // 660+344
    // Incompressible data grows a little when compressed: one more piece.
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QCOMPARE(count->text(), QStringLiteral("6"));
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QCOMPARE(count->text(), QStringLiteral("5"));

    QTest::mouseClick(Find<QCheckBox>("chksums"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("分割成功!")), 20000);
    for (int n = 1; n <= 5; ++n) {
      QVERIFY(QFileInfo(Path(QStringLiteral("size%1.vrk").arg(n))).size() <= 1024);
    }
    QVERIFY(!QFile::exists(Path("size6.vrk")));
    QCOMPARE(ReadBytes(Path("size.sha256")).count('\n'), 5);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstart")->isEnabled(), 5000);

    // Sizes that give no count are refused at the start, before anything is written.
    Find<QLineEdit>("edtsize")->setText("0");
    QCOMPARE(count->text(), QString());
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:-"));
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QCOMPARE(LastLine(),
             QStringLiteral(
                 "文件分割:分割大小太小,每个分割文件至少要放下1字节数据和344字节的分割信息!"));
    Find<QLineEdit>("edtsize")->clear();
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件分割:请输入正确的分割大小!"));

    // Back to the typed count: the count typed before comes back.
    sizes->setCurrentIndex(0);
    QVERIFY(!count->isReadOnly());
    QCOMPARE(count->text(), QStringLiteral("3"));
  }

  void SizeLabels() {
    const QString source = Path("three.bin");
    WriteBytes(source, QByteArray(3000, 's'));
    Find<QLineEdit>("edtcpath")->setText(source);
    QCOMPARE(Find<QLabel>("StaticText7")->text(), QStringLiteral("源文件大小:2.9KB"));
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:1.3KB"));

    Find<QLineEdit>("edtcount")->setText("1");
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:3.2KB"));  // 3344 bytes
    // A count that is no number leaves the estimate as it was.
    Find<QLineEdit>("edtcount")->setText("x");
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:3.2KB"));
    Find<QLineEdit>("edtcount")->setText("0");
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:-"));
    Find<QLineEdit>("edtcount")->setText("100");
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:374Byte"));

    // A path that names no file keeps both labels.
    Find<QLineEdit>("edtcpath")->setText(Path("absent.bin"));
    QCOMPARE(Find<QLabel>("StaticText7")->text(), QStringLiteral("源文件大小:2.9KB"));
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:374Byte"));
  }

  void SizeLabelsOpenErrorIsShown() {
    ModalAnswerer answers;
    const QString source = Path("held.bin");
    WriteBytes(source, QByteArray(5000, 'h'));
    qarvo::File held(source.toStdString(), qarvo::OpenMode::Read, qarvo::Share::Exclusive);
    Find<QLineEdit>("edtcpath")->setText(source);
    QCOMPARE(answers.BoxTexts().size(), 1);
    QVERIFY2(answers.BoxTexts()[0].contains(source), qPrintable(answers.BoxTexts()[0]));
    QVERIFY2(answers.BoxTexts()[0].contains(QStringLiteral("正被其他程序使用")),
             qPrintable(answers.BoxTexts()[0]));
    QVERIFY(Find<QLabel>("StaticText7")->text().isEmpty());
    held.Close();
    Find<QLineEdit>("edtcount")->setText("2");
    QCOMPARE(Find<QLabel>("StaticText7")->text(), QStringLiteral("源文件大小:4.8KB"));
  }

  // A source whose size cannot be read: the box names the file and the reason, and no job
  // starts. Permissions do not stop the superuser, so this needs an ordinary user.
  void UnreadableSourceIsShown() {
    if (geteuid() == 0) {
      QSKIP("file permissions do not apply to the superuser");
    }
    ModalAnswerer answers;
    const QString source = Path("locked.bin");
    WriteBytes(source, QByteArray(100, 'l'));
    QFile::setPermissions(source, QFileDevice::Permissions());
    Find<QLineEdit>("edtcpath")->setText(source);
    QCOMPARE(answers.BoxTexts().size(), 1);
    QVERIFY(answers.BoxTexts()[0].contains(source));
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QCOMPARE(answers.BoxTexts().size(), 2);
    QVERIFY(answers.BoxTexts()[1].startsWith(QStringLiteral("无法开始分割")));
    QVERIFY(answers.BoxTexts()[1].contains(source));
    QVERIFY(answers.BoxTexts()[1].contains(QStringLiteral("权限不够")));
    QCOMPARE(Lines(), QStringList({kStart1, kStart2}));
    QVERIFY(w_->CutWorker().expired());
    QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  }

  void DirectoriesFollowPaths() {
    QDir(dir_->path()).mkpath("sub");
    const QString source = Path("sub/data.bin");
    WriteBytes(source, QByteArray(10, 'd'));
    Find<QLineEdit>("edtcpath")->setText(source);
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), Path("sub"));
    QCOMPARE(Find<QLineEdit>("edtcdir")->toolTip(), Path("sub"));

    // Cleared: the directory is the user's and keeps its text.
    QTest::mouseClick(Find<QCheckBox>("chkisdir"), Qt::LeftButton);
    QVERIFY(Find<QLineEdit>("edtcdir")->isEnabled() &&
            Find<QPushButton>("SpeedButton7")->isEnabled());
    Find<QLineEdit>("edtcdir")->setText(dir_->path());
    Find<QLineEdit>("edtcpath")->setText(Path("other.bin"));
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), dir_->path());
    // Ticked again with a path that names no file: only the controls change.
    QTest::mouseClick(Find<QCheckBox>("chkisdir"), Qt::LeftButton);
    QVERIFY(!Find<QLineEdit>("edtcdir")->isEnabled() &&
            !Find<QPushButton>("SpeedButton7")->isEnabled());
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), dir_->path());
    // ... and with an existing file the directory follows it again.
    QTest::mouseClick(Find<QCheckBox>("chkisdir"), Qt::LeftButton);
    Find<QLineEdit>("edtcpath")->setText(source);
    QTest::mouseClick(Find<QCheckBox>("chkisdir"), Qt::LeftButton);
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), Path("sub"));

    const QString piece = Path("sub/data1.vrk");
    WriteBytes(piece, QByteArray(10, 'p'));
    Find<QLineEdit>("edtmpath")->setText(piece);
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), Path("sub"));
    QTest::mouseClick(Find<QCheckBox>("chkismdir"), Qt::LeftButton);
    QVERIFY(Find<QLineEdit>("edtmdir")->isEnabled() &&
            Find<QPushButton>("SpeedButton12")->isEnabled());
    Find<QLineEdit>("edtmpath")->setText(Path("elsewhere1.vrk"));
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), Path("sub"));
    Find<QLineEdit>("edtmdir")->setText("x");
    Find<QLineEdit>("edtmpath")->setText(piece);
    QTest::mouseClick(Find<QCheckBox>("chkismdir"), Qt::LeftButton);
    QVERIFY(!Find<QLineEdit>("edtmdir")->isEnabled());
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), Path("sub"));
  }

  void DroppedFiles() {
    auto drop = [this](const QStringList& names) {
      QMimeData data;
      QList<QUrl> urls;
      for (const QString& name : names) {
        urls << QUrl::fromLocalFile(name);
      }
      data.setUrls(urls);
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(w_, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(w_, &event);
    };
    WriteBytes(Path("b.txt"), QByteArray(2048, 'b'));
    drop({Path("a.vrk"), Path("b.txt")});
    QCOMPARE(Find<QLineEdit>("edtmpath")->text(), Path("a.vrk"));
    QCOMPARE(Find<QLineEdit>("edtcpath")->text(), Path("b.txt"));
    // The change handlers ran as for typed text.
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), dir_->path());
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), dir_->path());
    QCOMPARE(Find<QLabel>("StaticText7")->text(), QStringLiteral("源文件大小:2KB"));
    // Tooltips are set only by browsing.
    QVERIFY(Find<QLineEdit>("edtcpath")->toolTip().isEmpty());

    // The extension test is case-sensitive and needs no dot; the last of a kind wins.
    drop({Path("c.VRK")});
    QCOMPARE(Find<QLineEdit>("edtcpath")->text(), Path("c.VRK"));
    QCOMPARE(Find<QLineEdit>("edtmpath")->text(), Path("a.vrk"));
    drop({Path("x1.vrk"), Path("plainvrk"), Path("y.bin"), Path("z.bin")});
    QCOMPARE(Find<QLineEdit>("edtmpath")->text(), Path("plainvrk"));
    QCOMPARE(Find<QLineEdit>("edtcpath")->text(), Path("z.bin"));
  }

  // The program's file arguments take the drop's path, change handlers included.
  void OpenedFilesGoWhereADropPutsThem() {
    WriteBytes(Path("b.txt"), QByteArray(3000, 'b'));
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    qarvo::ui::OpenFiles(*w_, {Path("sub/../a.vrk"), Path("b.txt")});
    QCOMPARE(Find<QLineEdit>("edtmpath")->text(), Path("a.vrk"));
    QCOMPARE(Find<QLineEdit>("edtcpath")->text(), Path("b.txt"));
    QCOMPARE(Find<QLineEdit>("edtcdir")->text(), dir_->path());
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), dir_->path());
    QCOMPARE(Find<QLabel>("StaticText7")->text(), QStringLiteral("源文件大小:2.9KB"));
    QCOMPARE(Find<QLabel>("txt1")->text(), QStringLiteral("估计分割后大小:1.3KB"));
  }

  void OptionsEnableTheirControls() {
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QVERIFY(Find<QGroupBox>("rgmode")->isEnabled());
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QVERIFY(!Find<QGroupBox>("rgmode")->isEnabled());

    QTest::mouseClick(Find<QCheckBox>("chkccmp"), Qt::LeftButton);
    QVERIFY(Find<QRadioButton>("rbmd5")->isEnabled() && Find<QRadioButton>("rbcrc32")->isEnabled());
    QTest::mouseClick(Find<QRadioButton>("rbmd5"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>("chkccmp"), Qt::LeftButton);
    QVERIFY(!Find<QRadioButton>("rbmd5")->isEnabled() &&
            !Find<QRadioButton>("rbcrc32")->isEnabled());
    QVERIFY(Find<QRadioButton>("rbmd5")->isChecked() &&
            !Find<QRadioButton>("rbcrc32")->isChecked());

    Find<QLineEdit>("edtmpwd")->setText("abc");
    QTest::mouseClick(Find<QCheckBox>("chkmispwd"), Qt::LeftButton);
    QVERIFY(Find<QLineEdit>("edtmpwd")->isEnabled());
    QTest::mouseClick(Find<QCheckBox>("chkmispwd"), Qt::LeftButton);
    QVERIFY(!Find<QLineEdit>("edtmpwd")->isEnabled());
    QVERIFY(Find<QLineEdit>("edtmpwd")->text().isEmpty());
  }

  void PasswordBoxAndDialog() {
    ModalAnswerer answers;
    // Esc right after ticking: the box is cleared again and "密码设置..." disabled.
    answers.OnNextDialog([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(Find<QCheckBox>("chkpwd"), Qt::LeftButton);
    QVERIFY(!Find<QCheckBox>("chkpwd")->isChecked());
    QVERIFY(!Find<QPushButton>("btnpwd")->isEnabled());

    // An accepted password keeps the box ticked; cancelling a later showing keeps it too.
    auto* pwd = shell_.split_password;
    answers.OnNextDialog([pwd](QWidget* dialog) {
      QCOMPARE(dialog, static_cast<QWidget*>(pwd));
      pwd->edt1->setText("abc12");
      pwd->edt2->setText("abc12");
      QTest::mouseClick(pwd->btn1, Qt::LeftButton);
    });
    QTest::mouseClick(Find<QCheckBox>("chkpwd"), Qt::LeftButton);
    QVERIFY(Find<QCheckBox>("chkpwd")->isChecked());
    QVERIFY(Find<QPushButton>("btnpwd")->isEnabled());
    QCOMPARE(pwd->Password(), QStringLiteral("abc12"));

    answers.OnNextDialog([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(Find<QPushButton>("btnpwd"), Qt::LeftButton);
    QVERIFY(Find<QCheckBox>("chkpwd")->isChecked());
    QCOMPARE(pwd->Password(), QStringLiteral("abc12"));

    // Clearing the box forgets the password.
    QTest::mouseClick(Find<QCheckBox>("chkpwd"), Qt::LeftButton);
    QVERIFY(pwd->Password().isEmpty());
    QVERIFY(!Find<QPushButton>("btnpwd")->isEnabled());
    QVERIFY(answers.BoxTexts().isEmpty());
  }

  // A real split and merge, started from the buttons, with a password, compression, a CRC32
  // and the shake at the end.
  void SplitAndMergeFromButtons() {
    ModalAnswerer answers;
    const QByteArray content = NoiseBytes(300000, 7) + QByteArray(200000, 'z');
    const QString source = Path("movie.bin");
    WriteBytes(source, content);

    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("4");
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QTest::mouseClick(Find<QRadioButton>("rgmode3"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>("chkccmp"), Qt::LeftButton);
    auto* pwd = shell_.split_password;
    answers.OnNextDialog([pwd](QWidget*) {
      pwd->edt1->setText("Pass99");
      pwd->edt2->setText("Pass99");
      QTest::mouseClick(pwd->btn1, Qt::LeftButton);
    });
    QTest::mouseClick(Find<QCheckBox>("chkpwd"), Qt::LeftButton);
    QVERIFY(Find<QCheckBox>("chkpwd")->isChecked());
    QTest::mouseClick(Find<QCheckBox>("chkshake"), Qt::LeftButton);
    const QPoint before = w_->pos();

    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("分割成功!")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstart")->isEnabled() && !w_->IsShaking(), 5000);
    QVERIFY(!Find<QPushButton>("btnstop")->isEnabled() &&
            !Find<QPushButton>("btncon")->isEnabled());
    QCOMPARE(w_->pos(), before);
    QCOMPARE(Find<QProgressBar>("pbcut")->value(), Find<QProgressBar>("pbcut")->maximum());
    QStringList lines = Lines();
    const int from = IndexOf(lines, QStringLiteral("正在搜集文件信息..."));
    QVERIFY(from >= 2);
    QCOMPARE(lines.mid(from),
             QStringList({"正在搜集文件信息...", "正在生成文件CRC32值...",
                          "正在分割第1个文件,剩余3个文件...", "正在分割第2个文件,剩余2个文件...",
                          "正在分割第3个文件,剩余1个文件...", "正在分割第4个文件,剩余0个文件...",
                          "分割成功!"}));
    for (int n = 1; n <= 4; ++n) {
      QVERIFY(QFile::exists(Path(QStringLiteral("movie%1.vrk").arg(n))));
    }

    QDir(dir_->path()).mkpath("out");
    Find<QLineEdit>("edtmpath")->setText(Path("movie3.vrk"));
    QCOMPARE(Find<QLineEdit>("edtmdir")->text(), dir_->path());
    QTest::mouseClick(Find<QCheckBox>("chkismdir"), Qt::LeftButton);
    Find<QLineEdit>("edtmdir")->setText(Path("out"));
    QTest::mouseClick(Find<QCheckBox>("chkmispwd"), Qt::LeftButton);
    Find<QLineEdit>("edtmpwd")->setText("Pass99");
    QTest::mouseClick(Find<QPushButton>("btnmstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("合并成功!")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnmstart")->isEnabled() && !w_->IsShaking(), 5000);
    lines = Lines();
    const int merge_from = IndexOf(lines, QStringLiteral("正在分析文件..."));
    QVERIFY(merge_from > from);
    QVERIFY(lines.mid(merge_from).contains(QStringLiteral("校验结果:与原文件相同!")));
    QCOMPARE(ReadBytes(Path("out/movie.bin")), content);
    QCOMPARE(w_->pos(), before);
    QVERIFY(answers.BoxTexts().isEmpty());
  }

  // "停止" holds the job: no line and no byte until "继续"; "清空记录" meanwhile leaves the two
  // start lines, followed by the job's later lines.
  void PauseContinueAndClear() {
    const QString source = Path("big.bin");
    WriteBytes(source, NoiseBytes(48 << 20, 3));
    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("48");
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QTest::mouseClick(Find<QRadioButton>("rgmode3"), Qt::LeftButton);

    PauseWhenStopEnabled hold(Find<QPushButton>("btnstop"), [this] {
      if (auto worker = w_->CutWorker().lock()) {
        worker->Pause();
      }
    });
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstop")->isEnabled(), 5000);
    QVERIFY(!Find<QPushButton>("btnstart")->isEnabled() &&
            !Find<QPushButton>("btncon")->isEnabled());
    QTest::mouseClick(Find<QPushButton>("btnstop"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件分割被停止!"));
    QVERIFY(Find<QPushButton>("btncon")->isEnabled() && !Find<QPushButton>("btnstop")->isEnabled());
    QVERIFY(!Lines().contains(QStringLiteral("分割成功!")));

    auto written = [this] {
      qint64 total = 0;
      for (const QFileInfo& info : QDir(dir_->path()).entryInfoList({"big*.vrk"})) {
        total += info.size();
      }
      return total;
    };
    const QStringList paused_lines = Lines();
    const qint64 paused_bytes = written();
    // Watching for a while that nothing happens: the job must stay put.
    QTest::qWait(400);
    QCOMPARE(Lines(), paused_lines);
    QCOMPARE(written(), paused_bytes);

    QTest::mouseClick(Find<QPushButton>("SpeedButton5"), Qt::LeftButton);
    QCOMPARE(Lines(), QStringList({kStart1, kStart2}));

    QTest::mouseClick(Find<QPushButton>("btncon"), Qt::LeftButton);
    QVERIFY(!Find<QPushButton>("btncon")->isEnabled() && Find<QPushButton>("btnstop")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("分割成功!")), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstart")->isEnabled(), 5000);
    const QStringList lines = Lines();
    QCOMPARE(lines.mid(0, 3), QStringList({kStart1, kStart2, "继续文件分割..."}));
    QVERIFY(lines.size() > 4);
    QVERIFY(lines[3].startsWith(QStringLiteral("正在分割第")));
    QCOMPARE(lines.last(), QStringLiteral("分割成功!"));
    QVERIFY(!lines.contains(QStringLiteral("正在搜集文件信息...")));
  }

  void MergePauseAndContinue() {
    // The merge panel's buttons pause and continue its own job, with its own lines.
    const QString source = Path("m.bin");
    WriteBytes(source, NoiseBytes(24 << 20, 5));
    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("24");
    QTest::mouseClick(Find<QCheckBox>("chkccmp"), Qt::LeftButton);
    QTest::mouseClick(Find<QRadioButton>("rbmd5"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("分割成功!")), 30000);
    QTRY_VERIFY(Find<QPushButton>("btnstart")->isEnabled());
    QFile::remove(source);

    Find<QLineEdit>("edtmpath")->setText(Path("m1.vrk"));
    PauseWhenStopEnabled hold(Find<QPushButton>("btnmstop"), [this] {
      if (auto worker = w_->MergeWorker().lock()) {
        worker->Pause();
      }
    });
    QTest::mouseClick(Find<QPushButton>("btnmstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnmstop")->isEnabled(), 5000);
    QTest::mouseClick(Find<QPushButton>("btnmstop"), Qt::LeftButton);
    QCOMPARE(LastLine(), QStringLiteral("文件合并被停止!"));
    QVERIFY(Find<QPushButton>("btnmcon")->isEnabled() &&
            !Find<QPushButton>("btnmstop")->isEnabled());
    QVERIFY(Find<QPushButton>("btnstart")->isEnabled());
    QTest::mouseClick(Find<QPushButton>("btnmcon"), Qt::LeftButton);
    QVERIFY(!Find<QPushButton>("btnmcon")->isEnabled() &&
            Find<QPushButton>("btnmstop")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("合并成功!")), 30000);
    const QStringList lines = Lines();
    const int stopped = IndexOf(lines, QStringLiteral("文件合并被停止!"));
    QCOMPARE(lines.value(stopped + 1), QStringLiteral("继续文件合并..."));
    QVERIFY(lines.contains(QStringLiteral("校验结果:与原文件相同!")));
    QTRY_VERIFY(Find<QPushButton>("btnmstart")->isEnabled() &&
                !Find<QPushButton>("btnmstop")->isEnabled());
  }

  // A worker's shake: the call waits on the worker's thread until the window is back where it
  // started, and the window really moved on the way.
  void ShakeEndsWhereItStarted() {
    w_->move(200, 150);
    QTRY_COMPARE(w_->pos(), QPoint(200, 150));
    const QPoint start = w_->pos();
    QSet<QPair<int, int>> seen;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
      seen.insert({w_->pos().x() - start.x(), w_->pos().y() - start.y()});
    });
    sampler.start(5);

    auto callbacks = w_->MakeToolContext().host.callbacks;
    QVERIFY(!callbacks->ShakeOption());
    Find<QCheckBox>("chkshake")->click();
    QVERIFY(callbacks->ShakeOption());
    std::atomic<bool> returned{false};
    const auto begun = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration took{};
    std::thread worker([&] {
      callbacks->ShakeWindow();
      took = std::chrono::steady_clock::now() - begun;
      returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
    worker.join();
    QCOMPARE(w_->pos(), start);
    QVERIFY(took >= std::chrono::milliseconds(700));
    QVERIFY(seen.contains({0, -3}));
    QVERIFY(seen.contains({-3, -3}));
    QVERIFY(seen.contains({-3, 0}));
    for (const auto& offset : seen) {
      QVERIFY(offset.first >= -3 && offset.first <= 0 && offset.second >= -3 && offset.second <= 0);
    }
  }

  void Topmost() {
    const QPoint at = w_->pos();
    QTest::mouseClick(Find<QCheckBox>("CheckBox3"), Qt::LeftButton);
    QVERIFY(w_->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(w_->isVisible());
    QCOMPARE(w_->pos(), at);
    QTest::mouseClick(Find<QCheckBox>("CheckBox3"), Qt::LeftButton);
    QVERIFY(!(w_->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(w_->isVisible());
    QVERIFY(!(w_->windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  // A line a worker added before the window adds its own stays before it, even when the
  // window thread has not yet handled the worker's line.
  void LogKeepsOrderAcrossThreads() {
    auto sink = w_->Log().Sink();
    for (int round = 0; round < 20; ++round) {
      std::atomic<bool> added{false};
      std::thread worker([&] {
        sink->Add("worker " + std::to_string(round));
        added = true;
      });
      while (!added) {
        std::this_thread::yield();
      }
      w_->Log().Add(QStringLiteral("window %1").arg(round));
      worker.join();
    }
    QStringList expected{kStart1, kStart2};
    for (int round = 0; round < 20; ++round) {
      expected << QStringLiteral("worker %1").arg(round) << QStringLiteral("window %1").arg(round);
    }
    QCOMPARE(Lines(), expected);

    // Many threads at once: every line arrives whole, each thread's in its own order.
    Find<QPushButton>("SpeedButton5")->click();
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
      workers.emplace_back([sink, t] {
        for (int i = 0; i < 200; ++i) {
          sink->Add("t" + std::to_string(t) + " line " + std::to_string(i));
        }
      });
    }
    for (auto& worker : workers) {
      worker.join();
    }
    QTRY_COMPARE(Lines().size(), 2 + 800);
    int next[4] = {0, 0, 0, 0};
    for (const QString& line : Lines().mid(2)) {
      const int t = line.mid(1, 1).toInt();
      QCOMPARE(line, QStringLiteral("t%1 line %2").arg(t).arg(next[t]));
      ++next[t];
    }
  }

  // Closing the window releases every worker waiting on it, paused or in a callback, and once
  // the user agreed, stops the paused job.
  void ClosingReleasesWorkers() {
    auto context = w_->MakeToolContext();
    Find<QCheckBox>("chkshake")->click();
    std::atomic<bool> returned{false};
    std::thread shaker([&] {
      context.host.callbacks->ShakeWindow();
      returned = true;
    });
    QTRY_VERIFY(w_->IsShaking());

    const QString source = Path("closing.bin");
    WriteBytes(source, NoiseBytes(16 << 20, 9));
    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("16");
    QTest::mouseClick(Find<QCheckBox>("chkzlib"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstop")->isEnabled(), 5000);
    QTest::mouseClick(Find<QPushButton>("btnstop"), Qt::LeftButton);
    auto worker = w_->CutWorker().lock();
    QVERIFY(worker != nullptr);

    // The question whether to stop the job is answered Yes.
    QTimer yes;
    yes.setInterval(10);
    connect(&yes, &QTimer::timeout, this, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (QAbstractButton* button = box->button(QMessageBox::Yes)) {
          button->click();
        }
      }
    });
    yes.start();
    const auto closing = std::chrono::steady_clock::now();
    QVERIFY(w_->close());
    QVERIFY(w_->IsClosing());
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 1000);
    shaker.join();
    QVERIFY(std::chrono::steady_clock::now() - closing < std::chrono::seconds(2));
    // Its Execute has returned (its files are gone) by now; the end of its thread may follow.
    QVERIFY(worker->WaitFinished(std::chrono::seconds(5)));
    worker.reset();
    shell_.main.reset();
  }
};

QTEST_MAIN(MainfmTest)
#include "mainfm_test.moc"
