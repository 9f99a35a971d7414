#include "app/job_panel.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>

#include "app/main_log.h"
#include "app/ui_common.h"

namespace qarvo::ui {

namespace {

constexpr int kProgressSteps = 1000;
const QString kRunningFormat = QStringLiteral("%p%");
// "停止" only pauses: the bar says so, or a paused job looks like one that hangs.
const QString kPausedFormat = QStringLiteral("%p% (已暂停)");

}  // namespace

JobPanel::JobPanel(const JobPanelTexts& texts, MainLog& log, QWidget* parent)
    : QGroupBox(texts.title, parent), texts_(texts), log_(log) {
  setObjectName(QString::fromLatin1(texts.name));
  source_label_ = MakeLabel(this, texts.source_label, QStringLiteral("源文件"));
  source_ = MakeEdit(this, texts.source);
  source_browse_ = MakeButton(this, texts.source_browse, QStringLiteral("浏览..."));
  source_label_->setBuddy(source_);
  dir_label_ = MakeLabel(this, texts.dir_label, QStringLiteral("释放到"));
  dir_ = MakeEdit(this, texts.dir);
  dir_browse_ = MakeButton(this, texts.dir_browse, QStringLiteral("浏览..."));
  dir_label_->setBuddy(dir_);
  follow_ = MakeCheck(this, texts.follow, texts.follow_caption);

  start_ = MakeButton(this, texts.start, texts.start_caption);
  stop_ = MakeButton(this, texts.stop, QStringLiteral("停止"));
  con_ = MakeButton(this, texts.con, QStringLiteral("继续"));
  for (QPushButton* button : {start_, stop_, con_}) {
    button->setFixedWidth(52);
  }
  for (QPushButton* button : {source_browse_, dir_browse_}) {
    button->setFixedWidth(64);
  }
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QString::fromLatin1(texts.progress));
  progress_->setRange(0, kProgressSteps);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(kRunningFormat);
  progress_->setAccessibleName(texts.progress_name);
  progress_->setFixedHeight(18);

  connect(source_, &QLineEdit::textChanged, this, &JobPanel::FollowSource);
  connect(follow_, &QCheckBox::toggled, this, &JobPanel::FollowToggled);
  connect(source_browse_, &QPushButton::clicked, this, &JobPanel::BrowseSourceClick);
  connect(dir_browse_, &QPushButton::clicked, this, &JobPanel::BrowseDirectoryClick);
  connect(stop_, &QPushButton::clicked, this, &JobPanel::StopClick);
  connect(con_, &QPushButton::clicked, this, &JobPanel::ContinueClick);
  follow_->setChecked(true);
  SetBusy(false);
}

void JobPanel::Arrange(std::initializer_list<QLayout*> middle, QWidget* lead) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 4, 8, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  grid->addWidget(source_label_, 0, 0);
  grid->addWidget(source_, 0, 1);
  grid->addWidget(source_browse_, 0, 2);
  grid->addWidget(dir_label_, 1, 0);
  grid->addWidget(dir_, 1, 1);
  grid->addWidget(dir_browse_, 1, 2);
  int row = 2;
  for (QLayout* layout : middle) {
    grid->addLayout(layout, row++, 0, 1, 3);
  }
  QHBoxLayout* actions = MakeRow({progress_, start_, stop_, con_}, 4, false);
  actions->setStretchFactor(progress_, 1);
  if (lead != nullptr) {
    actions->insertWidget(0, lead);
  }
  grid->addLayout(actions, row, 0, 1, 3);
}

bool JobPanel::CheckSource() {
  if (ExistingFile(source_->text())) {
    return true;
  }
  log_.Add(texts_.job + QStringLiteral(":文件不存在!"));
  source_->setFocus();
  return false;
}

bool JobPanel::CheckDirectory() {
  if (ExistingDirectory(dir_->text())) {
    return true;
  }
  log_.Add(texts_.job + QStringLiteral(":目录不存在!"));
  return false;
}

void JobPanel::SetBusy(bool busy) {
  start_->setEnabled(!busy);
  stop_->setEnabled(busy);
  con_->setEnabled(false);
  progress_->setFormat(kRunningFormat);
  if (busy) {
    progress_->setValue(0);
  }
}

void JobPanel::ShowProgress(int64_t done, int64_t total) {
  int value = kProgressSteps;
  if (total > 0 && done < total) {
    value =
        static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * kProgressSteps);
  }
  progress_->setValue(value);
}

void JobPanel::FollowSource() {
  if (follow_->isChecked()) {
    const QString dir = DirectoryPart(source_->text());
    dir_->setText(dir);
    dir_->setToolTip(dir);
  }
}

// Ticked, the folder is the source's and cannot be edited; cleared, it is the user's and
// keeps its text.
void JobPanel::FollowToggled(bool on) {
  dir_->setEnabled(!on);
  dir_browse_->setEnabled(!on);
  if (on && ExistingFile(source_->text())) {
    FollowSource();
  }
}

void JobPanel::BrowseSourceClick() {
  const QString file =
      QFileDialog::getOpenFileName(this, QString(), QString(), texts_.source_filter);
  if (!file.isEmpty()) {
    source_->setText(file);
    source_->setToolTip(file);
  }
}

void JobPanel::BrowseDirectoryClick() {
  BrowseForFolder(this, texts_.dir_title, dir_);
}

void JobPanel::StopClick() {
  if (auto worker = worker_.lock()) {
    worker->Pause();
  }
  log_.Add(texts_.job + QStringLiteral("被停止!"));
  progress_->setFormat(kPausedFormat);
  con_->setEnabled(true);
  stop_->setEnabled(false);
}

void JobPanel::ContinueClick() {
  // The line goes first, so that the job's next lines follow it.
  log_.Add(QStringLiteral("继续") + texts_.job + QStringLiteral("..."));
  if (auto worker = worker_.lock()) {
    worker->Continue();
  }
  progress_->setFormat(kRunningFormat);
  con_->setEnabled(false);
  stop_->setEnabled(true);
}

}  // namespace qarvo::ui
