#pragma once

#include <QApplication>
#include <QStringList>

#include <memory>

#include "app/mainfm.h"
#include "app/password_dialogs.h"

namespace qarvo::ui {

// The application object: whatever escapes an event handler ends in an error box instead of
// ending the program.
class QarvoApplication : public QApplication {
  Q_OBJECT

 public:
  QarvoApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Sets what the application shows for all its windows: the title, the font, the icon and the
// tooltip delay of 100 ms.
void SetUpApplication(QApplication& app);
// Qt's own translations in the program's language (Debian: qt6-translations-l10n).
void InstallQtTranslations(QApplication& app);

// The windows that live for the whole run.
struct Shell {
  std::unique_ptr<Tmainfm> main;
  Tpwdfm* split_password = nullptr;  // owned by the main window
  Tspwd1* pack_password = nullptr;   // owned by the main window
};

// Creates the main window, centred on the screen, then the two password dialogs.
Shell CreateShell();

// Files named on the command line (the desktop entry hands over the files the user opened)
// go where a drop puts them: a piece into the merge panel, anything else into the split panel.
// Relative names are taken from the working directory, as a drop gives absolute ones.
void OpenFiles(Tmainfm& main, const QStringList& names);

}  // namespace qarvo::ui
