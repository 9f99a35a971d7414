#pragma once

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTableWidget>
#include <QToolButton>

#include "app/tool_form.h"

namespace qarvo::ui {

class Tspwd1;

// "文件打包": collects files and options and starts the pack job.
class Tsmfm : public ToolForm {
  Q_OBJECT

 public:
  explicit Tsmfm(const ToolContext& context);
  ~Tsmfm() override;

  static constexpr int kInitialRows = 15;

  QGroupBox* GroupBox1 = nullptr;       // "文件列表"
  QTableWidget* StringGrid1 = nullptr;  // path, size text
  QMenu* PopupMenu1 = nullptr;
  QAction* N3 = nullptr;          // "清空"
  QAction* N2 = nullptr;          // "导入"
  QLabel* StaticText1 = nullptr;  // "任务总数:" and the count
  QGroupBox* grp1 = nullptr;      // "打包选项"
  QCheckBox* chkdel = nullptr;
  QCheckBox* chkcmp = nullptr;
  QRadioButton* rbcrc = nullptr;
  QRadioButton* rbmd5 = nullptr;
  QCheckBox* chkpwd = nullptr;
  QPushButton* btnpwd = nullptr;
  QLabel* Label1 = nullptr;  // "输出目录"
  QLineEdit* Edit1 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QLabel* lbl1 = nullptr;  // "输出文件名"
  QLineEdit* edtfilename = nullptr;
  QPushButton* btn3 = nullptr;  // "导入文件"
  QPushButton* btn1 = nullptr;  // "开始"
  QFileDialog* OpenDialog1 = nullptr;

  // Adds files to the list as the two add actions do after their dialog, with `unit` after
  // each size.
  void AddFiles(const QStringList& files, const QString& unit);

 public slots:
  void FormCreate();
  void btn3Click();
  void N2Click();
  void N3Click();
  void SpeedButton4Click();
  void Edit1Change(const QString& text);
  void chkcmpClick();
  void chkpwdClick(bool checked);
  void btnpwdClick();
  void btn1Click();

 private:
  void BuildList();
  void BuildOptions();
  void BuildOutput();
  void ChooseFiles(const QString& unit);
  int FirstEmptyRow(int column) const;
  void SetCell(int row, int column, const QString& text);
  QString CellText(int row, int column) const;

  Tspwd1* password_dialog_ = nullptr;
};

}  // namespace qarvo::ui
