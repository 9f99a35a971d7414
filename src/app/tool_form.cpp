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
  auto* label = new QLabel(caption, this);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(x, y, w, h);
  return label;
}

QLineEdit* ToolForm::AddEdit(const char* name, int x, int y, int w, int h) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(x, y, w, h);
  return edit;
}

QPushButton* ToolForm::AddButton(const char* name, const QString& caption, int x, int y, int w,
                                 int h) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(x, y, w, h);
  button->setAutoDefault(false);
  return button;
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

QString ToolForm::RunOpenDialog(QFileDialog* dialog) {
  if (dialog->exec() != QDialog::Accepted) {
    return QString();
  }
  const QStringList files = dialog->selectedFiles();
  return files.isEmpty() ? QString() : files.front();
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

QString DirectoryPart(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) {
    return QString();
  }
  return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace qarvo::ui
