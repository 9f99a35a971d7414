#include "app/cmpfm.h"

#include <QButtonGroup>

#include "app/ui_common.h"
#include "platform/file.h"
#include "tools/compare.h"

namespace qarvo::ui {

namespace {

// Every file, including those without a dot in their name.
const char* const kAnyFileFilter = "任何文件(*)";

}  // namespace

Tcmpfm::Tcmpfm(const ToolContext& context)
    : TwoFileForm(context, QStringLiteral("文件对比"), QSize(408, 105),
                  {.caption1 = QStringLiteral("文件1"),
                   .caption2 = QStringLiteral("文件2"),
                   .edit_width = 296,
                   .start = QRect(318, 70, 82, 28),
                   .filter = QString::fromUtf8(kAnyFileFilter)}) {
  rbcrc = AddRadio("rbcrc", QStringLiteral("CRC32对比"), 150, 74, 110);
  rbcrc->setChecked(true);
  rbmd5 = AddRadio("rbmd5", QStringLiteral("MD5对比"), 50, 74, 90);
  auto* group = new QButtonGroup(this);
  group->addButton(rbcrc);
  group->addButton(rbmd5);
  setTabOrder(btn1, rbcrc);
  setTabOrder(rbcrc, rbmd5);
  connect(btn1, &QPushButton::clicked, this, &Tcmpfm::btn1Click);
}

void Tcmpfm::btn1Click() {
  const std::string file1 = ToUtf8(Edit1->text());
  const std::string file2 = ToUtf8(Edit2->text());
  if (CheckInputs({{FileExists(file1), QStringLiteral("文件1不存在!"), Edit1},
                   {FileExists(file2), QStringLiteral("文件2不存在!"), Edit2}})) {
    const ChecksumKind mode = rbcrc->isChecked() ? ChecksumKind::Crc32 : ChecksumKind::Md5;
    StartAndClose([&] { TCmpFile::Create(mode, file1, file2, Host()); });
  }
}

}  // namespace qarvo::ui
