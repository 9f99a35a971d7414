#include "app/app_shell.h"

#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProxyStyle>
#include <QScreen>
#include <QTranslator>

#include <exception>

#include "app/ui_common.h"

// Resources of a static library are registered by hand.
static void InitResources() {
  Q_INIT_RESOURCE(qarvo);
}

namespace qarvo::ui {

namespace {

constexpr int kToolTipDelayMs = 100;

class ShellStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_ToolTip_WakeUpDelay) {
      return kToolTipDelayMs;
    }
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

}  // namespace

QarvoApplication::QarvoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QarvoApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    QMessageBox::critical(activeWindow(), QStringLiteral("错误"), QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(activeWindow(), QStringLiteral("错误"),
                          QStringLiteral("发生了未知错误。"));
  }
  return false;
}

void InstallQtTranslations(QApplication& app) {
  // The program speaks Chinese whatever the system's language, and so do Qt's own texts
  // beside its texts: the file dialogs, the message boxes' buttons, the edit boxes' menus.
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* catalog : {"qtbase_zh_CN", "qtmultimedia_zh_CN"}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(catalog), folder)) {
      QCoreApplication::installTranslator(translator);
    } else {
      delete translator;  // without the package the texts stay English
    }
  }
}

void SetUpApplication(QApplication& app) {
  InitResources();
  InstallQtTranslations(app);
  // The application name, not the display name: a display name would be appended to every
  // window title.
  QApplication::setApplicationName(QStringLiteral("Qarvo文件分割助手"));
  QGuiApplication::setDesktopFileName(QStringLiteral("qarvo-gui"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/qarvo/qarvo.png")));
  // Windows that ask for the font by its Windows name get the stand-in as well.
  QFont::insertSubstitution(QStringLiteral("宋体"), WindowFont().family());
  QFont::insertSubstitution(QStringLiteral("SimSun"), WindowFont().family());
  QApplication::setFont(WindowFont());
  app.setStyle(new ShellStyle);
}

Shell CreateShell() {
  Shell shell;
  shell.main = std::make_unique<Tmainfm>();
  Tmainfm& main = *shell.main;
  main.adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = main.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    main.move(frame.topLeft());
  }
  shell.split_password = new Tpwdfm(&main);
  shell.pack_password = new Tspwd1(&main);
  main.SetPasswordDialogs(shell.split_password, shell.pack_password);
  return shell;
}

void OpenFiles(Tmainfm& main, const QStringList& names) {
  QStringList absolute;
  for (const QString& name : names) {
    if (!name.isEmpty()) {
      absolute.push_back(QDir::cleanPath(QDir::current().absoluteFilePath(name)));
    }
  }
  if (!absolute.isEmpty()) {
    main.DropFiles(absolute);
  }
}

}  // namespace qarvo::ui
