#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>
#include <QString>

#include "hexview/ufind.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QCheckBox;

namespace qarvo::hex {

class TMPHexEditorEx;

// The hex view window: pick a file, see its size, attributes and dates, look at its bytes,
// copy them and search them. Nothing typed into the view is ever written back. Closing the
// window deletes it, and with it the file's bytes.
class Thexfm : public QDialog {
  Q_OBJECT

 public:
  // `size_text` writes a byte count as the main window does ("1.9KB").
  using SizeText = std::function<QString(int64_t)>;
  Thexfm(QWidget* owner, SizeText size_text);
  ~Thexfm() override;

  TMPHexEditorEx* MPHexEditorEx1;
  QPushButton* btnfile;
  QPushButton* btnfind;
  QPushButton* btnfindnaxt;
  QLabel* Label3;
  QRadioButton* rbhex;
  QRadioButton* rbdec;
  QCheckBox* chkdouble;
  QLabel* lblpos;
  QLabel* lblsel;
  QLabel* Label4;
  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLabel* Label5;
  QLabel* Label2;
  QLabel* Label6;
  QFileDialog* OpenDialog1;
  QMenu* PopupMenu1;
  QAction* acEditFind;
  QAction* actEditFindNext;

  // The find state of this window.
  const FindState& Find() const { return find_; }

  // Everything "选择文件" does once a name is chosen: the caption, the file lines and the load.
  void OpenFile(const QString& path);

  void btnfileClick();
  void rbdecClick();
  void rbhexClick();
  void chkdoubleClick();
  void copyClick();
  void selectallClick();
  void acEditFindExecute();
  void actEditFindNextExecute();
  void UpdateStatus();

 private:
  // The buttons, offset choices, status lines and file information below the view.
  void PlaceControls();
  // The open dialog, the find actions and the view's context menu.
  void BuildActions();
  void ConnectControls();
  void MPHexEditorEx1Progress(int kind, const QString& name, int percent, bool* cancel);
  void ShowError(const QString& text);

  SizeText size_text_;
  FindState find_;
};

}  // namespace qarvo::hex
