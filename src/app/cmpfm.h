#pragma once

#include <QRadioButton>

#include "app/tool_form.h"

namespace qarvo::ui {

// "文件对比": picks two files and the method, and starts the job that compares them.
class Tcmpfm : public TwoFileForm {
  Q_OBJECT

 public:
  explicit Tcmpfm(const ToolContext& context);

  QRadioButton* rbcrc = nullptr;  // "CRC32对比", checked at first
  QRadioButton* rbmd5 = nullptr;  // "MD5对比"

 public slots:
  void btn1Click();
};

}  // namespace qarvo::ui
