#pragma once

#include "app/tool_form.h"

namespace qarvo::ui {

// "文件捆绑": picks a head and a tail file and starts the job that appends the tail to the head.
class Taddfm : public TwoFileForm {
  Q_OBJECT

 public:
  explicit Taddfm(const ToolContext& context);

 public slots:
  void btn1Click();
  void Edit1Change(const QString& text);
  void Edit2Change(const QString& text);
};

}  // namespace qarvo::ui
