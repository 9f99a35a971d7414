#include "app/split_options.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "app/error_text.h"
#include "app/format_size.h"
#include "app/job_panel.h"
#include "app/main_log.h"
#include "app/password_dialogs.h"
#include "app/ui_common.h"
#include "codec/digest.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/piece_plan.h"
#include "text/checks.h"

namespace qarvo::ui {

namespace {

constexpr int kCountDigits = 9;

// Entries of cbsize: the first cuts by the typed count, the last by the typed size.
struct SizeChoice {
  const char* caption;
  const char* tip;
  int64_t size;  // 0: by count, -1: the custom size
};
const SizeChoice kSizeChoices[] = {
    {"按数量分割", "按左边的分割数量分割", 0},
    {"FAT32 U盘", "每个分割文件不超过4GB-1字节,FAT32格式的U盘能存下", kFat32PieceSize},
    {"CD光盘", "每个分割文件不超过700MB", kCdPieceSize},
    {"DVD光盘", "每个分割文件不超过4.7GB(4700000000字节)", kDvdPieceSize},
    {"邮件附件", "每个分割文件不超过18000000字节,作为邮件附件编码后仍在25MB以内", kMailPieceSize},
    {"自定义大小", "每个分割文件不超过右边填写的大小", -1},
};
// The units of the custom size are the program's own size texts' (powers of 1024), so the
// estimate beside them reads in the same units.
const char* const kUnitSuffixes[] = {"K", "M", "G"};

}  // namespace

SplitOptions::SplitOptions(JobPanel* panel, MainLog& log)
    : QObject(panel), panel_(panel), log_(log) {
  chkcdelfile = MakeCheck(panel, "chkcdelfile", QStringLiteral("分割后删除源文件"));
  panel->Arrange({BuildSizes(), BuildOptions()}, chkcdelfile);
  connect(panel->Source(), &QLineEdit::textChanged, this, &SplitOptions::UpdateCountFromSize);
  connect(panel->Source(), &QLineEdit::textChanged, this, &SplitOptions::UpdateSizeLabels);
}

QLayout* SplitOptions::BuildPieceSize() {
  cbsize = new QComboBox(panel_);
  cbsize->setObjectName(QStringLiteral("cbsize"));
  for (const SizeChoice& choice : kSizeChoices) {
    cbsize->addItem(QString::fromUtf8(choice.caption));
    cbsize->setItemData(cbsize->count() - 1, QString::fromUtf8(choice.tip), Qt::ToolTipRole);
  }
  // Wide enough for the longest caption in the panel's font, whatever the style adds.
  cbsize->setFixedWidth(92);
  cbsize->setToolTip(
      QStringLiteral("按大小分割时,分割数量取每个分割文件(连同末尾344字节的分割信息)\n"
                     "都不超过这个大小的最少数量;压缩时按无法压缩的数据计算"));
  edtsize = MakeEdit(panel_, "edtsize");
  edtsize->setFixedWidth(40);
  cbunit = new QComboBox(panel_);
  cbunit->setObjectName(QStringLiteral("cbunit"));
  cbunit->addItems({QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
  cbunit->setCurrentIndex(1);
  cbunit->setFixedWidth(48);
  cbunit->setToolTip(QStringLiteral("1KB=1024字节,1MB=1024KB,1GB=1024MB"));
  edtsize->setEnabled(false);
  cbunit->setEnabled(false);
  connect(cbsize, &QComboBox::currentIndexChanged, this, &SplitOptions::cbsizeChange);
  connect(edtsize, &QLineEdit::textChanged, this, &SplitOptions::UpdateCountFromSize);
  connect(cbunit, &QComboBox::currentIndexChanged, this, &SplitOptions::UpdateCountFromSize);
  return MakeRow({cbsize, edtsize, cbunit});
}

QLayout* SplitOptions::BuildSizes() {
  StaticText7 = MakeLabel(panel_, "StaticText7", QString());
  txt1 = MakeLabel(panel_, "txt1", QString());
  // Empty at the start; reserve their line so the panel does not shift when they fill.
  for (QLabel* label : {StaticText7, txt1}) {
    label->setMinimumHeight(label->fontMetrics().height());
  }
  return MakeRow({StaticText7, txt1}, 16);
}

QWidget* SplitOptions::BuildModes() {
  auto* rgmode = new QGroupBox(QStringLiteral("压缩选项"), panel_);
  rgmode->setObjectName(QStringLiteral("rgmode"));
  rgmodeItems = new QButtonGroup(rgmode);
  auto* modes = new QHBoxLayout(rgmode);
  modes->setContentsMargins(4, 0, 2, 2);
  modes->setSpacing(2);
  const QString mode_names[] = {QStringLiteral("最快"), QStringLiteral("默认"),
                                QStringLiteral("最大比例")};
  for (int level = 1; level <= 3; ++level) {
    auto* item = new QRadioButton(mode_names[level - 1], rgmode);
    item->setObjectName(QStringLiteral("rgmode%1").arg(level));
    rgmodeItems->addButton(item, level);
    modes->addWidget(item);
  }
  rgmodeItems->button(2)->setChecked(true);
  return rgmode;
}

QLayout* SplitOptions::BuildOptions() {
  QWidget* g = panel_;
  edtcount = MakeEdit(g, "edtcount");
  edtcount->setText(QStringLiteral("3"));
  edtcount->setFixedWidth(72);
  QLabel* count_label = MakeLabel(g, "Label1", QStringLiteral("<--分割数量"));
  count_label->setTextFormat(Qt::PlainText);
  count_label->setBuddy(edtcount);
  chkpwd = MakeCheck(g, "chkpwd", QStringLiteral("加密分割文件-->"));
  btnpwd = MakeButton(g, "btnpwd", QStringLiteral("密码设置..."));
  btnpwd->setFixedWidth(74);
  chkzlib = MakeCheck(g, "chkzlib", QStringLiteral("压缩分割文件"));
  chkzlib->setToolTip(
      QStringLiteral("压缩仅仅是为了保证安全,对安全没要求的不必选择此项,压\n"
                     "缩将使分割变慢,想获得好的压缩效果请使用专业压缩软件"));
  QWidget* rgmode = BuildModes();
  chkccmp = MakeCheck(g, "chkccmp", QStringLiteral("启用文件校验"));
  chkccmp->setToolTip(QStringLiteral("以便合并时检验文件是否和源文件相同"));
  rbmd5 = new QRadioButton(QStringLiteral("MD5校验"), g);
  rbmd5->setObjectName(QStringLiteral("rbmd5"));
  auto* rbcrc32 = new QRadioButton(QStringLiteral("CRC32校验"), g);
  rbcrc32->setObjectName(QStringLiteral("rbcrc32"));
  rbcrc32->setChecked(true);
  auto* checks = new QButtonGroup(g);
  checks->addButton(rbmd5);
  checks->addButton(rbcrc32);
  chksums = MakeCheck(g, "chksums", QStringLiteral("生成校验文件"));
  chksums->setToolTip(
      QStringLiteral("在分割文件旁生成“名称.sha256”,每个分割文件一行SHA-256,\n"
                     "可用sha256sum -c检查;合并时用它找出损坏的分割文件"));

  // Each option's controls are on exactly while its box is ticked.
  FollowCheckBox(chkpwd, {btnpwd});
  FollowCheckBox(chkzlib, {rgmode});
  FollowCheckBox(chkccmp, {rbmd5, rbcrc32});
  connect(edtcount, &QLineEdit::textChanged, this, &SplitOptions::edtcountChange);
  connect(chkpwd, &QCheckBox::clicked, this, &SplitOptions::chkpwdClick);
  connect(btnpwd, &QPushButton::clicked, this, &SplitOptions::btnpwdClick);
  // The bound of a compressed piece is larger: the count a size gives depends on it.
  connect(chkzlib, &QCheckBox::toggled, this, &SplitOptions::UpdateCountFromSize);

  // Two columns of options below the paths.
  auto* options = new QGridLayout;
  options->setHorizontalSpacing(8);
  options->setVerticalSpacing(4);
  options->setColumnStretch(1, 1);
  options->addLayout(MakeRow({edtcount, count_label}), 0, 0);
  options->addWidget(panel_->FollowBox(), 0, 1);
  options->addLayout(BuildPieceSize(), 1, 0);
  options->addWidget(chksums, 1, 1);
  options->addLayout(MakeRow({chkpwd, btnpwd}), 2, 0);
  options->addWidget(chkzlib, 2, 1);
  options->addLayout(MakeRow({chkccmp}, 10), 3, 0);
  options->addLayout(MakeRow({rbmd5, rbcrc32}, 10), 4, 0);
  options->addWidget(rgmode, 3, 1, 2, 1);
  return options;
}

void SplitOptions::SetPasswordDialog(Tpwdfm* dialog) {
  pwdfm_ = dialog;
  if (pwdfm_ != nullptr) {
    pwdfm_->SetOwnerCheckBox(chkpwd);
  }
}

bool SplitOptions::CheckCount() {
  if (BySize()) {
    const std::optional<int64_t> size = ChosenPieceSize();
    if (!size) {
      log_.Add(QStringLiteral("文件分割:请输入正确的分割大小!"));
      edtsize->setFocus();
      return false;
    }
    // The source was checked before; its size is read again as the worker will.
    try {
      const SizePlan plan = PlanPiecesBySize(FileSizeOf(ToUtf8(panel_->Source()->text())), *size,
                                             chkzlib->isChecked());
      if (const char* refusal = SizePlanRefusalLine(plan.fault)) {
        log_.Add(QString::fromUtf8(refusal));
        return false;
      }
      edtcount->setText(QString::number(plan.count));
    } catch (const FileError&) {
      // Left to the start, which shows why the size cannot be read.
    }
    return true;
  }
  if (IsAllDigits(ToUtf8(edtcount->text()))) {
    return true;
  }
  log_.Add(QStringLiteral("文件分割:请输入正确的分割数量!"));
  edtcount->setFocus();
  return false;
}

int32_t SplitOptions::Count() const {
  // At most nine digits, so the count fits.
  return static_cast<int32_t>(std::stol(ToUtf8(edtcount->text().left(kCountDigits))));
}

TCWorkInfos SplitOptions::Infos() const {
  TCWorkInfos info;
  info.DeleteSource = chkcdelfile->isChecked() ? 1 : 0;
  info.Compress = chkzlib->isChecked() ? 1 : 0;
  info.Level = static_cast<uint8_t>(rgmodeItems->checkedId() > 0 ? rgmodeItems->checkedId() : 2);
  info.CheckKind = !chkccmp->isChecked() ? ChecksumKind::None
                   : rbmd5->isChecked()  ? ChecksumKind::Md5
                                         : ChecksumKind::Crc32;
  if (chkpwd->isChecked() && pwdfm_ != nullptr && !pwdfm_->Password().isEmpty()) {
    info.Password = ToUtf8(pwdfm_->Password());
  }
  if (BySize()) {
    info.MaxPieceFile = ChosenPieceSize().value_or(1);
  }
  info.WriteSums = chksums->isChecked() ? 1 : 0;
  return info;
}

bool SplitOptions::BySize() const {
  return cbsize->currentIndex() > 0;
}

std::optional<int64_t> SplitOptions::ChosenPieceSize() const {
  const int index = cbsize->currentIndex();
  if (index <= 0 || index >= static_cast<int>(std::size(kSizeChoices))) {
    return std::nullopt;
  }
  const int64_t preset = kSizeChoices[index].size;
  if (preset > 0) {
    return preset;
  }
  const std::string digits = ToUtf8(edtsize->text().trimmed());
  if (!IsAllDigits(digits)) {
    return std::nullopt;
  }
  const int unit = std::clamp(cbunit->currentIndex(), 0, 2);
  return ParsePieceSize(digits + kUnitSuffixes[unit]);
}

void SplitOptions::cbsizeChange(int index) {
  const bool custom = index == static_cast<int>(std::size(kSizeChoices)) - 1;
  edtsize->setEnabled(custom);
  cbunit->setEnabled(custom);
  if (index > 0 && !edtcount->isReadOnly()) {
    typed_count_ = edtcount->text();
    edtcount->setReadOnly(true);
  } else if (index <= 0 && edtcount->isReadOnly()) {
    edtcount->setReadOnly(false);
    edtcount->setText(typed_count_);
    return;
  }
  UpdateCountFromSize();
}

void SplitOptions::UpdateCountFromSize() {
  if (!BySize()) {
    return;
  }
  const std::optional<int64_t> size = ChosenPieceSize();
  const std::string source = ToUtf8(panel_->Source()->text());
  SizePlan plan{0, SizePlanFault::TooSmall};
  bool known = false;
  if (size && FileExists(source)) {
    try {
      plan = PlanPiecesBySize(FileSizeOf(source), *size, chkzlib->isChecked());
      known = true;
    } catch (const FileError&) {
      // The labels' own read shows why.
    }
  }
  edtcount->setText(known && plan.fault == SizePlanFault::None ? QString::number(plan.count)
                                                               : QString());
  if (known && plan.fault != SizePlanFault::None) {
    txt1->setText(QStringLiteral("估计分割后大小:-"));
  }
}

void SplitOptions::edtcountChange() {
  const QString text = edtcount->text();
  if (text.size() > kCountDigits) {
    // Runs this handler again with the cut text, which updates the labels.
    edtcount->setText(text.left(kCountDigits));
    return;
  }
  UpdateSizeLabels();
}

// A click, not a toggle: the password dialog's close rule clears the box with a click too.
void SplitOptions::chkpwdClick(bool checked) {
  if (checked) {
    btnpwdClick();
  } else if (pwdfm_ != nullptr) {
    pwdfm_->ClearPassword();
  }
}

void SplitOptions::btnpwdClick() {
  if (pwdfm_ != nullptr) {
    pwdfm_->exec();
  }
}

void SplitOptions::UpdateSizeLabels() {
  const QString path = panel_->Source()->text();
  if (!ExistingFile(path)) {
    return;
  }
  int64_t size = 0;
  try {
    File file(ToUtf8(path), OpenMode::Read, Share::Exclusive);
    size = file.Size();
    file.Close();
  } catch (const FileError& e) {
    ShowHint(panel_->window(), QStringLiteral("无法打开文件“%1”,读不出它的大小。\n原因:%2")
                                   .arg(path, ReasonText(e.error_number())));
    return;
  }
  StaticText7->setText(QStringLiteral("源文件大小:") + FormatSizeText(size));
  if (!IsAllDigits(ToUtf8(edtcount->text()))) {
    return;
  }
  const int64_t count = Count();
  if (count == 0) {
    // No piece size to estimate; the split itself refuses the count.
    txt1->setText(QStringLiteral("估计分割后大小:-"));
    return;
  }
  txt1->setText(QStringLiteral("估计分割后大小:") +
                FormatSizeText(size / count + static_cast<int64_t>(kHeaderTrailerSize)));
}

}  // namespace qarvo::ui
