#include "app/ui_common.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

#include "platform/file.h"
#include "platform/file_checks.h"

namespace qarvo::ui {

QFont WindowFont() {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setPixelSize(12);
  return font;
}

void ShowHint(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), text, QMessageBox::Ok, parent);
  box.exec();
}

bool MayWriteOutputs(QWidget* parent, const std::vector<std::string>& paths, bool& agreed) {
  agreed = false;
  const ExistingOutputs existing = FindExisting(paths);
  if (!existing.Any()) {
    return true;
  }
  QString text = QStringLiteral("文件%1已存在").arg(FromUtf8(existing.first));
  if (existing.count > 1) {
    text += QStringLiteral("(共有%1个文件已存在)").arg(existing.count);
  }
  text += QStringLiteral(",是否覆盖?");
  QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  agreed = box.exec() == QMessageBox::Yes;
  return agreed;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

QHBoxLayout* MakeRow(std::initializer_list<QWidget*> widgets, int spacing, bool stretch) {
  auto* row = new QHBoxLayout;
  row->setSpacing(spacing);
  row->setContentsMargins(0, 0, 0, 0);
  for (QWidget* widget : widgets) {
    row->addWidget(widget);
  }
  if (stretch) {
    row->addStretch(1);
  }
  return row;
}

void FollowCheckBox(QCheckBox* box, std::initializer_list<QWidget*> controls) {
  for (QWidget* control : controls) {
    control->setEnabled(box->isChecked());
    QObject::connect(box, &QCheckBox::toggled, control, &QWidget::setEnabled);
  }
}

bool ExistingFile(const QString& path) {
  return !path.isEmpty() && FileExists(ToUtf8(path));
}

bool ExistingDirectory(const QString& path) {
  return !path.isEmpty() && DirectoryExists(ToUtf8(path));
}

void BrowseForFolder(QWidget* owner, const QString& title, QLineEdit* target) {
  const QString dir = QFileDialog::getExistingDirectory(
      owner, title, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
      QFileDialog::ShowDirsOnly);
  if (!dir.isEmpty()) {
    target->setText(dir);
  }
}

void ClearWhenUnticked(QCheckBox* box, QLineEdit* edit) {
  QObject::connect(box, &QCheckBox::toggled, edit, [edit](bool on) {
    edit->setEnabled(on);
    if (!on) {
      edit->clear();
    }
  });
}

QString DirectoryPart(const QString& path) {
  return path.isEmpty() ? QString() : FromUtf8(DirectoryOf(ToUtf8(path)));
}

}  // namespace qarvo::ui
