// The parts of the control that read the content as multi-byte text or write it elsewhere:
// the character column in UTF-8 and GB18030, and saving a copy.
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "hex/model/save_copy.h"
#include "hex/widget/mphexeditor.h"

namespace qarvo::hex {
namespace {

// How far back the character column looks for a character boundary (see CharCellAt).
constexpr int64_t kLookBack = 256;

bool IsControl(char32_t code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0);
}

}  // namespace

void TMPHexEditorEx::ReadContent(int64_t position, std::span<uint8_t> out) const {
  model_.Read(position, out);
}

void TMPHexEditorEx::SaveCopyTo(const QString& path) {
  BusyCursor busy;
  const QString name = QFileInfo(path).absoluteFilePath();
  SaveContentCopy([this](int64_t position, std::span<uint8_t> out) { ReadContent(position, out); },
                  DataSize(), path.toStdString(),
                  [this, &name](int percent) {
                    bool cancel = false;
                    emit progress(pkSave, name, percent, &cancel);
                    return !cancel;
                  });
}

void TMPHexEditorEx::SetCharEncoding(TextEncoding encoding) {
  char_encoding_ = encoding;
  viewport()->update();
}

CharCell TMPHexEditorEx::CharCellOf(int64_t position) const {
  if (position < 0 || position >= DataSize()) {
    return {};
  }
  const int64_t first = std::max<int64_t>(0, position - kLookBack);
  const int64_t end = std::min<int64_t>(DataSize(), position + 4);
  std::vector<uint8_t> window(static_cast<size_t>(end - first));
  ReadContent(first, window);
  return CharCellAt(char_encoding_, window, static_cast<size_t>(position - first));
}

QString TMPHexEditorEx::CharCellText(int64_t position) const {
  const CharCell cell = CharCellOf(position);
  if (cell.kind == CellKind::kContinuation) {
    return QString(QChar(kContinuationMark));
  }
  if (cell.kind == CellKind::kInvalid || IsControl(cell.code)) {
    const QString mask = MaskChar();
    return mask.isEmpty() ? QStringLiteral(".") : mask;
  }
  const char32_t code = cell.code;
  return QString::fromUcs4(&code, 1);
}

void TMPHexEditorEx::PaintEncodedChar(QPainter& p, const QRect& text_rect, int64_t position,
                                      int64_t row) {
  const CharCell cell = CharCellOf(position);
  const int64_t start = position - cell.index;
  const QString glyph = CharCellText(start);
  // The whole cell, one pixel wider than its text, so that the parts of a picture meet.
  const Cell own = geo_.CellOfPosition(position, true);
  const QRect clip = QRect(text_rect.left(), text_rect.top(), CellRect(own.column, row).width(),
                           text_rect.height());
  QRect span = text_rect;
  if (cell.kind == CellKind::kStart || cell.kind == CellKind::kContinuation) {
    const Cell first = geo_.CellOfPosition(start, true);
    if (first.row != row) {
      // The character began on the row above: its picture stays there.
      DrawCellText(p, text_rect, QString(QChar(kContinuationMark)), false);
      return;
    }
    int right = clip.right();
    for (int k = 0; k < cell.length; ++k) {
      const Cell c = geo_.CellOfPosition(start + k, true);
      if (c.row == row) {
        right = std::max(right, CellRect(c.column, row).right());
      }
    }
    span = QRect(QPoint(CellRect(first.column, row).left(), text_rect.top()),
                 QPoint(right, text_rect.bottom()));
  }
  p.save();
  p.setClipRect(clip, Qt::IntersectClip);
  if (p.fontMetrics().horizontalAdvance(glyph) > span.width()) {
    p.setFont(FittingFont(p.font(), glyph, span.width()));
  }
  const QFontMetrics metrics = p.fontMetrics();
  const int x = span.left() + (span.width() - metrics.horizontalAdvance(glyph)) / 2;
  p.drawText(QPoint(x, text_rect.top() + 1 + metrics.ascent()), glyph);
  p.restore();
}

}  // namespace qarvo::hex
