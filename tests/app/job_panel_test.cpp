#include <QtTest>

#include <QCheckBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include <memory>

#include "app/job_panel.h"
#include "app/main_log.h"
#include "app_test_util.h"

using qarvo::JobHost;
using qarvo::WorkerThread;
using qarvo::test::WriteBytes;
using qarvo::ui::JobPanel;
using qarvo::ui::JobPanelTexts;
using qarvo::ui::MainLog;

namespace {

// A worker that never runs: the panel only pauses and continues it.
class IdleWorker : public WorkerThread {
 public:
  IdleWorker() : WorkerThread(JobHost{}) {}

 protected:
  qarvo::JobResult Execute() override { return qarvo::JobResult::Succeeded; }
};

JobPanelTexts Texts() {
  return {.name = "panel",
          .title = QStringLiteral("任务"),
          .job = QStringLiteral("文件任务"),
          .source_label = "source_label",
          .source = "source",
          .source_browse = "source_browse",
          .source_filter = QString(),
          .dir_label = "dir_label",
          .dir = "dir",
          .dir_browse = "dir_browse",
          .dir_title = QString(),
          .follow = "follow",
          .follow_caption = QStringLiteral("跟随"),
          .start = "start",
          .start_caption = QStringLiteral("开始"),
          .stop = "stop",
          .con = "con",
          .progress = "progress",
          .progress_name = QStringLiteral("进度")};
}

}  // namespace

// The panel on its own, with the texts of a made-up job: what the split and merge panels share.
class JobPanelTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QPlainTextEdit> memo_;
  std::unique_ptr<MainLog> log_;
  std::unique_ptr<JobPanel> panel_;

  template <typename T>
  T* Find(const char* name) const {
    T* found = panel_->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
      qFatal("the panel has no control %s", name);
    }
    return found;
  }
  QString LastLine() const { return log_->Lines().value(log_->Lines().size() - 1); }

 private slots:
  void init() {
    memo_ = std::make_unique<QPlainTextEdit>();
    log_ = std::make_unique<MainLog>(memo_.get());
    panel_ = std::make_unique<JobPanel>(Texts(), *log_, nullptr);
    panel_->Arrange({});
  }

  void cleanup() {
    panel_.reset();
    log_.reset();
    memo_.reset();
  }

  void NamesAndStartState() {
    QCOMPARE(panel_->objectName(), QStringLiteral("panel"));
    QCOMPARE(panel_->title(), QStringLiteral("任务"));
    QCOMPARE(Find<QLabel>("source_label")->buddy(), Find<QLineEdit>("source"));
    QCOMPARE(Find<QLabel>("dir_label")->buddy(), Find<QLineEdit>("dir"));
    QVERIFY(Find<QCheckBox>("follow")->isChecked());
    QVERIFY(!Find<QLineEdit>("dir")->isEnabled() && !Find<QPushButton>("dir_browse")->isEnabled());
    QVERIFY(Find<QPushButton>("start")->isEnabled());
    QVERIFY(!Find<QPushButton>("stop")->isEnabled() && !Find<QPushButton>("con")->isEnabled());
    QCOMPARE(Find<QProgressBar>("progress")->accessibleName(), QStringLiteral("进度"));
  }

  // The checks log the job's own lines; only a missing source takes the focus.
  void ChecksLogWithTheJobsName() {
    panel_->show();
    QTemporaryDir dir;
    QVERIFY(!panel_->CheckSource());
    QCOMPARE(LastLine(), QStringLiteral("文件任务:文件不存在!"));
    const QString file = dir.filePath("a.bin");
    WriteBytes(file, QByteArray(3, 'a'));
    panel_->Source()->setText(file);
    QVERIFY(panel_->CheckSource());
    QCOMPARE(panel_->Directory()->text(), dir.path());
    QVERIFY(panel_->CheckDirectory());

    Find<QCheckBox>("follow")->setChecked(false);
    panel_->Directory()->setText(dir.filePath("none"));
    QVERIFY(!panel_->CheckDirectory());
    QCOMPARE(LastLine(), QStringLiteral("文件任务:目录不存在!"));
    QCOMPARE(log_->Lines().size(), 2);
    // A file is no directory.
    panel_->Directory()->setText(file);
    QVERIFY(!panel_->CheckDirectory());
  }

  // Ticked by code or by hand, the box decides alike: the directory follows the source.
  void FollowBoxByCode() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("sub");
    const QString file = dir.filePath("sub/b.bin");
    WriteBytes(file, QByteArray(1, 'b'));
    auto* follow = Find<QCheckBox>("follow");
    follow->setChecked(false);
    QVERIFY(panel_->Directory()->isEnabled() && Find<QPushButton>("dir_browse")->isEnabled());
    panel_->Source()->setText(file);
    QVERIFY(panel_->Directory()->text().isEmpty());
    follow->setChecked(true);
    QCOMPARE(panel_->Directory()->text(), dir.filePath("sub"));
    QCOMPARE(panel_->Directory()->toolTip(), dir.filePath("sub"));
    QVERIFY(!panel_->Directory()->isEnabled());
  }

  void BusyStopAndContinue() {
    auto worker = std::make_shared<IdleWorker>();
    panel_->SetWorker(worker);
    auto* start = Find<QPushButton>("start");
    auto* stop = Find<QPushButton>("stop");
    auto* con = Find<QPushButton>("con");
    panel_->SetBusy(true);
    QVERIFY(!start->isEnabled() && stop->isEnabled() && !con->isEnabled());

    stop->click();
    QVERIFY(worker->IsPaused());
    QCOMPARE(LastLine(), QStringLiteral("文件任务被停止!"));
    QVERIFY(!stop->isEnabled() && con->isEnabled());
    con->click();
    QVERIFY(!worker->IsPaused());
    QCOMPARE(LastLine(), QStringLiteral("继续文件任务..."));
    QVERIFY(stop->isEnabled() && !con->isEnabled());

    // A job that ends while paused leaves continue off.
    stop->click();
    panel_->SetBusy(false);
    QVERIFY(start->isEnabled() && !stop->isEnabled() && !con->isEnabled());

    // With the worker gone, the buttons still log and switch.
    worker.reset();
    QVERIFY(panel_->Worker().expired());
    panel_->SetBusy(true);
    stop->click();
    QCOMPARE(LastLine(), QStringLiteral("文件任务被停止!"));
  }

  void ProgressInThousandths() {
    auto* bar = Find<QProgressBar>("progress");
    panel_->ShowProgress(1, 3);
    QCOMPARE(bar->value(), 333);
    panel_->ShowProgress(5'000'000'000LL, 10'000'000'000LL);
    QCOMPARE(bar->value(), 500);
    // Done, beyond the total, or nothing to do: full.
    panel_->ShowProgress(3, 3);
    QCOMPARE(bar->value(), bar->maximum());
    panel_->ShowProgress(0, 0);
    QCOMPARE(bar->value(), bar->maximum());
    panel_->ShowProgress(7, 3);
    QCOMPARE(bar->value(), bar->maximum());
    // A new job starts from empty.
    panel_->SetBusy(true);
    QCOMPARE(bar->value(), 0);
  }
};

QTEST_MAIN(JobPanelTest)
#include "job_panel_test.moc"
