// Closing the main window while jobs run or are paused, the paused bar, and the reason line that
// follows a failed job's line in the log.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

#include "app/addfm.h"
#include "app/app_shell.h"
#include "app/app_test_util.h"
#include "app/main_window_fixture.h"
#include "app/mainfm.h"
#include "app/tool_windows.h"
#include "jobs/worker.h"
#include "support/file_size_limit.h"

using qarvo::WorkerThread;
using qarvo::test::NoiseBytes;
using qarvo::test::PauseWhenStopEnabled;
using qarvo::test::ReadBytes;
using qarvo::test::WriteBytes;
using qarvo::ui::Tmainfm;

namespace {

// Answers the question boxes that come up with `answer`, keeping their texts.
class QuestionAnswerer : public QObject {
 public:
  explicit QuestionAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) {
        return;
      }
      texts.push_back(box->text());
      default_is_no.push_back(box->defaultButton() == box->button(QMessageBox::No));
      if (QAbstractButton* button = box->button(answer_)) {
        button->click();
      } else {
        box->reject();
      }
    });
    timer_.start();
  }
  QStringList texts;
  QList<bool> default_is_no;

 private:
  QMessageBox::StandardButton answer_;
  QTimer timer_;
};

}  // namespace

class ClosingTest : public QObject, qarvo::test::MainWindowFixture {
  Q_OBJECT

 private:
  // Starts a split of `source` that is paused before its first step, "停止" clicked as a user
  // would; the source is to be deleted after the split.
  std::shared_ptr<WorkerThread> StartPausedSplit(const QString& source) {
    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("4");
    Find<QCheckBox>("chkcdelfile")->setChecked(true);
    PauseWhenStopEnabled hold(Find<QPushButton>("btnstop"), [this] {
      if (auto worker = w_->CutWorker().lock()) {
        worker->Pause();
      }
    });
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    if (!QTest::qWaitFor([this] { return Find<QPushButton>("btnstop")->isEnabled(); }, 5000)) {
      return nullptr;
    }
    QTest::mouseClick(Find<QPushButton>("btnstop"), Qt::LeftButton);
    return w_->CutWorker().lock();
  }

 private slots:
  void initTestCase() { qarvo::ui::SetUpApplication(*qApp); }

  void init() { OpenMainWindow(); }

  void cleanup() {
    // The window goes first: it lets go of workers that wait on it.
    WorkerThread::StopAll();
    shell_.main.reset();
    QVERIFY(WorkerThread::WaitAllFinished(std::chrono::seconds(30)));
    CloseMainWindow();
  }

  void PausedBarSaysSo() {
    const QString source = Path("video.bin");
    WriteBytes(source, NoiseBytes(1 << 20, 4));
    auto worker = StartPausedSplit(source);
    QVERIFY(worker != nullptr);
    auto* bar = Find<QProgressBar>("pbcut");
    QVERIFY(bar->text().endsWith(QStringLiteral("(已暂停)")));
    QCOMPARE(Lines().last(), QStringLiteral("文件分割被停止!"));
    QTest::mouseClick(Find<QPushButton>("btncon"), Qt::LeftButton);
    QVERIFY(!bar->text().contains(QStringLiteral("暂停")));
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstart")->isEnabled(), 30000);
    QVERIFY(Lines().contains(QStringLiteral("分割成功!")));
    QVERIFY(!bar->text().contains(QStringLiteral("暂停")));
  }

  // No keeps the window and the job; Yes stops the job at once, paused as it is, and nothing of
  // it is left but the source, which was to be deleted after the split.
  void ClosingAsksAndStopsThePausedJob() {
    const QString source = Path("video.bin");
    const QByteArray content = NoiseBytes(3 << 20, 5);
    WriteBytes(source, content);
    auto worker = StartPausedSplit(source);
    QVERIFY(worker != nullptr);
    {
      QuestionAnswerer no(QMessageBox::No);
      QVERIFY(!w_->close());
      QCOMPARE(no.texts.size(), 1);
      QVERIFY(no.texts[0].contains(QStringLiteral("确定要退出吗")));
      QVERIFY(no.default_is_no[0]);
    }
    QVERIFY(w_->isVisible() && !w_->IsClosing());
    QVERIFY(!worker->Finished() && worker->IsPaused());

    QuestionAnswerer yes(QMessageBox::Yes);
    const auto closing = std::chrono::steady_clock::now();
    QVERIFY(w_->close());
    QCOMPARE(yes.texts.size(), 1);
    // Its Execute has returned (its files are gone) by now; the end of its thread may follow.
    QVERIFY(worker->WaitFinished(std::chrono::seconds(5)));
    QVERIFY(std::chrono::steady_clock::now() - closing < std::chrono::seconds(2));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("video.bin")});
    QCOMPARE(ReadBytes(source), content);
    QVERIFY(!Lines().contains(QStringLiteral("分割成功!")));
  }

  void ClosingWithoutAJobAsksNothing() {
    QuestionAnswerer no(QMessageBox::No);
    QVERIFY(w_->close());
    QVERIFY(no.texts.isEmpty());
  }

  // A job that failed on a file: the job's own lines, then the file and the reason.
  void FailedJobsSayWhy() {
    const QString source = Path("big.bin");
    WriteBytes(source, NoiseBytes(3 << 20, 6));
    WriteBytes(Path("head"), "0123456789");
    WriteBytes(Path("tail"), NoiseBytes(2 << 20, 7));
    qarvo::test::FileSizeLimit limit(1 << 20);
    QVERIFY(limit.ok());

    Find<QLineEdit>("edtcpath")->setText(source);
    Find<QLineEdit>("edtcount")->setText("1");
    QTest::mouseClick(Find<QPushButton>("btnstart"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(QStringLiteral("分割失败!")), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(Find<QPushButton>("btnstart")->isEnabled(), 5000);
    QStringList lines = Lines();
    const int failed = static_cast<int>(lines.indexOf(QStringLiteral("分割失败!")));
    QCOMPARE(lines.value(failed - 1), QStringLiteral("文件分割:文件很可能正在被其它程序调用!"));
    QCOMPARE(lines.value(failed + 1),
             QStringLiteral("出错的文件:%1,原因:文件太大").arg(Path("big1.vrk")));

    // A tool window's job, through the same words.
    std::unique_ptr<QDialog> window(qarvo::ui::CreateTaddfm(w_->MakeToolContext()));
    auto* bundle = qobject_cast<qarvo::ui::Taddfm*>(window.get());
    QVERIFY(bundle != nullptr);
    bundle->Edit1->setText(Path("head"));
    bundle->Edit2->setText(Path("tail"));
    bundle->btn1->click();
    const QString reason = QStringLiteral("出错的文件:%1,原因:文件太大").arg(Path("head"));
    QTRY_VERIFY_WITH_TIMEOUT(Lines().contains(reason), 30000);
    lines = Lines();
    QCOMPARE(lines.value(lines.indexOf(reason) - 1),
             QStringLiteral("文件很可能正在被另外一个程序调用!"));
    QCOMPARE(ReadBytes(Path("head")), QByteArray("0123456789"));
  }
};

QTEST_MAIN(ClosingTest)
#include "closing_test.moc"
