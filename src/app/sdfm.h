#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/tool_form.h"

namespace qarvo::ui {

// "解包文件": picks a pack, the target folder and the options, and starts the unpack job.
class Tsdfm : public ToolForm {
  Q_OBJECT

 public:
  explicit Tsdfm(const ToolContext& context);

  QLabel* StaticText1 = nullptr;  // "源文件"
  QLineEdit* Edit1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QLabel* StaticText2 = nullptr;  // "释放到"
  QLineEdit* Edit2 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QCheckBox* CheckBox1 = nullptr;   // "默认释放到当前目录"
  QCheckBox* chktruecmp = nullptr;  // "即使有校验信息也不校验文件"
  QCheckBox* chkdel = nullptr;      // "解包后删除源文件"
  QCheckBox* chkispwd = nullptr;    // "使用密码-->"
  QLineEdit* edtpwd = nullptr;
  QPushButton* btn1 = nullptr;  // "开始"
  QFileDialog* OpenDialog1 = nullptr;

 public slots:
  void FormCreate();
  void Edit1Change(const QString& text);
  void CheckBox1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void btn1Click();

 private:
  void FollowPack();
};

}  // namespace qarvo::ui
