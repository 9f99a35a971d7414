// The hex view window driven through its own widgets: file choice, file lines, offsets,
// double-byte mode, the search with its dialog and messages.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/app_test_util.h"
#include "app/format_size.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hex.h"
#include "hex/window/hex_window_test_util.h"
#include "hex/window/ufind.h"

using qarvo::hex::Thexfm;
using qarvo::test::ModalAnswerer;

namespace {

// Types the name as a user would: selectFile alone is undone once the name box has the focus.
void ChooseFile(QFileDialog* files, const QString& path) {
  files->selectFile(path);
  if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    name->setText(path);
  }
  QMetaObject::invokeMethod(files, "accept");
}

// A window over a file of `bytes`, loaded through "选择文件" and its open dialog.
struct Window {
  QTemporaryDir dir;
  QPointer<Thexfm> w = new Thexfm(nullptr, &qarvo::ui::FormatSizeText);
  ModalAnswerer answers;
  QList<int> progress;

  Window() {
    QObject::connect(ViewOf(w), &qarvo::hex::TMPHexEditorEx::progress, w,
                     [this](int, const QString&, int percent, bool*) {
                       // The window's own handler ran first and wrote the line.
                       if (Named<QLabel>(w, "Label4")->text() ==
                           QStringLiteral("正在读取文件...%1%").arg(percent)) {
                         progress << percent;
                       }
                     });
    w->show();
    Activate();
  }
  void Activate() { ActivateWindow(w); }
  ~Window() { delete w.data(); }
  void Open(const QByteArray& bytes, const QString& name = QStringLiteral("data.bin")) {
    const QString path = dir.filePath(name);
    qarvo::test::WriteBytes(path, bytes);
    answers.OnNextDialog([path](QWidget* dialog) {
      auto* files = qobject_cast<QFileDialog*>(dialog);
      ChooseFile(files, path);
    });
    QTest::mouseClick(Named<QPushButton>(w, "btnfile"), Qt::LeftButton);
    Activate();
  }
  // Confirms the find dialog with `text` (and "忽略大小写" as given) through "查找数据".
  void Search(const QString& text, bool no_case = false, bool by_key = false) {
    answers.OnNextDialog([text, no_case](QWidget* dialog) {
      auto* find = qobject_cast<qarvo::hex::TdlgFind*>(dialog);
      Named<QLineEdit>(find, "edFind")->setText(text);
      Named<QCheckBox>(find, "cbNoCase")->setChecked(no_case);
      QTest::mouseClick(Named<QPushButton>(find, "Button1"), Qt::LeftButton);
    });
    if (by_key) {
      QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
    } else {
      QTest::mouseClick(Named<QPushButton>(w, "btnfind"), Qt::LeftButton);
    }
    Activate();
  }
  qint64 SelLow() const { return std::min(ViewOf(w)->SelectionStart(), ViewOf(w)->SelectionEnd()); }
};

}  // namespace

class HexWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsAndCaptions() {
    Window t;
    Thexfm* w = t.w;
    QCOMPARE(w->windowTitle(), QStringLiteral("文件十六进制查看"));
    QCOMPARE(w->size(), QSize(634, 399));
    QCOMPARE(w->findChild<QPushButton*>("btnfind")->text(), QStringLiteral(" 查找数据"));
    QCOMPARE(w->findChild<QPushButton*>("btnfindnaxt")->text(), QStringLiteral("查找下一个"));
    QCOMPARE(w->findChild<QLabel*>("Label3")->text(), QStringLiteral("偏移格式-->"));
    QVERIFY(w->findChild<QRadioButton*>("rbdec")->isChecked());
    QVERIFY(!w->findChild<QCheckBox*>("chkdouble")->isChecked());
    QCOMPARE(w->findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("文件信息"));
    QCOMPARE(Named<QAction>(w, "acEditFind")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    QCOMPARE(Named<QAction>(w, "actEditFindNext")->shortcut(), QKeySequence(Qt::Key_F3));
    QStringList menu;
    for (QAction* a : Named<QMenu>(w, "PopupMenu1")->actions()) {
      menu << a->text();
    }
    // The old entries in their order, with the newer ones among and behind them.
    QCOMPARE(menu,
             QStringList({"复制", "全选", "复制为十六进制", "查找数据", "查找下一个", "查找上一个",
                          "转到...", "", "另存为...", "", "数据查看器", "字符编码"}));
    QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
    // A right click on the view brings up the window's menu.
    QWidget* port = ViewOf(w)->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(100, 60),
                            port->mapToGlobal(QPoint(100, 60)));
    QApplication::sendEvent(port, &click);
    QCOMPARE(QApplication::activePopupWidget(),
             static_cast<QWidget*>(Named<QMenu>(w, "PopupMenu1")));
    Named<QMenu>(w, "PopupMenu1")->close();
  }

  void EmptyFileHasNoProgressAndNoSearch() {
    Window t;
    t.Open(QByteArray());
    QCOMPARE(Named<QLabel>(t.w, "Label1")->text(), QStringLiteral("文件大小--> 0Byte(0字节)"));
    QVERIFY(t.w->windowTitle().startsWith(QStringLiteral("文件十六进制查看->/")));
    QVERIFY(t.progress.isEmpty());
    QVERIFY(!Named<QAction>(t.w, "acEditFind")->isEnabled());
    QVERIFY(!Named<QAction>(t.w, "actEditFindNext")->isEnabled());
    QVERIFY(!Named<QPushButton>(t.w, "btnfind")->isEnabled());
    QVERIFY(Named<QPushButton>(t.w, "btnfile")->isEnabled());
  }

  void SmallFileLinesWithoutProgress() {
    Window t;
    t.Open(QByteArray(2000, 'x'), QStringLiteral(".hidden"));
    QVERIFY(t.progress.isEmpty());  // the file is read where it lies, nothing is copied
    QVERIFY(Named<QLabel>(t.w, "Label4")->text().isEmpty());
    QCOMPARE(Named<QLabel>(t.w, "Label1")->text(), QStringLiteral("文件大小--> 1.9KB(2000字节)"));
    QCOMPARE(Named<QLabel>(t.w, "Label5")->text(), QStringLiteral("文件属性  隐藏,归档"));
    QVERIFY(Named<QLabel>(t.w, "Label2")->text().startsWith(QStringLiteral("创建日期  ")));
    QVERIFY(Named<QLabel>(t.w, "Label6")->text().startsWith(QStringLiteral("修改日期  ")));
    QVERIFY(Named<QAction>(t.w, "acEditFind")->isEnabled());
    QVERIFY(!Named<QAction>(t.w, "actEditFindNext")->isEnabled());  // nothing searched yet
    // A cancelled choice changes nothing.
    t.answers.OnNextDialog([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    QTest::mouseClick(Named<QPushButton>(t.w, "btnfile"), Qt::LeftButton);
    QCOMPARE(ViewOf(t.w)->DataSize(), 2000);
  }

  void StatusLinesFollowCaretInBothBases() {
    Window t;
    t.Open(QByteArray(5000, 'x'));
    ViewOf(t.w)->SetCaretPosition(1234);
    QCoreApplication::processEvents();  // the view sends its selection changes queued, as one
    QCOMPARE(Named<QLabel>(t.w, "lblpos")->text(), QStringLiteral("当前位置:1234"));
    QCOMPARE(Named<QLabel>(t.w, "lblsel")->text(), QStringLiteral("选择区域:1234-1234"));
    QTest::mouseClick(Named<QRadioButton>(t.w, "rbhex"), Qt::LeftButton);
    QCOMPARE(Named<QLabel>(t.w, "lblpos")->text(), QStringLiteral("当前位置:0x04D2"));
    ViewOf(t.w)->SetSelectionEnd(1200);
    QCoreApplication::processEvents();
    QCOMPARE(Named<QLabel>(t.w, "lblsel")->text(), QStringLiteral("选择区域:0x04B0-0x04D2"));
    // "全选" of the context menu, then "复制".
    Named<QMenu>(t.w, "PopupMenu1")->actions()[1]->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(Named<QLabel>(t.w, "lblsel")->text(), QStringLiteral("选择区域:0x0000-0x1387"));
    Named<QMenu>(t.w, "PopupMenu1")->actions()[0]->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString(5000, 'x'));
  }

  void FirstSearchDecidesTextOrHex() {
    {
      Window t;
      t.Open(QByteArray("..hello..\xAB..hello..abc", 22));
      t.Search(QStringLiteral("abc"));  // hex digits: the byte AB, the unpaired c dropped
      QVERIFY(!t.w->Find().FindIsText);
      QCOMPARE(t.SelLow(), 9);
      QCOMPARE(ViewOf(t.w)->SelectionCount(), 1);
      t.Search(QStringLiteral("he"));  // still hex for this window: no byte to search
      QCOMPARE(t.SelLow(), 9);
      QVERIFY(t.answers.BoxTexts().isEmpty());
    }
    Window text;
    text.Open(QByteArray("..hello..HELLO..", 16));
    text.Search(QStringLiteral("HELLO"), true, true);  // through Ctrl+F
    QVERIFY(text.w->Find().FindIsText);
    QCOMPARE(text.SelLow(), 2);
    QCOMPARE(ViewOf(text.w)->CaretPosition(), 6);  // the caret on the last byte
    QTest::keyClick(text.w, Qt::Key_F3);
    QCOMPARE(text.SelLow(), 9);
    QTest::keyClick(text.w, Qt::Key_F3);
    QCOMPARE(text.answers.BoxTexts(), QStringList({"找不到该字符串!"}));
    QCOMPARE(text.answers.BoxTitles(), QStringList({"提示"}));
    QCOMPARE(text.SelLow(), 9);  // a failed search leaves the selection
  }

  void F3AfterAOneByteMatchMovesOn() {
    {
      Window t;
      t.Open(QByteArray("\x41\x41x\x41", 4));
      t.Search(QStringLiteral("41"));
      QCOMPARE(t.SelLow(), 0);
      QTest::mouseClick(Named<QPushButton>(t.w, "btnfindnaxt"), Qt::LeftButton);
      QCOMPARE(t.SelLow(), 1);
      QTest::keyClick(t.w, Qt::Key_F3);
      QCOMPARE(t.SelLow(), 3);
      QVERIFY(t.answers.BoxTexts().isEmpty());
    }
    // The dialog opens with the last text; with ignore case 41 also finds the 61 byte.
    Window cases;
    cases.Open(QByteArray("xa", 2));
    cases.Search(QStringLiteral("41"), true);
    QCOMPARE(cases.SelLow(), 1);
  }

  void DoubleByteModeRefusalsAndMultiByteSearch() {
    {
      Window odd;
      odd.Open(QByteArray("abc"));
      QTest::mouseClick(Named<QCheckBox>(odd.w, "chkdouble"), Qt::LeftButton);
      QCOMPARE(odd.answers.BoxTexts(), QStringList({"文件大小为奇数,不能使用双字节!"}));
      QVERIFY(!ViewOf(odd.w)->Settings().unicode_chars);
      QVERIFY(!Named<QCheckBox>(odd.w, "chkdouble")->isChecked());
      odd.Search(QStringLiteral("62"));  // the window goes on working
      QCOMPARE(odd.SelLow(), 1);
    }
    {
      Window even;
      even.Open(QByteArray("a\0b\0A\0", 6));
      QTest::mouseClick(Named<QCheckBox>(even.w, "chkdouble"), Qt::LeftButton);
      QVERIFY(ViewOf(even.w)->Settings().unicode_chars);
      QCOMPARE(ViewOf(even.w)->Settings().bytes_per_unit, 2);
      even.Search(QStringLiteral("41"));  // one byte in two-byte units
      QCOMPARE(even.answers.BoxTexts(), QStringList({"查找的字符串必须是一个多字节数据!"}));
      QCOMPARE(ViewOf(even.w)->SelectionCount(), 0);
    }
    Window wide;
    wide.Open(QByteArray("a\0b\0A\0", 6));
    QTest::mouseClick(Named<QCheckBox>(wide.w, "chkdouble"), Qt::LeftButton);
    wide.Search(QStringLiteral("hi"));  // the first search is text: UTF-16, 2 bytes a character
    wide.Search(QStringLiteral("A"));
    QCOMPARE(wide.SelLow(), 4);
    QCoreApplication::processEvents();
    QCOMPARE(Named<QLabel>(wide.w, "lblsel")->text(),
             QStringLiteral("选择区域:2-2"));  // counted in units
  }

  void LoadErrorReachesTheBoxAndWindowStaysUsable() {
    Window t;
    const QString pipe = t.dir.filePath("pipe");
    QCOMPARE(::mkfifo(pipe.toUtf8().constData(), 0600), 0);
    t.w->OpenFile(pipe);  // refused at once, not waited on for a writer
    t.w->OpenFile(t.dir.path());
    QCOMPARE(t.answers.BoxTexts().size(), 2);
    QVERIFY2(t.answers.BoxTexts()[0].contains(QStringLiteral("不是普通文件")),
             qPrintable(t.answers.BoxTexts()[0]));
    QVERIFY2(t.answers.BoxTexts()[1].contains(QStringLiteral("是文件夹")),
             qPrintable(t.answers.BoxTexts()[1]));
    QVERIFY(Named<QPushButton>(t.w, "btnfile")->isEnabled());
    QVERIFY(Named<QLabel>(t.w, "Label4")->text().isEmpty());
    QCOMPARE(ViewOf(t.w)->DataSize(), 0);
    t.Open("ok");
    QCOMPARE(ViewOf(t.w)->DataSize(), 2);
  }

  void TwoGigabyteFileOpens() {
    Window t;
    const QString path = t.dir.filePath("big");
    QFile big(path);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(int64_t{1} << 31));  // sparse: nothing on the disk
    big.close();
    t.answers.OnNextDialog(
        [path](QWidget* dialog) { ChooseFile(qobject_cast<QFileDialog*>(dialog), path); });
    QTest::mouseClick(Named<QPushButton>(t.w, "btnfile"), Qt::LeftButton);
    QVERIFY(t.answers.BoxTexts().isEmpty());
    QCOMPARE(Named<QLabel>(t.w, "Label1")->text(),
             QStringLiteral("文件大小--> 2GB(2147483648字节)"));
    QCOMPARE(ViewOf(t.w)->DataSize(), int64_t{1} << 31);
  }

  void ClosingDeletesTheWindowAndItsBuffer() {
    auto* w = new Thexfm(nullptr, &qarvo::ui::FormatSizeText);
    QPointer<QWidget> view = ViewOf(w);
    QPointer<QWidget> window = w;
    w->show();
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QVERIFY(view.isNull());
  }
};

QTEST_MAIN(HexWindowTest)
#include "hex_window_qtest.moc"
