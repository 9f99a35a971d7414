#pragma once

#include "app/tool_form.h"

namespace qarvo::ui {

// "文件对比": picks two files and the method, and starts the job that compares them.
class Tcmpfm : public ToolForm {
  Q_OBJECT

 public:
  explicit Tcmpfm(const ToolContext& context);

  QLabel* StaticText1 = nullptr;  // "文件1"
  QLabel* StaticText2 = nullptr;  // "文件2"
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* btn1 = nullptr;    // "开始"
  QRadioButton* rbcrc = nullptr;  // "CRC32对比", checked at first
  QRadioButton* rbmd5 = nullptr;  // "MD5对比"
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* OpenDialog2 = nullptr;

 public slots:
  void btn1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
};

}  // namespace qarvo::ui
