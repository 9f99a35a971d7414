#include "app/tool_form.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <exception>

#include "app/ui_common.h"

namespace qarvo::ui {

ToolForm::ToolForm(const ToolContext& context, const QString& caption, int width, int height)
    : QDialog(context.owner), host_(context.host) {
  setWindowTitle(caption);
  setFont(WindowFont());
  setFixedSize(width, height);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void ToolForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QScreen* on = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (on != nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(on->availableGeometry().center());
    move(frame.topLeft());
  }
}

QLabel* ToolForm::AddLabel(const char* name, const QString& caption, int x, int y, int w, int h) {
  QLabel* label = MakeLabel(this, name, caption);
  label->setGeometry(x, y, w, h);
  return label;
}

QLineEdit* ToolForm::AddEdit(const char* name, int x, int y, int w, int h) {
  QLineEdit* edit = MakeEdit(this, name);
  edit->setGeometry(x, y, w, h);
  return edit;
}

QPushButton* ToolForm::AddButton(const char* name, const QString& caption, int x, int y, int w,
                                 int h) {
  QPushButton* button = MakeButton(this, name, caption);
  button->setGeometry(x, y, w, h);
  return button;
}

QCheckBox* ToolForm::AddCheck(const char* name, const QString& caption, int x, int y, int w,
                              QWidget* parent) {
  QCheckBox* box = MakeCheck(parent != nullptr ? parent : this, name, caption);
  box->setGeometry(x, y, w, 20);
  return box;
}

QRadioButton* ToolForm::AddRadio(const char* name, const QString& caption, int x, int y, int w,
                                 QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent != nullptr ? parent : this);
  radio->setObjectName(QString::fromLatin1(name));
  radio->setGeometry(x, y, w, 20);
  return radio;
}

QToolButton* ToolForm::AddSpeedButton(const char* name, const QString& caption, int x, int y, int w,
                                      int h) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(caption);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(x, y, w, h);
  return button;
}

QFileDialog* ToolForm::AddOpenDialog(const char* name, const QString& filter) {
  auto* dialog = new QFileDialog(this);
  dialog->setObjectName(QString::fromLatin1(name));
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  if (!filter.isEmpty()) {
    dialog->setNameFilter(filter);
  }
  return dialog;
}

bool ToolForm::BrowseFile(QFileDialog* dialog, QLineEdit* target) {
  if (dialog->exec() != QDialog::Accepted) {
    return false;
  }
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) {
    return false;
  }
  target->setText(files.front());
  return true;
}

bool ToolForm::CheckInputs(std::initializer_list<InputCheck> checks) {
  for (const InputCheck& check : checks) {
    if (!check.passed) {
      ShowHint(this, check.hint);
      if (check.focus != nullptr) {
        check.focus->setFocus();
      }
      return false;
    }
  }
  return true;
}

void ToolForm::StartAndClose(const std::function<void()>& start) {
  try {
    start();
  } catch (const std::exception& error) {
    ShowHint(this, QString::fromUtf8(error.what()));
    return;
  }
  accept();
}

TwoFileForm::TwoFileForm(const ToolContext& context, const QString& caption, QSize size,
                         const Layout& layout)
    : ToolForm(context, caption, size.width(), size.height()) {
  StaticText1 = AddLabel("StaticText1", layout.caption1, 8, 10, 40, 20);
  StaticText2 = AddLabel("StaticText2", layout.caption2, 8, 40, 40, 20);
  Edit1 = AddEdit("Edit1", 50, 8, layout.edit_width, 23);
  Edit2 = AddEdit("Edit2", 50, 38, layout.edit_width, 23);
  const QRect& start = layout.start;
  btn1 = AddButton("btn1", QStringLiteral("开始"), start.x(), start.y(), start.width(),
                   start.height());
  btn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  btn1->setDefault(true);
  const int browse_x = 50 + layout.edit_width + 2;
  SpeedButton1 = AddSpeedButton("SpeedButton1", QStringLiteral("浏览..."), browse_x, 8, 50, 23);
  SpeedButton2 = AddSpeedButton("SpeedButton2", QStringLiteral("浏览..."), browse_x, 38, 50, 23);
  OpenDialog1 = AddOpenDialog("OpenDialog1", layout.filter);
  OpenDialog2 = AddOpenDialog("OpenDialog2", layout.filter);
  StaticText1->setBuddy(Edit1);
  StaticText2->setBuddy(Edit2);
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, btn1);
  connect(SpeedButton1, &QToolButton::clicked, this, &TwoFileForm::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TwoFileForm::SpeedButton2Click);
  Edit1->setFocus();
}

void TwoFileForm::SpeedButton1Click() {
  BrowseFile(OpenDialog1, Edit1);
}

void TwoFileForm::SpeedButton2Click() {
  BrowseFile(OpenDialog2, Edit2);
}

}  // namespace qarvo::ui
