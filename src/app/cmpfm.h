#pragma once

#include <QRadioButton>

#include "app/tool_form.h"

namespace qarvo::ui {

// "文件对比": compares two files by checksum or byte for byte, checks one file against a
// checksum typed or pasted in, or checks every file a checksum file lists.
class Tcmpfm : public TwoFileForm {
  Q_OBJECT

 public:
  explicit Tcmpfm(const ToolContext& context);

  QRadioButton* rbcrc = nullptr;     // "CRC32对比", checked at first
  QRadioButton* rbmd5 = nullptr;     // "MD5对比"
  QRadioButton* rbsha256 = nullptr;  // "SHA256对比"
  QRadioButton* rbbytes = nullptr;   // "逐字节比较"
  QRadioButton* rbexpect = nullptr;  // "与校验值对比": Edit2 holds the checksum
  QRadioButton* rbsums = nullptr;    // "检查校验文件": Edit1 holds the checksum file

 public slots:
  void btn1Click();
  // Names the fields after what the chosen method takes.
  void rbClick();
};

}  // namespace qarvo::ui
