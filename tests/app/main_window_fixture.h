#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/app_shell.h"
#include "app/mainfm.h"

namespace qarvo::test {

// The main window as the program builds it, shown, beside a temporary folder for the test's
// files: what the main window's tests stand on. The test class opens it in init() and closes it
// in cleanup().
class MainWindowFixture {
 protected:
  void OpenMainWindow() {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
      qFatal("cannot make a temporary folder");
    }
    shell_ = ui::CreateShell();
    w_ = shell_.main.get();
    w_->show();
    if (!QTest::qWaitForWindowExposed(w_)) {
      qFatal("the main window was never shown");
    }
  }
  void CloseMainWindow() {
    shell_.main.reset();
    w_ = nullptr;
    dir_.reset();
  }

  QString Path(const QString& name) const { return dir_->filePath(name); }
  QStringList Lines() const { return w_->Log().Lines(); }
  template <typename T>
  T* Find(const char* name) const {
    T* found = w_->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
      qFatal("the main window has no control %s", name);
    }
    return found;
  }

  ui::Shell shell_;
  ui::Tmainfm* w_ = nullptr;
  std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace qarvo::test
