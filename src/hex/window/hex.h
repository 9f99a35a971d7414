#pragma once

// The hex window layer: the hex view window Thexfm (this header) around the control of
// hex/widget, with its find dialog (ufind.h), go-to dialog (hexfm_goto.h), file information
// (hexfm_info.h) and data inspector (hexfm_inspector.h). Windows check their inputs and call the
// control; a change to a window's controls or texts goes here.

#include <cstdint>
#include <functional>

#include <QDialog>
#include <QString>

#include "hex/window/ufind.h"

class QAction;
class QActionGroup;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QCheckBox;

namespace qarvo::hex {

class TMPHexEditorEx;
class THexInspector;

// The hex view window: pick a file, see its size, attributes and dates, look at its bytes,
// copy them, search them, read the values at the caret and save a copy with the edits. The
// opened file is never written unless the user names it for "另存为..." and confirms. Closing
// the window with unsaved edits asks first; closing deletes it, and with it the file's bytes.
class Thexfm : public QDialog {
  Q_OBJECT

 public:
  // `size_text` writes a byte count as the main window does ("1.9KB").
  using SizeText = std::function<QString(int64_t)>;
  Thexfm(QWidget* owner, SizeText size_text);
  ~Thexfm() override;

  // The smallest window: the layout of the fixed-size window this one grew from.
  static constexpr int kBaseWidth = 634;
  static constexpr int kBaseHeight = 399;
  static constexpr int kViewHeight = 273;
  static constexpr int kInspectorWidth = 280;

  // The find state of this window.
  const FindState& Find() const { return find_; }

  // Everything "选择文件" does once a name is chosen: the caption, the file lines and the load.
  void OpenFile(const QString& path);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape closes the dialog without a close event; it asks the same question.
  void reject() override;

 private:
  // What the controls and actions run.
  void btnfileClick();
  void rbdecClick();
  void rbhexClick();
  void chkdoubleClick();
  void copyClick();
  void selectallClick();
  void acEditFindExecute();
  void actEditFindNextExecute();
  void actEditFindPrevExecute();
  void acGotoExecute();
  void acCopyHexExecute();
  // "另存为...": false when nothing was written (cancelled, refused or failed).
  bool acSaveAsExecute();
  void acInspectorExecute();
  void SetCharEncoding(int encoding);
  void UpdateStatus();
  // Shows the values at the caret in the inspector.
  void UpdateInspector();

  // Whether the window may go: no unsaved edits, or the user gave them up (or saved them).
  bool ConfirmDiscard();
  // Offsets and ruler in base 10 or 16.
  void SetOffsetBase(int base);
  // The view, the inspector and the controls below the view for the window's size.
  void LayOut();
  // One search step from the caret; forward or backward, wrapping as the find state says.
  void SearchStep(bool backward);
  // The buttons, offset choices, status lines and file information below the view.
  void PlaceControls();
  // The open and save dialogs.
  void BuildDialogs();
  // The find, go-to, save and inspector actions and the encoding menu.
  void BuildActions();
  // The view's context menu.
  void BuildPopupMenu();
  void ConnectControls();
  void MPHexEditorEx1Progress(int kind, const QString& name, int percent, bool* cancel);
  void ShowError(const QString& text);

  // The controls; each carries its field's name as object name, by which tests find it.
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
  QAction* actEditFindPrev;  // Shift+F3
  QAction* acGoto;           // "转到..." Ctrl+G
  QAction* acCopyHex;        // "复制为十六进制"
  QAction* acSaveAs;         // "另存为..." Ctrl+Shift+S
  QAction* acInspector;      // "数据查看器", shows or hides `inspector`
  QMenu* mnuEncoding;        // "字符编码" of the character column and the text search
  QActionGroup* encodings;   // its three choices, data() = TextEncoding
  QFileDialog* SaveDialog1;
  THexInspector* inspector;

  SizeText size_text_;
  FindState find_;
  // Where each control below the view sits in the smallest window; it keeps its distance to
  // the window's bottom.
  QList<QPair<QWidget*, QRect>> bottom_places_;
  bool discard_confirmed_ = false;
};

}  // namespace qarvo::hex
