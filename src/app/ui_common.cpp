#include "app/ui_common.h"

#include <QMessageBox>

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

}  // namespace qarvo::ui
