#include "app/cmpfm.h"

#include <QButtonGroup>

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/compare.h"
#include "tools/sums_check.h"

namespace qarvo::ui {

namespace {

// Every file, including those without a dot in their name.
const char* const kAnyFileFilter = "任何文件(*)";
const char* const kSumsFileFilter = "校验文件(*.sha256 *.sha1 *.md5 *.sfv);;任何文件(*)";

// The captions are wider than the two-character ones the base lays out for.
constexpr int kCaptionWidth = 56;
constexpr int kEditX = 8 + kCaptionWidth + 2;
constexpr int kEditWidth = 296;

}  // namespace

Tcmpfm::Tcmpfm(const ToolContext& context)
    : TwoFileForm(context, QStringLiteral("文件对比"), QSize(kEditX + kEditWidth + 60, 154),
                  {.caption1 = QStringLiteral("文件1"),
                   .caption2 = QStringLiteral("文件2"),
                   .edit_width = kEditWidth,
                   .start = QRect(kEditX + kEditWidth - 30, 118, 82, 28),
                   .filter = QString::fromUtf8(kAnyFileFilter)}) {
  StaticText1->setGeometry(8, 10, kCaptionWidth, 20);
  StaticText2->setGeometry(8, 40, kCaptionWidth, 20);
  Edit1->move(kEditX, 8);
  Edit2->move(kEditX, 38);
  SpeedButton1->move(kEditX + kEditWidth + 2, 8);
  SpeedButton2->move(kEditX + kEditWidth + 2, 38);

  rbmd5 = AddRadio("rbmd5", QStringLiteral("MD5对比"), kEditX, 70, 96);
  rbcrc = AddRadio("rbcrc", QStringLiteral("CRC32对比"), kEditX + 100, 70, 104);
  rbsha256 = AddRadio("rbsha256", QStringLiteral("SHA256对比"), kEditX + 208, 70, 112);
  rbbytes = AddRadio("rbbytes", QStringLiteral("逐字节比较"), kEditX, 96, 96);
  rbexpect = AddRadio("rbexpect", QStringLiteral("与校验值对比"), kEditX + 100, 96, 104);
  rbsums = AddRadio("rbsums", QStringLiteral("检查校验文件"), kEditX + 208, 96, 112);
  rbcrc->setChecked(true);
  auto* group = new QButtonGroup(this);
  QWidget* previous = btn1;
  for (QRadioButton* radio : {rbcrc, rbmd5, rbsha256, rbbytes, rbexpect, rbsums}) {
    group->addButton(radio);
    setTabOrder(previous, radio);
    previous = radio;
    connect(radio, &QRadioButton::toggled, this, &Tcmpfm::rbClick);
  }
  connect(btn1, &QPushButton::clicked, this, &Tcmpfm::btn1Click);
}

void Tcmpfm::rbClick() {
  const bool expect = rbexpect->isChecked();
  const bool sums = rbsums->isChecked();
  StaticText1->setText(sums     ? QStringLiteral("校验文件")
                       : expect ? QStringLiteral("文件")
                                : QStringLiteral("文件1"));
  StaticText2->setText(expect ? QStringLiteral("校验值") : QStringLiteral("文件2"));
  StaticText2->setEnabled(!sums);
  Edit2->setEnabled(!sums);
  SpeedButton2->setEnabled(!sums && !expect);
  Edit2->setPlaceholderText(expect ? QStringLiteral("8、32、40或64位十六进制数字") : QString());
  OpenDialog1->setNameFilter(QString::fromUtf8(sums ? kSumsFileFilter : kAnyFileFilter));
}

void Tcmpfm::btn1Click() {
  const std::string file1 = ToUtf8(Edit1->text());
  const std::string file2 = ToUtf8(Edit2->text());
  if (rbsums->isChecked()) {
    if (CheckInputs({{FileExists(file1), QStringLiteral("校验文件不存在!"), Edit1}})) {
      StartAndClose([&] { TCheckSums::Create(file1, Host()); });
    }
    return;
  }
  if (rbexpect->isChecked()) {
    // A text that is no checksum is turned away before the file is read.
    if (CheckInputs(
            {{FileExists(file1), QStringLiteral("文件不存在!"), Edit1},
             {ParseExpectedSum(file2).has_value(), QString::fromUtf8(kBadExpectedSum), Edit2}})) {
      StartAndClose([&] { TCmpExpected::Create(file1, file2, Host()); });
    }
    return;
  }
  if (CheckInputs({{FileExists(file1), QStringLiteral("文件1不存在!"), Edit1},
                   {FileExists(file2), QStringLiteral("文件2不存在!"), Edit2}})) {
    const CompareMode mode = rbmd5->isChecked()      ? CompareMode::Md5
                             : rbsha256->isChecked() ? CompareMode::Sha256
                             : rbbytes->isChecked()  ? CompareMode::Bytes
                                                     : CompareMode::Crc32;
    StartAndClose([&] { TCmpFile::Create(mode, file1, file2, Host()); });
  }
}

}  // namespace qarvo::ui
