// The windows ask once per job before they replace files that already exist; No, the default,
// writes nothing.

#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <memory>
#include <string>

#include "app/app_shell.h"
#include "app/mainfm.h"
#include "app/mp3fm.h"
#include "app/sdfm.h"
#include "app/tool_windows.h"
#include "app_test_util.h"
#include "split/cut_file.h"
#include "split/job_runs.h"
#include "split/merger_file.h"
#include "support/capture_log.h"
#include "tools/mp3cut.h"
#include "tools/pack.h"
#include "tools/unpack.h"

namespace {

using qarvo::test::NoiseBytes;
using qarvo::test::ReadBytes;
using qarvo::test::WriteBytes;

// Answers every question box with one button and records what each box said.
class QuestionAnswerer : public QObject {
 public:
  explicit QuestionAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(10);
  }
  QStringList texts;
  int default_no = 0;  // boxes whose default button was No

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
      return;
    }
    texts << box->text();
    if (box->defaultButton() == box->button(QMessageBox::No)) {
      ++default_no;
    }
    QAbstractButton* button = box->button(answer_);
    if (button == nullptr) {
      button = box->button(QMessageBox::Ok);
    }
    if (button != nullptr) {
      button->click();
    } else {
      box->reject();
    }
  }
  QMessageBox::StandardButton answer_;
  QTimer timer_;
};

class OverwriteWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString Path(const QString& name) const { return dir_->filePath(name); }

 private slots:
  void initTestCase() { qarvo::ui::SetUpApplication(*qApp); }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }
  void cleanup() { dir_.reset(); }

  // clip.mp4 and clip.mkv give the same piece names: the second split asks, and No keeps the
  // first set as it was.
  void SplitAsksBeforeReplacingPiecesOfTheSameName() {
    qarvo::ui::Shell shell = qarvo::ui::CreateShell();
    qarvo::ui::Tmainfm* w = shell.main.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QByteArray mp4 = NoiseBytes(30000, 1);
    WriteBytes(Path("clip.mp4"), mp4);
    WriteBytes(Path("clip.mkv"), NoiseBytes(20000, 2));
    const std::vector<std::string> first =
        qarvo::test::RunSplit(Path("clip.mp4").toStdString(), {}, 3, dir_->path().toStdString());
    QCOMPARE(QString::fromStdString(first[first.size() - 2]), QStringLiteral("分割成功!"));
    const QByteArray piece1 = ReadBytes(Path("clip1.vrk"));

    w->findChild<QLineEdit*>("edtcpath")->setText(Path("clip.mkv"));
    auto* start = w->findChild<QPushButton*>("btnstart");
    const int lines_before = static_cast<int>(w->Log().Lines().size());
    {
      QuestionAnswerer no(QMessageBox::No);
      start->click();
      QCOMPARE(
          no.texts,
          QStringList{
              QStringLiteral("文件%1已存在(共有3个文件已存在),是否覆盖?").arg(Path("clip1.vrk"))});
      QCOMPARE(no.default_no, 1);
    }
    QCOMPARE(static_cast<int>(w->Log().Lines().size()), lines_before);
    QVERIFY(start->isEnabled());
    QCOMPARE(ReadBytes(Path("clip1.vrk")), piece1);

    QuestionAnswerer yes(QMessageBox::Yes);
    start->click();
    QCOMPARE(yes.texts.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(w->Log().Lines().contains(QStringLiteral("分割成功!")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 5000);
    QVERIFY(ReadBytes(Path("clip1.vrk")) != piece1);
  }

  // A Yes lets the merge replace a file, but a joined file that fails its check goes beside it
  // and the log says the merge failed.
  void MergeKeepsTheOldFileWhenTheJoinedOneFailsItsCheck() {
    qarvo::ui::Shell shell = qarvo::ui::CreateShell();
    qarvo::ui::Tmainfm* w = shell.main.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    WriteBytes(Path("data.bin"), NoiseBytes(40000, 4));
    qarvo::TCWorkInfos md5;
    md5.CheckKind = qarvo::ChecksumKind::Md5;
    qarvo::test::RunSplit(Path("data.bin").toStdString(), md5, 2, dir_->path().toStdString());
    QByteArray piece = ReadBytes(Path("data2.vrk"));
    piece[3] = static_cast<char>(piece[3] ^ 0x11);
    WriteBytes(Path("data2.vrk"), piece);
    WriteBytes(Path("data.bin"), QByteArray("the good old copy"));

    w->findChild<QLineEdit*>("edtmpath")->setText(Path("data1.vrk"));
    QuestionAnswerer yes(QMessageBox::Yes);
    w->findChild<QPushButton*>("btnmstart")->click();
    QCOMPARE(yes.texts,
             QStringList{QStringLiteral("文件%1已存在,是否覆盖?").arg(Path("data.bin"))});
    const QString mismatch = QString::fromStdString(
        qarvo::MergeMismatchLine(Path("data.bin.校验失败").toStdString(), true));
    QTRY_VERIFY_WITH_TIMEOUT(w->Log().Lines().contains(mismatch), 20000);
    QVERIFY(!w->Log().Lines().contains(QStringLiteral("合并成功!")));
    QCOMPARE(ReadBytes(Path("data.bin")), QByteArray("the good old copy"));
    QCOMPARE(ReadBytes(Path("data.bin.校验失败")).size(), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(w->findChild<QPushButton*>("btnmstart")->isEnabled(), 5000);
  }

  // The unpack window asks once for all the files of the job, and No leaves the window open.
  void UnpackAsksOnceForAllItsFiles() {
    WriteBytes(Path("a"), QByteArray("new a"));
    WriteBytes(Path("b"), QByteArray("new b"));
    qarvo::TSMWorkInfos infos;
    infos.OutName = "p.pak";
    infos.Paths = {Path("a").toStdString(), Path("b").toStdString()};
    infos.Sizes = {"5", "5"};
    auto pack_log = std::make_shared<qarvo::test::CaptureLog>();
    QVERIFY(qarvo::TSMfile::Create(dir_->path().toStdString(), infos, {pack_log, nullptr})
                ->WaitFinished(std::chrono::seconds(30)));
    QDir(dir_->path()).mkpath("out");
    WriteBytes(Path("out/a"), QByteArray("old a"));
    WriteBytes(Path("out/b"), QByteArray("old b"));

    auto log = std::make_shared<qarvo::test::CaptureLog>();
    qarvo::ui::ToolContext context;
    context.host.log = log;
    qarvo::ui::Tsdfm window(context);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Edit1->setText(Path("p.pak"));
    window.CheckBox1->click();
    window.Edit2->setText(Path("out"));
    {
      QuestionAnswerer no(QMessageBox::No);
      window.btn1->click();
      QCOMPARE(no.texts,
               QStringList{
                   QStringLiteral("文件%1已存在(共有2个文件已存在),是否覆盖?").arg(Path("out/a"))});
    }
    QVERIFY(window.isVisible());
    QVERIFY(log->Lines().empty());
    QCOMPARE(ReadBytes(Path("out/a")), QByteArray("old a"));

    QuestionAnswerer yes(QMessageBox::Yes);
    window.btn1->click();
    QCOMPARE(yes.texts.size(), 1);
    log->WaitForLine(qarvo::kUnpackDone);
    QCOMPARE(ReadBytes(Path("out/a")), QByteArray("new a"));
    QCOMPARE(ReadBytes(Path("out/b")), QByteArray("new b"));
  }

  void Mp3CutAsksBeforeReplacingAnEarlierCut() {
    WriteBytes(Path("song.mp3"), NoiseBytes(1000, 3));
    WriteBytes(Path("song剪辑.mp3"), QByteArray("an earlier cut"));
    auto log = std::make_shared<qarvo::test::CaptureLog>();
    qarvo::ui::ToolContext context;
    context.host.log = log;
    std::unique_ptr<qarvo::ui::Tmp3fm> window(
        qobject_cast<qarvo::ui::Tmp3fm*>(qarvo::ui::CreateTmp3fm(context)));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->edtmp3path->setText(Path("song.mp3"));
    window->edts1->setText("10");
    window->edts3->setText("5");
    {
      QuestionAnswerer no(QMessageBox::No);
      window->btn2->click();
      QCOMPARE(no.texts.size(), 1);
    }
    QCOMPARE(ReadBytes(Path("song剪辑.mp3")), QByteArray("an earlier cut"));
    QuestionAnswerer yes(QMessageBox::Yes);
    window->btn2->click();
    log->WaitForLine(qarvo::kMp3Done);
    QCOMPARE(ReadBytes(Path("song剪辑.mp3")).size(), 500);
  }
};

}  // namespace

QTEST_MAIN(OverwriteWindowsTest)
#include "overwrite_windows_test.moc"
