#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include <string>

namespace qarvo::ui {

// The windows' font: 宋体 at 12 pixels, stood in for by WenQuanYi Micro Hei.
QFont WindowFont();

// The small dialogs' input-error box: caption "提示", a warning icon, one OK button, modal to
// `parent`.
void ShowHint(QWidget* parent, const QString& text);

// Core texts and paths are UTF-8.
inline std::string ToUtf8(const QString& text) {
  return text.toStdString();
}
inline QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace qarvo::ui
