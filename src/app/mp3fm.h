#pragma once

#include <cstdint>

#include "app/tool_form.h"

namespace qarvo::ui {

// "MP3剪辑": picks a source, a target directory and three times (playing time, start, end) and
// starts the job that copies that span of the source by plain byte arithmetic.
class Tmp3fm : public ToolForm {
  Q_OBJECT

 public:
  explicit Tmp3fm(const ToolContext& context);

  QLabel* lbl5 = nullptr;  // "源文件"
  QLineEdit* edtmp3path = nullptr;
  QPushButton* btn1 = nullptr;  // "浏览..."
  QLabel* lbl6 = nullptr;       // "释放到"
  QLineEdit* edtdir = nullptr;
  QPushButton* btn3 = nullptr;  // "浏览..." for the directory
  QLabel* lbl2 = nullptr;       // "播放时间"
  QLineEdit* edth1 = nullptr;
  QLineEdit* edtm1 = nullptr;
  QLineEdit* edts1 = nullptr;
  QLabel* lbl3 = nullptr;  // "起始时间"
  QLineEdit* edth2 = nullptr;
  QLineEdit* edtm2 = nullptr;
  QLineEdit* edts2 = nullptr;
  QLabel* lbl4 = nullptr;  // "结束时间"
  QLineEdit* edth3 = nullptr;
  QLineEdit* edtm3 = nullptr;
  QLineEdit* edts3 = nullptr;
  QLabel* lbl1 = nullptr;  // how to read the boxes
  QCheckBox* chkisdir = nullptr;
  QPushButton* btn2 = nullptr;  // "开始"
  QFileDialog* dlgOpen1 = nullptr;

  // Every one of the nine time boxes holds one or more ASCII digits and nothing else.
  bool TESTisno() const;

 public slots:
  void btn1Click();
  void btn2Click();
  void btn3Click();
  void chkisdirClick();
  void edtmp3pathChange(const QString& text);
  void edtm1Change(const QString& text);
  void edts1Change(const QString& text);
  void edtm2Change(const QString& text);
  void edts2Change(const QString& text);
  void edtm3Change(const QString& text);
  void edts3Change(const QString& text);

 private:
  QLineEdit* AddTimeBox(const char* name, int x, int y);
  int32_t SecondsOf(const QLineEdit* hours, const QLineEdit* minutes,
                    const QLineEdit* seconds) const;
};

}  // namespace qarvo::ui
