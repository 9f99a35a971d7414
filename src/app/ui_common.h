#pragma once

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <initializer_list>
#include <string>
#include <vector>

namespace qarvo::ui {

// The windows' font: 宋体 at 12 pixels, stood in for by WenQuanYi Micro Hei.
QFont WindowFont();

// The small dialogs' input-error box: caption "提示", a warning icon, one OK button, modal to
// `parent`.
void ShowHint(QWidget* parent, const QString& text);

// Once per job, before it starts: when some of the job's outputs (`paths`) already exist, a
// question box names the first and says how many there are; No is the default. True when
// nothing would be replaced or the user answered Yes; `agreed` is then whether a Yes was given.
bool MayWriteOutputs(QWidget* parent, const std::vector<std::string>& paths, bool& agreed);

// Named controls laid out by a layout: buttons do not take the default action, and every
// control carries its object name.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption);
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption);
QLineEdit* MakeEdit(QWidget* parent, const char* name);
// A row of `widgets` without margins; `stretch` adds a stretch after them.
QHBoxLayout* MakeRow(std::initializer_list<QWidget*> widgets, int spacing = 4, bool stretch = true);
// `controls` are enabled exactly while `box` is ticked, from now on.
void FollowCheckBox(QCheckBox* box, std::initializer_list<QWidget*> controls);

// Whether a path typed into a window names an existing file or directory.
bool ExistingFile(const QString& path);
bool ExistingDirectory(const QString& path);

// The folder picker: file-system folders only, starting at the desktop. A chosen folder
// replaces the text of `target`; a cancel leaves it.
void BrowseForFolder(QWidget* owner, const QString& title, QLineEdit* target);

// A password edit that is used only while its box is ticked: unticking disables and empties it.
void ClearWhenUnticked(QCheckBox* box, QLineEdit* edit);

// Core texts and paths are UTF-8.
inline std::string ToUtf8(const QString& text) {
  return text.toStdString();
}
inline QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

// The folder of a path for a folder box that follows a file box: the core's DirectoryOf, except
// that an empty file box gives an empty folder box.
QString DirectoryPart(const QString& path);

}  // namespace qarvo::ui
