#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/addfm.h"
#include "app/cmpfm.h"
#include "app/mainfm.h"
#include "app/mp3fm.h"
#include "app/tool_windows.h"

#include "app/tool_window_test_util.h"
#include "support/capture_log.h"

namespace {

using namespace qarvo;
using namespace qarvo::ui;

// MainLog as the workers see it; the test waits on its lines.
using TestLog = qarvo::test::CaptureLog;
using qarvo::test::ReadBytes;
using qarvo::test::SeenBox;
using qarvo::test::TypeFileName;
using qarvo::test::WriteBytes;
using ModalAnswerer = qarvo::test::ToolModalAnswerer;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  }
  return bytes;
}

}  // namespace

class FileToolsTest : public QObject {
  Q_OBJECT

 private:
  std::shared_ptr<TestLog> log_;
  ToolContext Context() {
    log_ = std::make_shared<TestLog>();
    ToolContext context;
    context.host.log = log_;
    return context;
  }
  // Shows the window the way the main window's menu leaves it, ready for input.
  template <typename T>
  std::unique_ptr<T> Open(QDialog* (*create)(const ToolContext&)) {
    std::unique_ptr<T> window(qobject_cast<T*>(create(Context())));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
      qWarning("the tool window was not exposed");
    }
    return window;
  }
  // Clicks `button` and returns the one box it raised.
  static SeenBox ClickForBox(QAbstractButton* button) {
    ModalAnswerer answerer;
    button->click();
    if (answerer.boxes.size() != 1) {
      return {QStringLiteral("<%1 boxes>").arg(answerer.boxes.size()), QString(),
              QMessageBox::NoIcon, 0};
    }
    return answerer.boxes.front();
  }
  static void ExpectHint(const SeenBox& box, const QString& text) {
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, 1);
  }

 private slots:
  void factoriesAreBuilt() {
    ToolContext context = Context();
    for (auto* create : {&CreateTaddfm, &CreateTcmpfm, &CreateTmp3fm}) {
      std::unique_ptr<QDialog> window(create(context));
      QVERIFY(window != nullptr);
    }
  }

  // ---- 文件捆绑 ----

  void bundleWindowControls() {
    auto window = Open<Taddfm>(&CreateTaddfm);
    QCOMPARE(window->windowTitle(), QStringLiteral("文件捆绑"));
    QCOMPARE(window->size(), QSize(430, 69));
    QCOMPARE(window->findChild<QLabel*>("StaticText1")->text(), QStringLiteral("头文件"));
    QCOMPARE(window->findChild<QLabel*>("StaticText2")->text(), QStringLiteral("尾文件"));
    auto* btn1 = window->findChild<QPushButton*>("btn1");
    QCOMPARE(btn1->text(), QStringLiteral("开始"));
    QVERIFY(btn1->isDefault());
    QCOMPARE(window->findChild<QToolButton*>("SpeedButton1")->text(), QStringLiteral("浏览..."));
    QCOMPARE(window->findChild<QToolButton*>("SpeedButton2")->text(), QStringLiteral("浏览..."));
    QVERIFY(window->findChild<QFileDialog*>("OpenDialog1") != nullptr);
    // Each edit shows its whole text as its tooltip.
    auto* edit2 = window->findChild<QLineEdit*>("Edit2");
    QTest::keyClicks(edit2, "/some/long/path");
    QCOMPARE(edit2->toolTip(), QStringLiteral("/some/long/path"));
    window->Edit1->setText(QStringLiteral("/a"));
    QCOMPARE(window->Edit1->toolTip(), QStringLiteral("/a"));
  }

  void bundleRefusesMissingFilesInOrder() {
    QTemporaryDir dir;
    const QString head = dir.filePath("head");
    WriteBytes(head, "0123456789");
    auto window = Open<Taddfm>(&CreateTaddfm);

    window->btn1->setFocus();
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("头文件不存在!"));
    QCOMPARE(window->focusWidget(), window->Edit1);
    QVERIFY(window->isVisible());

    // A folder, a named pipe or a device is named as what it is: the job could not end on one.
    window->Edit1->setText(dir.path());
    window->Edit2->setText(head);
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("头文件是一个文件夹,不是普通文件!"));
    const QString fifo = dir.filePath("pipe");
    QVERIFY(::mkfifo(fifo.toUtf8().constData(), 0600) == 0);
    window->Edit1->setText(head);
    window->Edit2->setText(fifo);
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("尾文件是一个命名管道,不是普通文件!"));
    QCOMPARE(window->focusWidget(), window->Edit2);

    window->Edit1->setText(head);
    window->Edit2->setText(dir.filePath("nothing"));
    window->btn1->setFocus();
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("尾文件不存在!"));
    QCOMPARE(window->focusWidget(), window->Edit2);
    QVERIFY(window->isVisible());
    QCOMPARE(window->Edit1->text(), head);
    QVERIFY(log_->Lines().empty());
    QCOMPARE(ReadBytes(head), std::string("0123456789"));
  }

  void bundleStartsTheJobAndCloses() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("head"), "0123456789");
    WriteBytes(dir.filePath("tail"), "abcde");
    auto window = Open<Taddfm>(&CreateTaddfm);
    window->Edit1->setText(dir.filePath("head"));
    window->Edit2->setText(dir.filePath("tail"));
    ModalAnswerer answerer;
    window->btn1->click();
    QVERIFY(answerer.boxes.empty());
    QVERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(QDialog::Accepted));
    const std::vector<std::string> expected{"头文件大小:10字节,尾文件大小:5字节", "正在添加...",
                                            "添加完毕!"};
    QCOMPARE(log_->WaitFor(3), expected);
    QCOMPARE(ReadBytes(dir.filePath("head")), std::string("0123456789abcde"));
  }

  void bundleSameFileIsRefusedByTheJob() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("one"), "same");
    auto window = Open<Taddfm>(&CreateTaddfm);
    window->Edit1->setText(dir.filePath("one"));
    window->Edit2->setText(dir.filePath("one"));
    window->btn1->click();
    QCOMPARE(log_->WaitFor(1), std::vector<std::string>{"文件很可能正在被另外一个程序调用!"});
    QCOMPARE(ReadBytes(dir.filePath("one")), std::string("same"));
  }

  void bundleBrowseFillsOrKeepsTheEdit() {
    QTemporaryDir dir;
    const QString file = dir.filePath("picked.bin");
    WriteBytes(file, "x");
    auto window = Open<Taddfm>(&CreateTaddfm);
    window->Edit1->setText(QStringLiteral("typed"));
    {
      ModalAnswerer cancel;
      window->SpeedButton1->click();
    }
    QCOMPARE(window->Edit1->text(), QStringLiteral("typed"));
    {
      ModalAnswerer pick;
      pick.on_file_dialog = [&](QFileDialog* dialog) {
        QCOMPARE(dialog, window->OpenDialog2);
        TypeFileName(dialog, file);
        static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
      };
      window->SpeedButton2->click();
    }
    QCOMPARE(window->Edit2->text(), file);
    QCOMPARE(window->Edit2->toolTip(), file);
  }

  // ---- 文件对比 ----

  void compareWindowControls() {
    auto window = Open<Tcmpfm>(&CreateTcmpfm);
    QCOMPARE(window->windowTitle(), QStringLiteral("文件对比"));
    // Wider and taller than the two-method window was: four more methods and longer captions.
    QCOMPARE(window->size(), QSize(422, 154));
    QCOMPARE(window->StaticText1->text(), QStringLiteral("文件1"));
    QCOMPARE(window->StaticText2->text(), QStringLiteral("文件2"));
    QCOMPARE(window->findChild<QRadioButton*>("rbcrc")->text(), QStringLiteral("CRC32对比"));
    QCOMPARE(window->findChild<QRadioButton*>("rbmd5")->text(), QStringLiteral("MD5对比"));
    QVERIFY(window->rbcrc->isChecked());
    QVERIFY(!window->rbmd5->isChecked());
    QVERIFY(window->rbmd5->x() < window->rbcrc->x());
    window->rbmd5->click();
    QVERIFY(!window->rbcrc->isChecked());
    QVERIFY(window->btn1->isDefault());
    QCOMPARE(window->btn1->text(), QStringLiteral("开始"));
  }

  void compareRefusesMissingFilesInOrder() {
    QTemporaryDir dir;
    const QString file = dir.filePath("f");
    WriteBytes(file, "abc");
    auto window = Open<Tcmpfm>(&CreateTcmpfm);
    window->btn1->setFocus();
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("文件1不存在!"));
    QCOMPARE(window->focusWidget(), window->Edit1);
    window->Edit1->setText(file);
    window->Edit2->setText(dir.path());
    window->btn1->setFocus();
    ExpectHint(ClickForBox(window->btn1), QStringLiteral("文件2不存在!"));
    QCOMPARE(window->focusWidget(), window->Edit2);
    QVERIFY(window->isVisible());
    QVERIFY(log_->Lines().empty());
  }

  void compareRunsInTheChosenMode() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("a"), "123456789");
    WriteBytes(dir.filePath("b"), "abc");
    auto crc = Open<Tcmpfm>(&CreateTcmpfm);
    crc->Edit1->setText(dir.filePath("a"));
    crc->Edit2->setText(dir.filePath("a"));
    crc->btn1->click();
    QCOMPARE(crc->result(), int(QDialog::Accepted));
    const std::vector<std::string> crc_lines{"正在生成文件1 CRC32值....", "文件1 CRC32值:CBF43926",
                                             "正在生成文件2 CRC32值...", "文件2 CRC32值:CBF43926",
                                             "两文件相同"};
    QCOMPARE(log_->WaitFor(5), crc_lines);

    auto md5 = Open<Tcmpfm>(&CreateTcmpfm);
    md5->rbmd5->click();
    md5->Edit1->setText(dir.filePath("a"));
    md5->Edit2->setText(dir.filePath("b"));
    md5->btn1->click();
    const std::vector<std::string> md5_lines{
        "正在生成文件1 MD5值...", "文件1 MD5值:25f9e794323b453885f5181f1b624d0b",
        "正在生成文件2 MD5值...", "文件2 MD5值:900150983cd24fb0d6963f7d28e17f72", "两文件不相同"};
    QCOMPARE(log_->WaitFor(5), md5_lines);
  }

  void compareMethodsNameTheirFields() {
    auto window = Open<Tcmpfm>(&CreateTcmpfm);
    QCOMPARE(window->rbsha256->text(), QStringLiteral("SHA256对比"));
    QCOMPARE(window->rbbytes->text(), QStringLiteral("逐字节比较"));
    window->rbexpect->click();
    QCOMPARE(window->StaticText1->text(), QStringLiteral("文件"));
    QCOMPARE(window->StaticText2->text(), QStringLiteral("校验值"));
    QVERIFY(window->Edit2->isEnabled());
    QVERIFY(!window->SpeedButton2->isEnabled());
    window->rbsums->click();
    QCOMPARE(window->StaticText1->text(), QStringLiteral("校验文件"));
    QVERIFY(!window->Edit2->isEnabled());
    QVERIFY(window->OpenDialog1->nameFilters().join(";").contains(QStringLiteral("*.sfv")));
    window->rbbytes->click();
    QCOMPARE(window->StaticText1->text(), QStringLiteral("文件1"));
    QCOMPARE(window->StaticText2->text(), QStringLiteral("文件2"));
    QVERIFY(window->Edit2->isEnabled());
    QVERIFY(window->SpeedButton2->isEnabled());
  }

  void compareExpectRefusesABadChecksumBeforeReading() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("abc"), "abc");
    auto window = Open<Tcmpfm>(&CreateTcmpfm);
    window->rbexpect->click();
    window->Edit1->setText(dir.filePath("abc"));
    window->Edit2->setText(QStringLiteral("352441c"));
    window->btn1->setFocus();
    ExpectHint(
        ClickForBox(window->btn1),
        QStringLiteral("校验值应为8位(CRC32)、32位(MD5)、40位(SHA1)或64位(SHA256)十六进制数字!"));
    QCOMPARE(window->focusWidget(), window->Edit2);
    QVERIFY(window->isVisible());
    QVERIFY(log_->Lines().empty());

    window->Edit2->setText(QStringLiteral("  352441C2\n"));
    window->btn1->click();
    QCOMPARE(window->result(), int(QDialog::Accepted));
    const std::vector<std::string> lines{"正在生成文件 CRC32值...", "文件 CRC32值:352441C2",
                                         "期望的 CRC32值:352441C2", "文件与期望的CRC32值相符"};
    QCOMPARE(log_->WaitFor(4), lines);
  }

  void compareBytesAndChecksumFileRunFromTheWindow() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("a"), "abcdef");
    WriteBytes(dir.filePath("b"), "abcdeX");
    auto bytes = Open<Tcmpfm>(&CreateTcmpfm);
    bytes->rbbytes->click();
    bytes->Edit1->setText(dir.filePath("a"));
    bytes->Edit2->setText(dir.filePath("b"));
    bytes->btn1->click();
    const std::vector<std::string> byte_lines{
        "正在逐字节比较文件1和文件2...", "第一处不同在偏移 5 (0x5): 文件1为 0x66, 文件2为 0x58",
        "两文件不相同"};
    QCOMPARE(log_->WaitFor(3), byte_lines);

    WriteBytes(dir.filePath("list.md5"), "e80b5017098950fc58aad83c8c14978e  a\n");
    auto sums = Open<Tcmpfm>(&CreateTcmpfm);
    sums->rbsums->click();
    sums->btn1->setFocus();
    ExpectHint(ClickForBox(sums->btn1), QStringLiteral("校验文件不存在!"));
    sums->Edit1->setText(dir.filePath("list.md5"));
    sums->btn1->click();
    const std::vector<std::string> sums_lines{
        "正在检查校验文件 " + dir.filePath("list.md5").toStdString() + " ...", "a: 相符",
        "共 1 个文件,全部相符"};
    QCOMPARE(log_->WaitFor(3), sums_lines);
  }

  void compareBrowseCancelKeepsTheEdit() {
    auto window = Open<Tcmpfm>(&CreateTcmpfm);
    window->Edit1->setText(QStringLiteral("kept"));
    ModalAnswerer answerer;
    bool seen = false;
    answerer.on_file_dialog = [&](QFileDialog* dialog) {
      seen = true;
      QVERIFY(dialog->nameFilters().join(";").startsWith(QStringLiteral("任何文件")));
      dialog->reject();
    };
    window->SpeedButton1->click();
    QVERIFY(seen);
    QCOMPARE(window->Edit1->text(), QStringLiteral("kept"));
  }

  // ---- MP3剪辑 ----

  void mp3WindowInitialState() {
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    QCOMPARE(window->windowTitle(), QStringLiteral("MP3剪辑"));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->lbl5->text(), QStringLiteral("源文件"));
    QCOMPARE(window->lbl6->text(), QStringLiteral("释放到"));
    QCOMPARE(window->lbl2->text(), QStringLiteral("播放时间"));
    QCOMPARE(window->lbl3->text(), QStringLiteral("起始时间"));
    QCOMPARE(window->lbl4->text(), QStringLiteral("结束时间"));
    QCOMPARE(window->lbl1->text(), QStringLiteral("注:3个方框分别表示时,分,秒\n"));
    QCOMPARE(window->chkisdir->text(), QStringLiteral("默认释放到源文件目录"));
    QVERIFY(window->chkisdir->isChecked());
    QVERIFY(!window->edtdir->isEnabled());
    QVERIFY(!window->btn3->isEnabled());
    QVERIFY(window->btn2->isDefault());
    QCOMPARE(window->btn2->text(), QStringLiteral("开始"));
    QCOMPARE(window->btn1->text(), QStringLiteral("浏览..."));
    for (const char* name :
         {"edth1", "edtm1", "edts1", "edth2", "edtm2", "edts2", "edth3", "edtm3", "edts3"}) {
      auto* box = window->findChild<QLineEdit*>(name);
      QVERIFY2(box != nullptr, name);
      QCOMPARE(box->text(), QStringLiteral("00"));
      QCOMPARE(box->maxLength(), 2);
    }
  }

  void mp3MinuteAndSecondBoxesStopAtSixty() {
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    for (QLineEdit* box : {window->edtm1, window->edts1, window->edtm2, window->edts2,
                           window->edtm3, window->edts3}) {
      box->clear();
      QTest::keyClicks(box, "75");
      QCOMPARE(box->text(), QStringLiteral("60"));
      box->clear();
      QTest::keyClicks(box, "60");
      QCOMPARE(box->text(), QStringLiteral("60"));
      box->setText(QStringLiteral("61"));
      QCOMPARE(box->text(), QStringLiteral("60"));
      box->setText(QStringLiteral("7x"));
      QCOMPARE(box->text(), QStringLiteral("7x"));
    }
    for (QLineEdit* box : {window->edth1, window->edth2, window->edth3}) {
      box->clear();
      QTest::keyClicks(box, "99");
      QCOMPARE(box->text(), QStringLiteral("99"));
    }
  }

  void mp3TargetDirectoryFollowsTheSource() {
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    WriteBytes(song, "x");
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    window->edtmp3path->setText(song);
    QCOMPARE(window->edtdir->text(), dir.path());
    QCOMPARE(window->edtdir->toolTip(), dir.path());

    window->chkisdir->click();
    QVERIFY(window->edtdir->isEnabled());
    QVERIFY(window->btn3->isEnabled());
    window->edtdir->setText(QStringLiteral("/elsewhere"));
    window->edtmp3path->setText(dir.filePath("other.mp3"));
    QCOMPARE(window->edtdir->text(), QStringLiteral("/elsewhere"));

    // Ticked again with a source that does not exist: the directory stays.
    window->chkisdir->click();
    QVERIFY(!window->edtdir->isEnabled());
    QCOMPARE(window->edtdir->text(), QStringLiteral("/elsewhere"));
    window->chkisdir->click();
    window->edtmp3path->setText(song);
    window->chkisdir->click();
    QCOMPARE(window->edtdir->text(), dir.path());
    QVERIFY(!window->btn3->isEnabled());
  }

  void mp3BrowseSetsPathAndHint() {
    QTemporaryDir dir;
    const QString song = dir.filePath("a.mp3");
    WriteBytes(song, "x");
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    {
      ModalAnswerer pick;
      pick.on_file_dialog = [&](QFileDialog* dialog) {
        QVERIFY(dialog->nameFilters().join(";").contains(QStringLiteral("*.mp3")));
        TypeFileName(dialog, song);
        static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
      };
      window->btn1->click();
    }
    QCOMPARE(window->edtmp3path->text(), song);
    QCOMPARE(window->edtmp3path->toolTip(), song);
    window->edtmp3path->setText(QStringLiteral("typed.mp3"));
    {
      ModalAnswerer cancel;
      window->btn1->click();
    }
    QCOMPARE(window->edtmp3path->text(), QStringLiteral("typed.mp3"));
    QCOMPARE(window->edtmp3path->toolTip(), QStringLiteral("typed.mp3"));
  }

  void mp3RefusesMissingFileAndDirectory() {
    QTemporaryDir dir;
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    window->btn2->setFocus();
    ExpectHint(ClickForBox(window->btn2), QStringLiteral("文件不存在!"));
    QCOMPARE(window->focusWidget(), window->edtmp3path);

    const QString song = dir.filePath("song.mp3");
    WriteBytes(song, "x");
    window->edtmp3path->setText(song);
    window->chkisdir->click();
    window->edtdir->setText(dir.filePath("missing"));
    window->btn2->setFocus();
    ExpectHint(ClickForBox(window->btn2), QStringLiteral("目录不存在!"));
    QCOMPARE(window->focusWidget(), window->edtdir);
    QVERIFY(window->isVisible());
    QVERIFY(log_->Lines().empty());
  }

  void mp3RefusesWrongTimes_data() {
    QTest::addColumn<QStringList>("times");  // play h m s, start h m s, end h m s
    QTest::newRow("all zero") << QStringList{"00", "00", "00", "00", "00", "00", "00", "00", "00"};
    QTest::newRow("empty box") << QStringList{"00", "03", "", "00", "00", "00", "00", "01", "00"};
    QTest::newRow("letter") << QStringList{"00", "03", "00", "0a", "00", "00", "00", "01", "00"};
    QTest::newRow("end after play")
        << QStringList{"00", "03", "00", "00", "00", "00", "00", "03", "01"};
    QTest::newRow("start after play")
        << QStringList{"00", "03", "00", "00", "04", "00", "00", "03", "00"};
    QTest::newRow("end before start")
        << QStringList{"00", "03", "00", "00", "02", "00", "00", "01", "00"};
  }

  void mp3RefusesWrongTimes() {
    QFETCH(QStringList, times);
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    WriteBytes(song, Pattern(1800));
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    window->edtmp3path->setText(song);
    QLineEdit* boxes[] = {window->edth1, window->edtm1, window->edts1, window->edth2, window->edtm2,
                          window->edts2, window->edth3, window->edtm3, window->edts3};
    for (int i = 0; i < 9; ++i) {
      boxes[i]->setText(times[i]);
    }
    ExpectHint(ClickForBox(window->btn2), QStringLiteral("时间填写不正确!"));
    QVERIFY(window->isVisible());
    QCOMPARE(window->edtmp3path->text(), song);
    QVERIFY(log_->Lines().empty());
    QVERIFY(!QFile::exists(dir.filePath("song剪辑.mp3")));
  }

  void mp3CutsUpToThePlayingTime() {
    QTemporaryDir dir;
    const QString song = dir.filePath("歌曲.mp3");
    const std::string source = Pattern(1800000);  // 10000 bytes a second over 3 minutes
    WriteBytes(song, source);
    auto window = Open<Tmp3fm>(&CreateTmp3fm);
    window->edtmp3path->setText(song);
    window->edtm1->setText(QStringLiteral("03"));
    window->edtm2->setText(QStringLiteral("02"));
    window->edtm3->setText(QStringLiteral("03"));  // the end may equal the playing time
    ModalAnswerer answerer;
    window->btn2->click();
    QVERIFY(answerer.boxes.empty());
    QCOMPARE(window->result(), int(QDialog::Accepted));
    QVERIFY(!window->isVisible());
    const std::vector<std::string> lines{"正在剪辑...", "剪辑完毕!"};
    QCOMPARE(log_->WaitFor(2), lines);
    QCOMPARE(ReadBytes(dir.filePath("歌曲剪辑.mp3")), source.substr(1200000, 600000));
  }

  // ---- from the main window ----

  void menuEntriesOpenTheWindowsThatLogIntoMainLog() {
    QTemporaryDir dir;
    WriteBytes(dir.filePath("a"), "123456789");
    WriteBytes(dir.filePath("b"), "123456789");
    WriteBytes(dir.filePath("song.mp3"), Pattern(1000));
    Tmainfm main;
    main.show();
    QVERIFY(main.findChild<QAction*>("mnuAdd")->isEnabled());
    QVERIFY(main.findChild<QAction*>("mnuCmp")->isEnabled());
    QVERIFY(main.findChild<QAction*>("mnuMp3")->isEnabled());

    QStringList seen;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* cmp = qobject_cast<Tcmpfm*>(modal)) {
        seen << cmp->windowTitle();
        cmp->Edit1->setText(dir.filePath("a"));
        cmp->Edit2->setText(dir.filePath("b"));
        cmp->btn1->click();
      } else if (auto* add = qobject_cast<Taddfm*>(modal)) {
        seen << add->windowTitle();
        add->reject();
      } else if (auto* mp3 = qobject_cast<Tmp3fm*>(modal)) {
        seen << mp3->windowTitle();
        mp3->edtmp3path->setText(dir.filePath("song.mp3"));
        mp3->edts1->setText(QStringLiteral("10"));
        mp3->edts3->setText(QStringLiteral("10"));
        mp3->btn2->click();
      }
    });
    driver.start(5);
    main.findChild<QAction*>("mnuAdd")->trigger();
    main.findChild<QAction*>("mnuCmp")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(main.Log().Lines().contains(QStringLiteral("两文件相同")), 10000);
    main.findChild<QAction*>("mnuMp3")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(main.Log().Lines().contains(QStringLiteral("剪辑完毕!")), 10000);
    driver.stop();
    QCOMPARE(seen, (QStringList{QStringLiteral("文件捆绑"), QStringLiteral("文件对比"),
                                QStringLiteral("MP3剪辑")}));
    const QStringList lines = main.Log().Lines();
    const qsizetype first = lines.indexOf(QStringLiteral("正在生成文件1 CRC32值...."));
    QVERIFY(first >= 0);
    QCOMPARE(lines.mid(first, 5),
             (QStringList{QStringLiteral("正在生成文件1 CRC32值...."),
                          QStringLiteral("文件1 CRC32值:CBF43926"),
                          QStringLiteral("正在生成文件2 CRC32值..."),
                          QStringLiteral("文件2 CRC32值:CBF43926"), QStringLiteral("两文件相同")}));
    QCOMPARE(ReadBytes(dir.filePath("song剪辑.mp3")), Pattern(1000));
  }
};

QTEST_MAIN(FileToolsTest)
#include "file_tools_test.moc"
