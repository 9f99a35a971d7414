// The control's changes: the edit primitives with their undo records, undo and redo, the keys
// and typing.
#include <algorithm>
#include <cstring>
#include <new>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"

namespace qarvo::hex {

namespace {

std::vector<uint8_t> CopyOf(const ByteStore& data, int64_t position, int64_t count) {
  try {
    count = std::clamp<int64_t>(count, 0, std::max<int64_t>(0, data.Size() - position));
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    data.Read(position, bytes);
    return bytes;
  } catch (const std::bad_alloc&) {
    throw EMPHexEditor("Out of memory: cannot keep " + std::to_string(count) + " bytes for undo");
  }
}

// The pieces of a slice as record data: source (1 byte), offset and length (8 each).
std::vector<uint8_t> PackSlice(const StoreSlice& slice) {
  std::vector<uint8_t> out;
  out.reserve(slice.pieces.size() * 17);
  for (const Piece& piece : slice.pieces) {
    out.push_back(static_cast<uint8_t>(piece.source));
    for (const int64_t value : {piece.offset, piece.length}) {
      for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
      }
    }
  }
  return out;
}

StoreSlice UnpackSlice(const std::vector<uint8_t>& data) {
  StoreSlice slice;
  for (size_t at = 0; at + 17 <= data.size(); at += 17) {
    Piece piece;
    piece.source = static_cast<PieceSource>(data[at]);
    uint64_t values[2] = {};
    for (int k = 0; k < 2; ++k) {
      for (int i = 0; i < 8; ++i) {
        values[k] |= static_cast<uint64_t>(
                         data[at + 1 + 8 * static_cast<size_t>(k) + static_cast<size_t>(i)])
                     << (8 * i);
      }
    }
    piece.offset = static_cast<int64_t>(values[0]);
    piece.length = static_cast<int64_t>(values[1]);
    slice.pieces.push_back(piece);
  }
  return slice;
}

std::span<const uint8_t> SpanOf(const uint8_t* bytes, int64_t count) {
  return {bytes, static_cast<size_t>(count)};
}

int64_t AlignDown(int64_t value, int64_t unit) {
  return value - value % unit;
}

}  // namespace

void HexEditorModel::Changed() {
  // Every change of the data ends here, whatever it did to the size.
  ClearBookmarksBehindEnd();
  if (on_change) {
    on_change();
  }
  SelectionChanged();
}

// ---------------------------------------------------------------- recording

bool HexEditorModel::CanChange(int kind, int64_t count, int64_t extra) const {
  if (DataSize() == 0 && kind != ukInsert && kind != ukAppend && kind != ukSaveAll) {
    return false;
  }
  if (settings_.no_size_change) {
    if (kind == ukRemove || kind == ukInsert || kind == ukAppend || kind == ukNibbleInsert ||
        kind == ukNibbleDelete || (kind == ukReplace && count != extra)) {
      return false;
    }
  }
  return !(kind == ukGroup && undo_.Count() < count);
}

void HexEditorModel::CheckChange(int kind, int64_t count, int64_t extra) const {
  if (!CanChange(kind, count, extra)) {
    throw EMPHexEditor("Cannot update undo storage");
  }
}

HexEditorModel::EditState HexEditorModel::CurrentState() const {
  EditState s;
  s.caret = caret_;
  s.sel_low = sel_low_;
  s.sel_high = sel_high_;
  s.sel_anchor = sel_anchor_;
  s.modified = modified_;
  s.insert_mode = settings_.insert_mode;
  s.unicode = settings_.unicode_chars;
  s.big_endian = settings_.unicode_big_endian;
  s.translation = translator_.Kind();
  s.bytes_per_unit = settings_.bytes_per_unit;
  s.bookmarks = bookmarks_;
  return s;
}

void HexEditorModel::RestoreState(const EditState& s) {
  caret_ = s.caret;
  modified_ = s.modified;
  if (settings_.insert_mode != s.insert_mode) {
    settings_.insert_mode = s.insert_mode;
    flags_.Clear();
  }
  settings_.unicode_chars = s.unicode;
  settings_.unicode_big_endian = s.big_endian;
  translator_.SetKind(s.translation);
  settings_.bytes_per_unit = s.bytes_per_unit;
  ReapplyOffsetUnit();
  const int64_t size = DataSize();
  if (s.sel_low >= 0 && s.sel_high >= s.sel_low && s.sel_high < size) {
    sel_low_ = s.sel_low;
    sel_high_ = s.sel_high;
    sel_anchor_ = s.sel_anchor;
  } else {
    sel_low_ = sel_high_ = sel_anchor_ = -1;
  }
  caret_.position = std::clamp<int64_t>(caret_.position, 0, LastCaretPosition());
}

void HexEditorModel::AddUndo(int kind, int64_t position, const std::string& description,
                             int64_t extra, int64_t count) {
  UndoRecord r;
  r.kind = kind;
  r.caret = caret_.position;
  r.position = position;
  r.count = count;
  r.extra = extra;
  r.translation = static_cast<uint8_t>(translator_.Kind());
  r.bytes_per_unit = settings_.bytes_per_unit;
  if (modified_) {
    r.flags |= ufModified;
  }
  if (caret_.in_char_field) {
    r.flags |= ufCharField;
  } else if (caret_.digit == 1) {
    r.flags |= ufSecondDigit;
  }
  if (HasSelection()) {
    r.flags |= ufSelection;
    r.sel_low = sel_low_;
    r.sel_high = sel_high_;
    r.sel_anchor = sel_anchor_;
  }
  if (settings_.insert_mode) {
    r.flags |= ufInsertMode;
  }
  if (settings_.unicode_chars) {
    r.flags |= ufUnicode;
  }
  if (settings_.unicode_big_endian) {
    r.flags |= ufBigEndian;
  }
  if (!description.empty() && kind != ukGroup) {
    r.flags |= ufDescription;
    r.description = description;
  }
  KeepUndoData(r, kind, position, description, extra, count);
  redo_ = RedoRecord{};
  last_undone_.reset();
  undo_.Trim(settings_.max_undo);
  undo_.Append(r);
  modified_ = true;
}

void HexEditorModel::KeepRange(UndoRecord& r, int64_t position, int64_t count) const {
  count = std::clamp<int64_t>(count, 0, std::max<int64_t>(0, DataSize() - position));
  if (count <= kUndoInlineBytes) {
    r.data = CopyOf(*store_, position, count);
    return;
  }
  r.flags |= ufPieces;
  r.data = PackSlice(store_->Slice(position, count));
}

StoreSlice HexEditorModel::KeptSlice(const UndoRecord& r) {
  if (r.flags & ufPieces) {
    return UnpackSlice(r.data);
  }
  return store_->Keep(r.data);
}

void HexEditorModel::KeepUndoData(UndoRecord& r, int kind, int64_t position,
                                  const std::string& description, int64_t extra,
                                  int64_t count) const {
  switch (kind) {
    case ukChange:
      r.data = CopyOf(*store_, position, count);
      if (flags_.Get(position)) {
        r.flags |= ufFirstModified;
      }
      if (count > 1 && flags_.Get(position + 1)) {
        r.flags |= ufSecondModified;
      }
      break;
    case ukRemove:
    case ukConvert:
      KeepRange(r, position, count);
      break;
    case ukReplace:
      KeepRange(r, position, extra);
      break;
    case ukNibbleInsert:
    case ukNibbleDelete:
      r.data = CopyOf(*store_, position, 1);
      if (kind == ukNibbleDelete && position + 1 < DataSize()) {
        // The shift drops the last byte's low nibble; the undo needs it back.
        r.data.push_back(store_->Byte(DataSize() - 1));
      }
      if (flags_.Get(position)) {
        r.flags |= ufFirstModified;
      }
      break;
    case ukGroup: {
      const std::string text = description.substr(0, 255);
      r.data.push_back(static_cast<uint8_t>(text.size()));
      r.data.insert(r.data.end(), text.begin(), text.end());
      break;
    }
    case ukSaveAll:
      KeepRange(r, 0, DataSize());
      break;
    default:
      break;
  }
}

void HexEditorModel::RecordChange(int kind, int64_t position, const std::string& description,
                                  int64_t extra, int64_t count,
                                  const std::function<void()>& change) {
  const int before = undo_.Count();
  AddUndo(kind, position, description, extra, count);
  try {
    change();
  } catch (...) {
    // The buffer step failed: its record goes too.
    if (undo_.Count() > before) {
      undo_.RemoveNewest();
    }
    throw;
  }
}

void HexEditorModel::ShiftBookmarks(int kind, int64_t position, int64_t count, int64_t extra) {
  for (Bookmark& mark : bookmarks_) {
    if (mark.position < 0) {
      continue;
    }
    if (kind == ukRemove && mark.position >= position + count) {
      mark.position -= count;
    } else if ((kind == ukInsert || kind == ukAppend) && mark.position >= position) {
      mark.position += count;
    } else if (kind == ukReplace && mark.position >= position + extra) {
      // `extra` bytes gave way to `count`: what stood behind them moves by the difference.
      mark.position += count - extra;
    }
  }
}

void HexEditorModel::ClearBookmarksBehindEnd() {
  bool changed = false;
  for (Bookmark& mark : bookmarks_) {
    if (mark.position >= 0 &&
        (mark.position > DataSize() || (mark.position == DataSize() && !settings_.insert_mode))) {
      mark.position = -1;
      changed = true;
    }
  }
  if (changed && on_bookmark_changed) {
    on_bookmark_changed();
  }
}

void HexEditorModel::ResetUndo() {
  undo_.Reset();
  redo_ = RedoRecord{};
  last_undone_.reset();
}

// ---------------------------------------------------------------- primitives

void HexEditorModel::ChangeByte(uint8_t old_value, uint8_t new_value, int64_t position,
                                const std::string& description) {
  if (old_value == new_value) {
    return;
  }
  store_->CheckRange(position, 1);
  CheckChange(ukChange, 1, 0);
  RecordChange(ukChange, position, description, 0, 1,
               [&] { store_->Replace(position, 1, SpanOf(&new_value, 1)); });
  if (!settings_.insert_mode) {
    flags_.Set(position, true);
  }
  Changed();
}

void HexEditorModel::ChangeWord(const uint8_t old_value[2], const uint8_t new_value[2],
                                int64_t position, const std::string& description) {
  if (std::memcmp(old_value, new_value, 2) == 0) {
    return;
  }
  store_->CheckRange(position, 2);
  CheckChange(ukChange, 2, 0);
  RecordChange(ukChange, position, description, 0, 2,
               [&] { store_->Replace(position, 2, SpanOf(new_value, 2)); });
  if (!settings_.insert_mode) {
    for (int i = 0; i < 2; ++i) {
      if (old_value[i] != new_value[i]) {
        flags_.Set(position + i, true);
      }
    }
  }
  Changed();
}

void HexEditorModel::SelectRange(int64_t anchor, int64_t other) {
  sel_low_ = std::min(anchor, other);
  sel_high_ = std::max(anchor, other);
  sel_anchor_ = anchor;
}

void HexEditorModel::InsertBuffer(const uint8_t* bytes, int64_t length, bool move_caret,
                                  int64_t position, const std::string& description) {
  if (length <= 0) {
    return;
  }
  if (position < 0 || position > DataSize()) {
    throw EMPHexEditor("Data position/length out of data bounds");
  }
  CheckChange(ukInsert, length, 0);
  RecordChange(ukInsert, position, description, 0, length,
               [&] { store_->Replace(position, 0, SpanOf(bytes, length)); });
  flags_.DropFrom(position);
  ShiftBookmarks(ukInsert, position, length, 0);
  SelectRange(position, position + length - 1);
  if (move_caret) {
    caret_.position = position + length - 1;
  }
  LayoutChanged();
  Changed();
}

void HexEditorModel::AppendBuffer(const uint8_t* bytes, int64_t length, bool move_caret,
                                  const std::string& description) {
  if (length <= 0) {
    return;
  }
  const int64_t old_size = DataSize();
  CheckChange(ukAppend, length, 0);
  RecordChange(ukAppend, old_size, description, 0, length,
               [&] { store_->Replace(old_size, 0, SpanOf(bytes, length)); });
  flags_.DropFrom(old_size);
  SelectRange(old_size, old_size + length - 1);
  if (move_caret) {
    caret_.position = old_size;
  }
  LayoutChanged();
  Changed();
}

void HexEditorModel::ReplaceSelection(const uint8_t* bytes, int64_t length, bool move_caret,
                                      const std::string& description) {
  if (!HasSelection()) {
    InsertBuffer(bytes, length, move_caret, SelectionStart(), description);
    return;
  }
  const int64_t low = sel_low_;
  int64_t selected = SelectionCount();
  if (settings_.no_size_change) {
    if (length > selected) {
      length = selected;
    } else {
      selected = length;
    }
  }
  CheckChange(ukReplace, length, selected);
  sel_high_ = low + selected - 1;  // the record keeps the range that is replaced
  RecordChange(ukReplace, low, description, selected, length,
               [&] { store_->Replace(low, selected, SpanOf(bytes, length)); });
  flags_.DropFrom(low);
  ShiftBookmarks(ukReplace, low, length, selected);
  sel_low_ = sel_high_ = sel_anchor_ = -1;
  if (move_caret && length > 0) {
    caret_.position = low + length - 1;
    SelectRange(low, low + length - 1);
  }
  caret_.position = std::clamp<int64_t>(caret_.position, 0, LastCaretPosition());
  LayoutChanged();
  Changed();
}

void HexEditorModel::RemoveBytes(int64_t start, int64_t count, const std::string& description) {
  store_->CheckRange(start, count);
  CheckChange(ukRemove, count, 0);
  AddUndo(ukRemove, start, description, 0, count);
  store_->Replace(start, count, StoreSlice{});
  caret_ = CaretState{std::min(start, LastCaretPosition()), caret_.in_char_field, 0};
  sel_low_ = sel_high_ = sel_anchor_ = -1;
  LayoutChanged();
  flags_.DropFrom(start);
  ShiftBookmarks(ukRemove, start, count, 0);
  Changed();
}

void HexEditorModel::DeleteSelection(const std::string& description) {
  int64_t start = sel_low_;
  int64_t count = SelectionCount();
  if (!HasSelection()) {
    start = caret_.position;
    count = start < DataSize() ? 1 : 0;
  }
  if (count > 0) {
    RemoveBytes(start, count, description);
  }
}

void HexEditorModel::DeleteUnit(bool backwards) {
  int64_t unit = settings_.bytes_per_unit;
  const int64_t size = DataSize();
  if (backwards) {
    int64_t p = AlignDown(caret_.position, unit);
    if (settings_.insert_mode && caret_.position >= size && size % unit != 0) {
      p = size;
      unit = 1;
    }
    if (p > 0) {
      RemoveBytes(p - unit, unit, {});
    }
  } else {
    const int64_t a = AlignDown(CaretPosition(), unit);
    if (a < size) {
      RemoveBytes(a, std::min(unit, size - a), {});
    }
  }
}

void HexEditorModel::GroupUndo(int count, const std::string& description) {
  CheckChange(ukGroup, count, 0);
  AddUndo(ukGroup, 0, description, 0, count);
}

// ---------------------------------------------------------------- undo and redo

bool HexEditorModel::CanUndo() const {
  return undo_.Count() > 0 && !settings_.read_only_view;
}

bool HexEditorModel::CanRedo() const {
  return redo_.kind >= 0 && last_undone_ && !settings_.read_only_view;
}

void HexEditorModel::Undo() {
  if (!CanUndo()) {
    return;
  }
  UndoOne(true);
  LayoutChanged();
  Changed();
}

HexEditorModel::RedoRecord HexEditorModel::RedoFor(const UndoRecord& r) const {
  const int64_t pos = r.position;
  RedoRecord redo;
  redo.kind = r.kind;
  redo.position = pos;
  redo.count = r.count;
  redo.extra = r.extra;
  redo.state = CurrentState();
  const auto slice = [this](int64_t position, int64_t count) {
    position = std::clamp<int64_t>(position, 0, DataSize());
    return store_->Slice(position, std::clamp<int64_t>(count, 0, DataSize() - position));
  };
  switch (r.kind) {
    case ukChange:
    case ukInsert:
    case ukReplace:
    case ukConvert:
      redo.bytes = slice(pos, r.count);
      break;
    case ukAppend:
      redo.bytes = slice(pos, DataSize() - pos);
      break;
    case ukNibbleInsert:
    case ukNibbleDelete:
    case ukSaveAll:
      redo.bytes = slice(0, DataSize());
      break;
    default:
      break;
  }
  return redo;
}

void HexEditorModel::ReverseChange(const UndoRecord& r) {
  const int64_t pos = r.position;
  switch (r.kind) {
    case ukChange: {
      const int64_t count = std::min<int64_t>(r.count, static_cast<int64_t>(r.data.size()));
      store_->Replace(pos, count, SpanOf(r.data.data(), count));
      flags_.Set(pos, (r.flags & ufFirstModified) != 0);
      if (r.count > 1) {
        flags_.Set(pos + 1, (r.flags & ufSecondModified) != 0);
      }
      break;
    }
    case ukRemove:
      store_->Replace(pos, 0, KeptSlice(r));
      ShiftBookmarks(ukInsert, pos, r.count, 0);
      flags_.DropFrom(pos);
      break;
    case ukInsert:
      store_->Replace(pos, r.count, StoreSlice{});
      ShiftBookmarks(ukRemove, pos, r.count, 0);
      flags_.DropFrom(pos);
      break;
    case ukReplace:
      store_->Replace(pos, r.count, KeptSlice(r));
      ShiftBookmarks(ukReplace, pos, r.extra, r.count);
      flags_.DropFrom(pos - 1);
      break;
    case ukAppend:
      store_->Replace(pos, DataSize() - pos, StoreSlice{});
      flags_.DropFrom(pos);
      break;
    case ukNibbleInsert:
      NibbleShift(pos, false);
      store_->Replace(pos, 1, SpanOf(r.data.data(), 1));
      flags_.DropFrom(pos);
      break;
    case ukNibbleDelete:
      if (pos >= DataSize()) {
        // The nibble was in the last byte, which went with it.
        store_->Replace(pos, 0, SpanOf(r.data.data(), 1));
      } else {
        NibbleShift(pos, true);
        store_->Replace(pos, 1, SpanOf(r.data.data(), 1));
        if (r.data.size() > 1) {
          store_->Replace(DataSize() - 1, 1, SpanOf(r.data.data() + 1, 1));
        }
      }
      flags_.DropFrom(pos);
      break;
    case ukConvert: {
      const StoreSlice kept = KeptSlice(r);
      store_->Replace(pos, kept.Size(), kept);
      flags_.DropFrom(pos);
      break;
    }
    case ukSaveAll:
      store_->Replace(0, DataSize(), KeptSlice(r));
      flags_.Clear();
      break;
    default:
      break;
  }
}

HexEditorModel::EditState HexEditorModel::StateBefore(const UndoRecord& r) const {
  const int64_t pos = r.position;
  EditState s = CurrentState();
  s.caret.position = r.caret;
  s.caret.in_char_field = (r.flags & ufCharField) != 0;
  s.caret.digit = (r.flags & ufSecondDigit) ? 1 : 0;
  s.modified = (r.flags & ufModified) != 0;
  s.insert_mode = (r.flags & ufInsertMode) != 0;
  s.sel_low = s.sel_high = s.sel_anchor = -1;
  if ((r.flags & ufSelection) && r.sel_high >= 0) {
    s.sel_low = r.sel_low;
    s.sel_high = r.sel_high;
    s.sel_anchor = r.sel_anchor;
  }
  if (r.kind == ukCursor) {
    s.caret.position = pos;
    if (r.count > 0) {
      s.sel_low = s.sel_anchor = pos;
      s.sel_high = pos + r.count - 1;
    }
  }
  s.unicode = (r.flags & ufUnicode) != 0;
  s.big_endian = (r.flags & ufBigEndian) != 0;
  s.translation = static_cast<TMPHTranslationKind>(r.translation);
  s.bytes_per_unit = r.bytes_per_unit;
  s.bookmarks = bookmarks_;
  return s;
}

void HexEditorModel::UndoOne(bool build_redo) {
  if (undo_.Count() == 0) {
    return;
  }
  UndoRecord r = undo_.Newest();
  if (r.kind == ukGroup) {
    undo_.RemoveNewest();
    for (int i = 0; i < r.count && undo_.Count() > 0; ++i) {
      UndoOne(false);
    }
    redo_ = RedoRecord{};
    last_undone_.reset();
    return;
  }
  // The redo record first: if its memory cannot be had, nothing has changed yet.
  RedoRecord redo;
  if (build_redo) {
    redo = RedoFor(r);
  }
  ReverseChange(r);
  RestoreState(StateBefore(r));
  undo_.RemoveNewest();
  if (build_redo) {
    // Kept for the redo to put back; a record may hold a copy of the whole buffer.
    last_undone_ = std::move(r);
    redo_ = std::move(redo);
  }
}

void HexEditorModel::Redo() {
  if (!CanRedo()) {
    return;
  }
  RedoRecord& r = redo_;
  const StoreSlice& bytes = r.bytes;
  const int64_t length = bytes.Size();
  switch (r.kind) {
    case ukChange:
      store_->Replace(r.position, length, bytes);
      break;
    case ukRemove:
      store_->Replace(r.position, r.count, StoreSlice{});
      break;
    case ukInsert:
      store_->Replace(r.position, 0, bytes);
      break;
    case ukReplace:
      store_->Replace(r.position, r.extra, bytes);
      break;
    case ukAppend:
      store_->Replace(DataSize(), 0, bytes);
      break;
    case ukConvert:
      store_->Replace(r.position, r.count, bytes);
      break;
    case ukNibbleInsert:
    case ukNibbleDelete:
    case ukSaveAll:
      store_->Replace(0, DataSize(), bytes);
      break;
    default:
      break;
  }
  // The change can be undone again.
  undo_.Append(*last_undone_);
  RestoreState(r.state);
  bookmarks_ = r.state.bookmarks;
  if (r.kind == ukChange && !settings_.insert_mode) {
    flags_.Mark(r.position, length);
  } else if (r.kind != ukCursor) {
    flags_.DropFrom(r.kind == ukSaveAll ? 0 : r.position);
  }
  redo_ = RedoRecord{};
  last_undone_.reset();
  LayoutChanged();
  Changed();
}

// ---------------------------------------------------------------- switches

void HexEditorModel::SetNoSizeChange(bool value) {
  if (value) {
    SetInsertMode(false);
  }
  settings_.no_size_change = value;
}

void HexEditorModel::SetReadOnlyView(bool value) {
  settings_.read_only_view = value;
  LayoutChanged();
}

void HexEditorModel::SetAllowInsertMode(bool value) {
  if (!value) {
    SetInsertMode(false);
  }
  settings_.allow_insert_mode = value;
}

void HexEditorModel::SetMaxUndo(int value) {
  settings_.max_undo = value;
}

}  // namespace qarvo::hex
