#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Qarvo文件分割助手"));
  label.show();
  return app.exec();
}
