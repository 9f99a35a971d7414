#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QSize>
#include <QString>
#include <QToolButton>

#include <functional>
#include <initializer_list>

#include "app/tool_windows.h"

namespace qarvo::ui {

// Base of the small file tool windows: a fixed-size dialog centred on the screen, in the
// windows' font, holding what the main window handed over for the job it starts.
class ToolForm : public QDialog {
  Q_OBJECT

 public:
  ToolForm(const ToolContext& context, const QString& caption, int width, int height);

  const JobHost& Host() const { return host_; }

 protected:
  void showEvent(QShowEvent* event) override;

  // Controls placed at fixed positions, named for the tests and the style sheet.
  QLabel* AddLabel(const char* name, const QString& caption, int x, int y, int w, int h);
  QLineEdit* AddEdit(const char* name, int x, int y, int w, int h);
  QPushButton* AddButton(const char* name, const QString& caption, int x, int y, int w, int h);
  // `parent` is the window when nullptr.
  QCheckBox* AddCheck(const char* name, const QString& caption, int x, int y, int w,
                      QWidget* parent = nullptr);
  QRadioButton* AddRadio(const char* name, const QString& caption, int x, int y, int w,
                         QWidget* parent = nullptr);
  // A flat button that takes no focus, as a speed button.
  QToolButton* AddSpeedButton(const char* name, const QString& caption, int x, int y, int w, int h);
  // `filter` is a Qt name filter; empty lists every file.
  QFileDialog* AddOpenDialog(const char* name, const QString& filter);

  // Runs `dialog`; a chosen file's full path replaces the text of `target`. Whether a file
  // was chosen.
  static bool BrowseFile(QFileDialog* dialog, QLineEdit* target);

  // One check of the inputs before a start: whether it passed, else the hint to show and the
  // field that takes the focus (none for nullptr).
  struct InputCheck {
    bool passed;
    QString hint;
    QWidget* focus = nullptr;
  };
  // The first failing check shows its hint in a "提示" box and moves the focus; false then.
  bool CheckInputs(std::initializer_list<InputCheck> checks);
  // Starts the job through `start` and closes the window. A job that cannot be created (its
  // input cannot be read) shows why in a "提示" box and leaves the window open.
  void StartAndClose(const std::function<void()>& start);

 private:
  JobHost host_;
};

// A window that takes two files, each with its caption, edit and browse button, and starts
// its job with `btn1`.
class TwoFileForm : public ToolForm {
  Q_OBJECT

 public:
  QLabel* StaticText1 = nullptr;
  QLabel* StaticText2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* btn1 = nullptr;  // "开始"
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* OpenDialog2 = nullptr;

 public slots:
  void SpeedButton1Click();
  void SpeedButton2Click();

 protected:
  struct Layout {
    QString caption1;
    QString caption2;
    int edit_width;  // the browse buttons follow the edits
    QRect start;     // where `btn1` is
    QString filter;  // of both open dialogs
  };
  TwoFileForm(const ToolContext& context, const QString& caption, QSize size, const Layout& layout);
};

}  // namespace qarvo::ui
