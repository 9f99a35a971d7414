#pragma once

#include <cstdint>

#include <QDialog>

#include "hex/model/goto_offset.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qarvo::hex {

// "转到": asks for an offset (decimal, hex with 0x, $ or h, a move with + or -) and stays open
// with a message under the box until the offset is one of the data's bytes.
class TdlgGoto : public QDialog {
  Q_OBJECT

 public:
  // `caret` and `size` in bytes; `unit` the bytes per offset unit of the view.
  TdlgGoto(QWidget* owner, int64_t caret, int64_t size, int unit);

  // The byte chosen, once the dialog was accepted.
  int64_t Position() const { return position_; }

  // The message for a refused offset (the typed text and the data's size in it).
  static QString ErrorText(GotoError error, const QString& text, int64_t size);

 private:
  void btnokClick();

  QLineEdit* edtoffset;
  QLabel* lblerror;
  QPushButton* btnok;
  QPushButton* btncancel;

  int64_t caret_;
  int64_t size_;
  int unit_;
  int64_t position_ = -1;
};

}  // namespace qarvo::hex
