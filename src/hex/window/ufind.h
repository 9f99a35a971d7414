#pragma once

#include <string>

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qarvo::hex {

// The find dialog of the hex view window: the text, "忽略大小写", the three-state text/hex
// choice that stays undecided (grey: decided from the text) until a window has confirmed its
// first search, and whether a search goes on from the other end of the data.
class TdlgFind : public QDialog {
  Q_OBJECT

 public:
  explicit TdlgFind(QWidget* owner = nullptr);

  // The caption of the text/hex choice for its state: each state says what it does.
  static QString TextChoiceCaption(Qt::CheckState state);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  friend void LoadFindDialog(TdlgFind& dialog, const struct FindState& state);
  friend void StoreFindDialog(const TdlgFind& dialog, struct FindState& state);
  void edFindChange();

  QLineEdit* edFind;
  QPushButton* Button1;
  QCheckBox* cbNoCase;
  QCheckBox* cbText;
  QCheckBox* cbWrap;
};

// The search state of one hex view window; empty and false when the window is made.
struct FindState {
  QString FindText;      // the text last confirmed
  std::string FindData;  // the bytes searched for
  bool FindIgnoreCase = false;
  bool FindIsText = false;  // false: FindText is hex digits
  bool FindWrap = false;    // a search that reaches an end goes on from the other
};

// Whether a confirmed text is searched as text: as the (hidden) "全部匹配" box says, or, while
// it is still undecided, as text unless it looks like hex digits ("abc" is hex, "hello" text).
bool DecideFindIsText(Qt::CheckState cbText, const QString& text);

// Fills the dialog from the state (the kind only once a text has been confirmed).
void LoadFindDialog(TdlgFind& dialog, const FindState& state);
// Takes a confirmed dialog into the state; FindData becomes the text's bytes.
void StoreFindDialog(const TdlgFind& dialog, FindState& state);

// Shows the find dialog modally over `owner`; true when it was confirmed, and only then is
// `state` changed.
bool ShowFindDialog(QWidget* owner, FindState& state);

// "查找数据" up to the search: the dialog, then for a hex search the bytes its digits spell
// (nibbles swapped with `swap_nibbles`). True when there is something to search for, so that
// the window enables "查找下一个" and runs it.
bool RunFindDialog(QWidget* owner, FindState& state, bool swap_nibbles);

}  // namespace qarvo::hex
