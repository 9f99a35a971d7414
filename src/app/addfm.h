#pragma once

#include "app/tool_form.h"

namespace qarvo::ui {

// "文件捆绑": picks a head and a tail file and starts the job that appends the tail to the head.
class Taddfm : public ToolForm {
  Q_OBJECT

 public:
  explicit Taddfm(const ToolContext& context);

  QLabel* StaticText1 = nullptr;  // "头文件"
  QLabel* StaticText2 = nullptr;  // "尾文件"
  QLineEdit* Edit1 = nullptr;     // head file
  QLineEdit* Edit2 = nullptr;     // tail file
  QPushButton* btn1 = nullptr;    // "开始"
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* OpenDialog2 = nullptr;

 public slots:
  void btn1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void Edit1Change(const QString& text);
  void Edit2Change(const QString& text);
};

}  // namespace qarvo::ui
