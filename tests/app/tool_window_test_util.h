#pragma once

// Helpers shared by the tool window tests: a timer that answers modal windows, file dialogs
// filled as a user would, and whole-file reads and writes by Qt path.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/password_dialogs.h"

namespace qarvo::test {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
};

// Answers modal windows while a handler runs: message boxes are recorded and closed with OK,
// file dialogs and the pack password dialog go to their handlers (cancelled when none is set).
class ToolModalAnswerer : public QObject {
 public:
  ToolModalAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &ToolModalAnswerer::Poll);
    timer_.start(5);
  }
  std::vector<SeenBox> boxes;
  std::function<void(QFileDialog*)> on_file_dialog;
  std::function<void(ui::Tspwd1*)> on_password;

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.push_back(
          {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())});
      // A question (whether to replace files) gets its default answer, No.
      QAbstractButton* answer = box->button(QMessageBox::Ok);
      (answer != nullptr ? answer : box->button(QMessageBox::No))->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      // A dialog the handler could not close (a failed check inside it) is cancelled, so a
      // failing test ends instead of waiting for ever.
      if (on_file_dialog && ++file_dialog_polls_ <= 50) {
        on_file_dialog(dialog);
      } else {
        dialog->reject();
      }
    } else if (auto* password = qobject_cast<ui::Tspwd1*>(modal)) {
      if (on_password) {
        on_password(password);
      } else {
        password->reject();
      }
    }
  }
  QTimer timer_;
  int file_dialog_polls_ = 0;
};

// Types a full path into the dialog's name box, as a user would: selectFile leaves that edit
// alone once it has the focus, which makes it racy.
inline void TypeFileName(QFileDialog* dialog, const QString& path) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (name != nullptr) {
    name->setText(path);
  }
}

inline void WriteBytes(const QString& path, const std::string& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

}  // namespace qarvo::test
