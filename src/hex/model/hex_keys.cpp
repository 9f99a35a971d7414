// Keys and typing: caret moves with the selection rule, and typed digits and characters.
#include <algorithm>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"

namespace qarvo::hex {

namespace {

int64_t AlignDown(int64_t value, int64_t unit) {
  return value - value % unit;
}

}  // namespace

int64_t HexEditorModel::LastCaretPosition() const {
  return settings_.insert_mode ? DataSize() : std::max<int64_t>(0, DataSize() - 1);
}

void HexEditorModel::SetSelecting(bool selecting) {
  if (selecting && !selecting_) {
    select_begin_ = caret_.position;
  }
  selecting_ = selecting;
}

void HexEditorModel::MoveCaretTo(const CaretState& target) {
  CaretState next = target;
  if (DataSize() == 0) {
    next.position = 0;
    next.digit = 0;
  }
  next.position = std::clamp<int64_t>(next.position, 0, LastCaretPosition());
  if (!selecting_) {
    if (HasSelection()) {
      ClearSelection();
    }
  } else if (!settings_.insert_mode) {
    SetSelection(select_begin_, std::min(next.position, std::max<int64_t>(0, DataSize() - 1)));
  } else {
    const int64_t unit = settings_.bytes_per_unit;
    const int64_t last = DataSize() - 1;
    if (next.position > select_begin_) {
      SelectRange(select_begin_, std::min(last, next.position - unit));
    } else if (next.position < select_begin_) {
      SelectRange(std::min(last, select_begin_ - unit), next.position);
    } else {
      sel_low_ = sel_high_ = sel_anchor_ = -1;
    }
    if (sel_high_ < sel_low_ || sel_low_ < 0) {
      sel_low_ = sel_high_ = sel_anchor_ = -1;
    }
    SelectionChanged();
  }
  MoveCaret(next);
}

void HexEditorModel::MoveByCells(int delta) {
  CaretState next = caret_;
  const int64_t unit = settings_.bytes_per_unit;
  if (selecting_) {
    const int64_t aligned = AlignDown(caret_.position, unit);
    next.position =
        delta < 0 ? std::max<int64_t>(0, AlignDown(caret_.position - unit, unit)) : aligned + unit;
    next.digit = 0;
  } else if (caret_.in_char_field) {
    next.position += delta * (settings_.unicode_chars ? 2 : 1);
  } else {
    int64_t digits = caret_.position * 2 + caret_.digit + delta;
    const int64_t max_digits = settings_.insert_mode ? DataSize() * 2 : DataSize() * 2 - 1;
    digits = std::clamp<int64_t>(digits, 0, std::max<int64_t>(0, max_digits));
    next.position = digits / 2;
    next.digit = static_cast<int>(digits % 2);
  }
  if (next.position < 0) {
    return;
  }
  if (next.position > LastCaretPosition()) {
    return;
  }
  MoveCaretTo(next);
}

bool HexEditorModel::KeyDown(HexKey key, bool shift, bool ctrl, int visible_rows, int64_t& top_row,
                             int bookmark) {
  const HexSettings& s = settings_;
  if (!shift && !ctrl && !s.insert_mode && HasSelection() && key != HexKey::Insert) {
    ClearSelection();
  }
  SetSelecting(shift);
  switch (key) {
    case HexKey::Left:
    case HexKey::Right:
    case HexKey::Up:
    case HexKey::Down:
    case HexKey::PageUp:
    case HexKey::PageDown:
    case HexKey::Home:
    case HexKey::End:
      MoveCaretByKey(key, ctrl, visible_rows, top_row);
      return true;
    case HexKey::Tab:
    case HexKey::BackTab:
    case HexKey::ToggleField: {
      CaretState next = caret_;
      next.in_char_field = !next.in_char_field;
      next.digit = 0;
      MoveCaretTo(next);
      return true;
    }
    case HexKey::Insert:
      if (!shift && !ctrl) {
        SetInsertMode(!s.insert_mode);
      }
      return true;
    case HexKey::Backspace:
    case HexKey::Delete:
      DeleteByKey(key == HexKey::Backspace, ctrl);
      return true;
    case HexKey::Bookmark0:
      return BookmarkKey(bookmark, shift, ctrl);
    case HexKey::SelectAll:
      SetSelecting(false);
      SelectAll();
      return true;
    case HexKey::Undo:
      SetSelecting(false);
      Undo();
      return true;
    case HexKey::Redo:
      SetSelecting(false);
      Redo();
      return true;
  }
  return false;
}

void HexEditorModel::MoveCaretByKey(HexKey key, bool ctrl, int visible_rows, int64_t& top_row) {
  const HexSettings& s = settings_;
  const int64_t b = s.bytes_per_row;
  const int64_t rows = GridGeometry::RowCountFor(DataSize(), s.bytes_per_row, s.insert_mode);
  const int64_t last_row = rows - 1;
  const int64_t row = caret_.position / b + 2;
  const int64_t in_row = caret_.position % b;
  const int64_t v = std::max(1, visible_rows);
  CaretState next = caret_;
  auto to_row = [&](int64_t r) {
    next.position = (r - 2) * b + in_row;
    MoveCaretTo(next);
  };
  switch (key) {
    case HexKey::Left:
      if (ctrl) {
        MoveCaretTo(CaretState{(row - 2) * b, false, 0});
      } else {
        MoveByCells(-1);
      }
      return;
    case HexKey::Right:
      if (ctrl) {
        const int64_t end = std::min((row - 1) * b - (s.unicode_chars ? 2 : 1),
                                     std::max<int64_t>(0, DataSize() - 1));
        MoveCaretTo(CaretState{end, true, 0});
      } else {
        MoveByCells(1);
      }
      return;
    case HexKey::Up:
      if (!ctrl && row > 2) {
        to_row(row - 1);
      }
      return;
    case HexKey::Down:
      if (!ctrl && row < last_row) {
        to_row(row + 1);
      }
      return;
    case HexKey::PageUp:
      if (ctrl) {
        to_row(top_row);
      } else {
        top_row = std::max<int64_t>(2, top_row - v + 1);
        to_row(std::max<int64_t>(2, row - v + 1));
      }
      return;
    case HexKey::PageDown:
      if (ctrl) {
        to_row(std::min(last_row, top_row + v - 1));
      } else {
        top_row = std::min(std::max<int64_t>(2, rows - v), top_row + v - 1);
        to_row(std::min(last_row, row + v - 1));
      }
      return;
    case HexKey::Home:
      next.position = ctrl ? 0 : (row - 2) * b;
      next.digit = 0;
      MoveCaretTo(next);
      return;
    case HexKey::End:
      if (ctrl) {
        next.position = LastCaretPosition();
        next.digit = 0;
      } else {
        const int64_t row_last = (row - 1) * b - (next.in_char_field && s.unicode_chars ? 2 : 1);
        next.position = std::min(row_last, std::max<int64_t>(0, DataSize() - 1));
        next.digit = next.in_char_field ? 0 : 1;
      }
      MoveCaretTo(next);
      return;
    default:
      return;
  }
}

void HexEditorModel::DeleteByKey(bool backspace, bool ctrl) {
  const HexSettings& s = settings_;
  const bool deletes =
      backspace ? s.insert_mode && !s.read_only_view : !s.read_only_view && (s.insert_mode || ctrl);
  if (deletes) {
    if (HasSelection()) {
      DeleteSelection();
    } else {
      DeleteUnit(backspace);
    }
  } else if (backspace) {
    // Over bytes that cannot go, backspace only steps back.
    MoveByCells(-1);
  }
}

bool HexEditorModel::BookmarkKey(int bookmark, bool shift, bool ctrl) {
  if (!ctrl || bookmark < 0 || bookmark > 9) {
    return false;
  }
  const HexSettings& s = settings_;
  Bookmark& mark = bookmarks_[static_cast<size_t>(bookmark)];
  if (shift) {
    if (mark.position == caret_.position && mark.in_char_field == caret_.in_char_field) {
      mark.position = -1;
    } else {
      mark = Bookmark{caret_.position, caret_.in_char_field};
    }
    SetSelecting(false);
    if (on_bookmark_changed) {
      on_bookmark_changed();
    }
    SelectionChanged();
    return true;
  }
  if (mark.position < 0) {
    return true;
  }
  if (mark.position >= DataSize() && !(s.insert_mode && mark.position == DataSize())) {
    mark.position = -1;
    if (on_bookmark_changed) {
      on_bookmark_changed();
    }
    return true;
  }
  ClearSelection();
  MoveCaretTo(CaretState{mark.position, mark.in_char_field, 0});
  return true;
}

bool HexEditorModel::RefuseKey() {
  if (on_invalid_key) {
    on_invalid_key();
  }
  return false;
}

bool HexEditorModel::KeyPress(char16_t c) {
  const HexSettings& s = settings_;
  if (s.read_only_view || (c < 256 && translator_.IsMasked(c))) {
    return false;
  }
  if (caret_.position >= DataSize() && !s.insert_mode) {
    return false;
  }
  const bool was_selecting = selecting_;
  selecting_ = false;
  std::vector<uint8_t> bytes;
  int digit = -1;
  if (caret_.in_char_field) {
    if (!CharacterBytes(c, bytes)) {
      // A refused character leaves the selection mode off.
      return RefuseKey();
    }
  } else {
    digit = HexDigitValue(c);
    if (digit < 0) {
      selecting_ = was_selecting;
      return RefuseKey();
    }
  }
  if (!s.insert_mode) {
    ClearSelection();
  }
  if (caret_.in_char_field) {
    TypeCharacter(bytes);
  } else {
    TypeHexDigit(digit);
  }
  selecting_ = was_selecting;
  return true;
}

bool HexEditorModel::CharacterBytes(char16_t c, std::vector<uint8_t>& bytes) const {
  const HexSettings& s = settings_;
  bytes.assign(static_cast<size_t>(s.bytes_per_unit), 0);
  if (s.unicode_chars) {
    if (c < 256 && translator_.IsMasked(c)) {
      return false;
    }
    bytes[0] = static_cast<uint8_t>(s.unicode_big_endian ? c >> 8 : c & 0xFF);
    bytes[1] = static_cast<uint8_t>(s.unicode_big_endian ? c & 0xFF : c >> 8);
  } else {
    const int ansi = UnicodeToAnsi(c);
    const uint8_t entered = ansi < 0 ? 0 : translator_.EnteredByte(static_cast<uint8_t>(ansi));
    if (ansi < 0 || translator_.IsMasked(entered)) {
      return false;
    }
    bytes[0] = entered;
  }
  return true;
}

void HexEditorModel::TypeCharacter(const std::vector<uint8_t>& bytes) {
  const HexSettings& s = settings_;
  const int64_t pos = caret_.position;
  const int64_t size = DataSize();
  const int64_t unit = s.bytes_per_unit;
  if (s.insert_mode) {
    if (HasSelection()) {
      ReplaceSelection(bytes.data(), unit, true);
    } else if (pos >= size) {
      AppendBuffer(bytes.data(), unit, false);
    } else if (pos % unit != 0) {
      ChangeByte(store_->Byte(pos), bytes[0], pos);
    } else {
      InsertBuffer(bytes.data(), unit, false, pos);
    }
  } else if (s.unicode_chars && pos + 1 < size) {
    uint8_t old_value[2];
    store_->Read(pos, std::span(old_value, 2));
    ChangeWord(old_value, bytes.data(), pos);
  } else {
    ChangeByte(store_->Byte(pos), bytes[0], pos);
  }
  MoveByCells(1);
}

void HexEditorModel::TypeHexDigit(int digit) {
  const HexSettings& s = settings_;
  const int64_t pos = caret_.position;
  const int64_t size = DataSize();
  const int64_t unit = s.bytes_per_unit;
  const uint8_t old_byte = pos < size ? store_->Byte(pos) : 0;
  const bool high_column = (caret_.digit == 0) != s.swap_nibbles;
  const auto new_byte =
      static_cast<uint8_t>(high_column || HasSelection() ? (digit << 4 | (old_byte & 0x0F))
                                                         : ((old_byte & 0xF0) | digit));
  const bool first_of_unit = caret_.digit == 0 && pos % unit == 0;
  if (!s.insert_mode || (!first_of_unit && !HasSelection())) {
    if (pos < size) {
      ChangeByte(old_byte, new_byte, pos);
    }
  } else {
    std::vector<uint8_t> bytes(static_cast<size_t>(unit), 0);
    bytes[0] = static_cast<uint8_t>(s.swap_nibbles ? new_byte & 0x0F : new_byte & 0xF0);
    if (size == 0) {
      AppendBuffer(bytes.data(), unit, false);
    } else if (HasSelection()) {
      ReplaceSelection(bytes.data(), unit, true);
      caret_.digit = 0;
    } else {
      InsertBuffer(bytes.data(), unit, false, pos);
    }
  }
  // One digit to the right of where the typing happened.
  CaretState next = caret_;
  int64_t digits = next.position * 2 + next.digit + 1;
  next.position = digits / 2;
  next.digit = static_cast<int>(digits % 2);
  if (next.position > LastCaretPosition()) {
    next = caret_;
  }
  MoveCaretTo(next);
}

}  // namespace qarvo::hex
