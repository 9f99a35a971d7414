#pragma once

// The window tests reach every control of the hex view window and its dialogs as a user's
// script would: by its object name, never through the window's fields.

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTest>
#include <QtGlobal>

#include "hex/widget/mphexeditor.h"

// The child of `parent` named `name`; a missing or differently typed control ends the test
// program with the name, since every later check would be meaningless.
template <class T>
T* Named(const QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) {
    qFatal("no control named %s of the expected kind", name);
  }
  return found;
}

// The hex view of a hex view window.
inline qarvo::hex::TMPHexEditorEx* ViewOf(const QObject* window) {
  return Named<qarvo::hex::TMPHexEditorEx>(window, "MPHexEditorEx1");
}

// Makes `window` the active window, whose shortcuts (F3, Ctrl+F) work: without a window
// manager nobody gives it the focus back after a modal dialog closed, and the offscreen
// platform may leave a closed dialog as the active window.
inline void ActivateWindow(QWidget* window) {
  QCoreApplication::processEvents();
  window->activateWindow();
  QApplication::setActiveWindow(window);
  if (!QTest::qWaitFor([window] { return QApplication::activeWindow() == window; })) {
    qWarning("the hex window did not become active");
  }
}
