// Takes the README's picture of the hex view window: a real file loaded, a selection, and the
// find dialog over it, as a user sees them on an X display.
// Usage: hexview_shot FILE OUT.png SEARCH_TEXT
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/format_size.h"
#include "hexview/hex.h"
#include "hexview/mphexeditor.h"
#include "hexview/ufind.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    return 2;
  }
  auto* window = new qarvo::hex::Thexfm(nullptr, &qarvo::ui::FormatSizeText);
  window->show();
  window->OpenFile(QString::fromLocal8Bit(argv[1]));
  const QString text = QString::fromLocal8Bit(argv[3]);
  const QByteArray bytes = text.toUtf8();
  const int64_t found = window->MPHexEditorEx1->Find(bytes.toStdString(), 0,
                                                     window->MPHexEditorEx1->DataSize() - 1, false);
  if (found >= 0) {
    window->MPHexEditorEx1->SetCaretPosition(found + bytes.size() - 1);
    window->MPHexEditorEx1->SetSelectionEnd(found);
  }
  auto* find = new qarvo::hex::TdlgFind(window);
  find->edFind->setText(text);
  find->show();
  find->move(window->geometry().left() + 300, window->geometry().top() + 180);
  const QString out = QString::fromLocal8Bit(argv[2]);
  QTimer::singleShot(1000, [&] {
    const QRect area = window->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    app.exit(shot.save(out) ? 0 : 1);
  });
  return app.exec();
}
