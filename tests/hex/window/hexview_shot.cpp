// Takes the README's pictures of the hex view window as a user sees them on an X display:
// a real file loaded, a selection and the find dialog over it; or, with "inspector", the
// data inspector beside the view and the character column in GB18030 on Chinese text.
// Usage: hexview_shot FILE OUT.png SEARCH_TEXT [inspector]
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/app_shell.h"
#include "app/format_size.h"
#include "hex/model/char_encoding.h"
#include "hex/widget/mphexeditor.h"
#include "hex/window/hex.h"
#include "hex/window/hex_window_test_util.h"
#include "hex/window/ufind.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    return 2;
  }
  qarvo::ui::SetUpApplication(app);
  const bool inspector = argc > 4 && QString::fromLocal8Bit(argv[4]) == QStringLiteral("inspector");
  auto* window = new qarvo::hex::Thexfm(nullptr, &qarvo::ui::FormatSizeText);
  window->show();
  window->OpenFile(QString::fromLocal8Bit(argv[1]));
  qarvo::hex::TMPHexEditorEx* view = ViewOf(window);
  const QString text = QString::fromLocal8Bit(argv[3]);
  QByteArray bytes = text.toUtf8();
  if (inspector) {
    for (QAction* choice : Named<QActionGroup>(window, "encodings")->actions()) {
      if (choice->data().toInt() == static_cast<int>(qarvo::hex::TextEncoding::kGb18030)) {
        choice->trigger();
      }
    }
    bool ok = false;
    bytes = QByteArray::fromStdString(
        qarvo::hex::EncodeText(qarvo::hex::TextEncoding::kGb18030, bytes.toStdString(), ok));
    Named<QAction>(window, "acInspector")->trigger();
    window->resize(window->width(), 520);
  }
  const int64_t found = view->Find(bytes.toStdString(), 0, view->DataSize() - 1, false);
  if (found >= 0) {
    if (inspector) {
      view->SetCaretPosition(found);  // the inspector reads the word's first character
    } else {
      view->SetCaretPosition(found + bytes.size() - 1);
      view->SetSelectionEnd(found);
    }
    view->ScrollToCaret();
  }
  if (!inspector) {
    auto* find = new qarvo::hex::TdlgFind(window);
    Named<QLineEdit>(find, "edFind")->setText(text);
    find->show();
    find->move(window->geometry().left() + 300, window->geometry().top() + 180);
  }
  view->setFocus();
  const QString out = QString::fromLocal8Bit(argv[2]);
  QTimer::singleShot(1000, [&] {
    const QRect area = window->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    app.exit(shot.save(out) ? 0 : 1);
  });
  return app.exec();
}
