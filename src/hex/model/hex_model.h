#pragma once

// The hex model layer: the hex editor control without a window, in plain C++ on top of the
// platform layer; nothing here sees a Qt header. The model (this header) holds content, settings,
// caret, selection, bookmarks and loading; beside it the byte stores (byte_store.h,
// piece_table.h), editing and keys (hex_edit.cpp, hex_keys.cpp, nibble_shift.cpp), undo
// (undo_storage.h), search (find.h), offsets (offset_format.h, goto_offset.h), characters
// (translation.h, char_encoding.h, byte_values.h), the grid (grid_geometry.h) and saving
// (save_copy.h). A change to what the control does with bytes, keys or settings goes here.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "hex/model/byte_source.h"
#include "hex/model/byte_store.h"
#include "hex/model/grid_geometry.h"
#include "hex/model/hex_settings.h"
#include "hex/model/modified_flags.h"
#include "hex/model/offset_format.h"
#include "hex/model/translation.h"
#include "hex/model/undo_storage.h"

namespace qarvo::hex {

// Bytes moved per step of a load or save; each step may raise one progress event.
inline constexpr int64_t kCopyStep = 61440;
// The most bytes taken into memory at once: a stream load, a paste or a drop. A file opened for
// viewing is read where it lies and has no such limit.
inline constexpr int64_t kMaxInMemory = 0x7FFFFFFF;
// Ranges up to this size are kept in undo records as their bytes, larger ones as the store's
// pieces that hold them.
inline constexpr int64_t kUndoInlineBytes = 64 * 1024;

// Keys that the control acts on; the widget maps its toolkit's keys onto these.
enum class HexKey {
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End,
  Tab,
  BackTab,
  ToggleField,
  Insert,
  Backspace,
  Delete,
  SelectAll,
  Undo,
  Redo,
  Bookmark0
};

struct Bookmark {
  int64_t position = -1;  // -1 = unset
  bool in_char_field = false;
};

// Where the caret stands: a byte position (DataSize() is allowed in insert mode), the field,
// and in the hex field which of the byte's two digit columns.
struct CaretState {
  int64_t position = 0;
  bool in_char_field = false;
  int digit = 0;  // 0 = first digit column of the byte, 1 = second
};

// Everything an owner sets on the control, in one record: the plain settings and the three
// the model keeps in their own form (the translation, the offset format's text and the mask
// character, 0 for none).
struct HexEditorSettings : HexSettings {
  TMPHTranslationKind translation = tkAsIs;
  std::string offset_format;
  uint8_t mask_char = '.';
};

// The hex control without its window: content, modified flags, file state, settings with
// their refusals, offset texts, characters, caret, selection and bookmarks, and loading. The
// widget owns one, forwards its property setters here and paints what this class says.
class HexEditorModel {
 public:
  HexEditorModel();

  // Events. `on_selection_changed` fires on every change; the widget coalesces them.
  std::function<void(TMPHProgressKind kind, const std::string& name, int percent, bool& cancel)>
      on_progress;
  std::function<void()> on_change;
  std::function<void()> on_selection_changed;
  // The grid changed shape (row or column counts, widths, offsets): recompute it and repaint.
  std::function<void()> on_layout_changed;
  // Replaces the offset format when set; `max_wanted` says the widest offset is asked for.
  // Returns false to leave the text to the format.
  std::function<bool(int64_t number, bool max_wanted, std::string& text)> on_get_offset_text;

  // ---- content
  int64_t DataSize() const { return store_->Size(); }
  const ByteStore& Store() const { return *store_; }
  // The bytes from `position`; the whole range must lie in the data.
  void Read(int64_t position, std::span<uint8_t> out) const { store_->Read(position, out); }
  uint8_t ByteAt(int64_t position) const { return store_->Byte(position); }
  // True once the opened file was found changed or shorter than when it was opened.
  bool SourceChanged() const { return store_->SourceChanged(); }
  // Writes bytes in place and marks them modified (outside insert mode); raises OnChange.
  void WriteBytes(int64_t position, const void* bytes, int64_t count);
  // The modified flag of `position`; always false in insert mode.
  bool IsModified(int64_t position) const;
  bool Modified() const { return modified_; }

  // ---- file state
  const std::string& FileName() const { return file_name_; }
  const std::string& StreamFileName() const { return stream_file_name_; }
  bool HasFile() const { return has_file_; }
  bool ReadOnlyFile() const { return read_only_file_; }
  // An empty new buffer named `name` ("Untitled" when empty).
  void CreateEmptyFile(const std::string& name);
  void LoadFromFile(const std::string& path);
  void LoadFromStream(ByteSource& source);
  // Runs before a save to `path`: refuses the loaded file when it is read-only, and with
  // CreateBackup moves an existing file of a modified buffer to path + BackupExtension.
  void PrepareSave(const std::string& path);
  // Moves `total` bytes in steps of kCopyStep through `move`(offset, count), raising
  // OnProgress of `kind` at most once per percent step and once with 100 at the last step.
  // A cancel from the event throws "Operation cancelled".
  void CopyWithProgress(int64_t total, TMPHProgressKind kind,
                        const std::function<void(int64_t offset, int64_t count)>& move);

  // ---- settings
  const HexSettings& Settings() const { return settings_; }
  HexEditorSettings AllSettings() const;
  // Sets each value of `wanted` that differs from `before` through its check, in the order of
  // the published properties (so a unit change comes before the unicode switch that needs
  // it); the first refusal throws EMPHexEditor and keeps what was set before it.
  void ChangeSettings(const HexEditorSettings& before, const HexEditorSettings& wanted);
  void SetBytesPerRow(int value);
  void SetBytesPerColumn(int value);
  void SetBytesPerBlock(int value);
  void SetSeparateBlocksInCharField(bool value);
  void SetBytesPerUnit(int value);
  void SetRulerBytesPerUnit(int value);
  void SetRulerNumberBase(int value);
  void SetShowRuler(bool value);
  void SetHexLowerCase(bool value);
  void SetTranslation(TMPHTranslationKind kind);
  TMPHTranslationKind Translation() const { return translator_.Kind(); }
  void SetUnicodeChars(bool value);
  void SetUnicodeBigEndian(bool value);
  void SetSwapNibbles(bool value);
  void SetInsertMode(bool value);
  void SetGutterWidth(int value);
  void SetMaskChar(uint8_t value);
  uint8_t MaskChar() const { return translator_.MaskChar(); }
  const CharTranslator& Translator() const { return translator_; }
  int EffectiveRulerUnit() const;

  // ---- offsets
  const std::string& OffsetFormatText() const { return format_.text; }
  const OffsetFormat& Format() const { return format_; }
  // Parses and keeps the format; a bad one throws and leaves the old one in force.
  void SetOffsetFormat(const std::string& text);
  // The offset text of `position`: the owner's handler, else the format, else (empty format)
  // upper-case hex.
  std::string OffsetText(int64_t position);
  // What the offset column shows: the handler or the format, nothing for an empty format.
  std::string OffsetColumnText(int64_t position, bool max_wanted = false);
  // Sets the digits of an auto-width format from the largest offset shown and gives the
  // width of the offset column in characters.
  int OffsetDisplayChars(int64_t last_row_offset);
  // The grid's input for a font of these sizes, with the offset column sized for the
  // largest offset shown.
  GridInput MakeGridInput(int char_width, int row_height);

  // ---- characters
  char HexDigitChar(int nibble) const;
  // The character that the character column at `position` shows (UTF-16).
  char16_t DisplayChar(int64_t position) const;
  // The same for bytes already read: `second` is the next byte, -1 past the end.
  char16_t DisplayCharOf(uint8_t first, int second) const;

  // ---- caret and selection
  const CaretState& Caret() const { return caret_; }
  // Moves the caret without touching the selection; the position is clamped to the data
  // (DataSize() allowed in insert mode).
  void MoveCaret(const CaretState& caret);
  // The caret's byte position clamped to 0 .. max(0, DataSize() - 1).
  int64_t CaretPosition() const;
  void SetCaretPosition(int64_t position);
  void SetSelectionEnd(int64_t position);
  void SelectAll();
  // Selects between two byte positions, widened to whole units; `anchor` stays fixed.
  void SetSelection(int64_t anchor, int64_t other);
  void ClearSelection();
  bool HasSelection() const { return sel_low_ >= 0; }
  int64_t SelectionLow() const { return sel_low_; }
  int64_t SelectionHigh() const { return sel_high_; }
  int64_t SelectionStart() const;
  int64_t SelectionEnd() const;
  int64_t SelectionCount() const;
  bool IsSelected(int64_t position) const {
    return sel_low_ >= 0 && position >= sel_low_ && position <= sel_high_;
  }

  // ---- editing: every change asks CanChange, records undo, changes the buffer, then raises
  // OnChange. An empty description selects the kind's default text.
  TMPHUndoStorage& UndoStorage() { return undo_; }
  bool CanChange(int kind, int64_t count, int64_t extra) const;
  void ChangeByte(uint8_t old_value, uint8_t new_value, int64_t position,
                  const std::string& description = {});
  // A 2-byte code unit, as the two bytes in buffer order.
  void ChangeWord(const uint8_t old_value[2], const uint8_t new_value[2], int64_t position,
                  const std::string& description = {});
  void InsertBuffer(const uint8_t* bytes, int64_t length, bool move_caret, int64_t position,
                    const std::string& description = {});
  void AppendBuffer(const uint8_t* bytes, int64_t length, bool move_caret,
                    const std::string& description = {});
  void ReplaceSelection(const uint8_t* bytes, int64_t length, bool move_caret,
                        const std::string& description = {});
  void DeleteSelection(const std::string& description = {});
  void DeleteUnit(bool backwards);
  // Shifts the data from `position` on by one nibble to the right (the byte grows by a zero
  // high nibble) or to the left (the size shrinks by one byte).
  void InsertNibble(int64_t position, const std::string& description = {});
  void DeleteNibble(int64_t position, const std::string& description = {});
  // Closes the `count` newest records into one "Multiple modification" group.
  void GroupUndo(int count, const std::string& description);
  bool CanUndo() const;
  bool CanRedo() const;
  void Undo();
  void Redo();
  const std::string& UndoDescription() const { return undo_.Description(); }
  void ResetUndo();
  void SetNoSizeChange(bool value);
  void SetReadOnlyView(bool value);
  void SetAllowInsertMode(bool value);
  void SetMaxUndo(int value);

  // ---- keyboard
  // Shift held or a mouse drag: caret moves select from where selecting started.
  void SetSelecting(bool selecting);
  // Moves the caret to a cell position and applies the selection rule of caret moves.
  void MoveCaretTo(const CaretState& target);
  // A key with its modifiers. `visible_rows` and `top_row` describe the view (Page Up and
  // Down move it). Returns false for keys it does not act on.
  bool KeyDown(HexKey key, bool shift, bool ctrl, int visible_rows, int64_t& top_row,
               int bookmark = 0);
  // A typed character (UTF-16). Returns false when it was refused (OnInvalidKey).
  bool KeyPress(char16_t c);
  std::function<void()> on_invalid_key;
  std::function<void()> on_bookmark_changed;

  std::array<Bookmark, 10>& Bookmarks() { return bookmarks_; }
  const std::array<Bookmark, 10>& Bookmarks() const { return bookmarks_; }

 private:
  // The state an undo or redo gives back beside the data.
  struct EditState {
    CaretState caret;
    int64_t sel_low = -1, sel_high = -1, sel_anchor = -1;
    bool modified = false, insert_mode = false, unicode = false, big_endian = false;
    TMPHTranslationKind translation = tkAsIs;
    int bytes_per_unit = 1;
    std::array<Bookmark, 10> bookmarks{};
  };
  struct RedoRecord {
    int kind = -1;
    int64_t position = 0, count = 0, extra = 0;
    StoreSlice bytes;  // the store's pieces: a redo of any size costs no copy
    EditState state;
  };

  void LayoutChanged();
  // Sets a setting that shapes the grid and recomputes the grid when it changed.
  template <typename T>
  void AssignLayout(T& field, T value);
  // The bytes of a row or of a column: 1 to 256, even while characters are two bytes wide.
  void SetGroupWidth(int& field, int value, const char* what);
  void SelectionChanged();
  void Changed();
  void CheckChange(int kind, int64_t count, int64_t extra) const;
  // Records the change about to be made.
  void AddUndo(int kind, int64_t position, const std::string& description, int64_t extra,
               int64_t count);
  // The bytes (or the group's name) the record keeps for its kind.
  void KeepUndoData(UndoRecord& r, int kind, int64_t position, const std::string& description,
                    int64_t extra, int64_t count) const;
  // Records the change, then makes it through `change`; a change that throws takes its record
  // back with it.
  void RecordChange(int kind, int64_t position, const std::string& description, int64_t extra,
                    int64_t count, const std::function<void()>& change);
  void ShiftBookmarks(int kind, int64_t position, int64_t count, int64_t extra);
  void ClearBookmarksBehindEnd();
  // Records and removes `count` bytes at `start`; the caret goes to `start` in its field.
  void RemoveBytes(int64_t start, int64_t count, const std::string& description);
  void SelectRange(int64_t anchor, int64_t other);
  EditState CurrentState() const;
  void RestoreState(const EditState& state);
  void UndoOne(bool build_redo);
  // What a redo of the record needs, taken before the undo changes the data.
  RedoRecord RedoFor(const UndoRecord& r) const;
  // Puts the data, its modified marks and the bookmarks back as they were before the record.
  void ReverseChange(const UndoRecord& r);
  // The caret, selection and view settings the record kept.
  EditState StateBefore(const UndoRecord& r) const;
  void NibbleShift(int64_t position, bool insert);
  // InsertNibble and DeleteNibble: checked, recorded, shifted.
  void RecordedNibbleShift(int64_t position, bool insert, const std::string& description);
  int64_t LastCaretPosition() const;
  void MoveByCells(int delta_digits);
  // The caret keys: arrows, pages, home and end.
  void MoveCaretByKey(HexKey key, bool ctrl, int visible_rows, int64_t& top_row);
  void DeleteByKey(bool backspace, bool ctrl);
  // Ctrl+digit jumps to a bookmark, Ctrl+Shift+digit sets or clears it.
  bool BookmarkKey(int bookmark, bool shift, bool ctrl);
  // Tells the owner a key was refused; always false.
  bool RefuseKey();
  // The bytes a typed character stands for; false when the character set has none for it.
  bool CharacterBytes(char16_t c, std::vector<uint8_t>& bytes) const;
  void TypeCharacter(const std::vector<uint8_t>& bytes);
  void TypeHexDigit(int digit);
  void ReapplyOffsetUnit();
  void CheckUnitValue(int value) const;

  // The range the record keeps, as the store's pieces (bytes kept inline go into the store).
  StoreSlice KeptSlice(const UndoRecord& r);
  // Keeps [position, position + count) in the record: its bytes when small, else its pieces.
  void KeepRange(UndoRecord& r, int64_t position, int64_t count) const;
  void Load(std::unique_ptr<ByteStore> store);
  // A file whose size the system does not know (/proc), read to its end.
  void LoadUnsizedFile(int fd);

  std::unique_ptr<ByteStore> store_;
  ModifiedFlags flags_;
  bool modified_ = false;
  std::string file_name_ = "---";
  std::string stream_file_name_;
  bool has_file_ = false;
  bool read_only_file_ = true;

  HexSettings settings_;
  CharTranslator translator_;
  OffsetFormat format_;
  bool in_offset_handler_ = false;

  CaretState caret_;
  int64_t sel_anchor_ = -1;
  int64_t sel_low_ = -1;
  int64_t sel_high_ = -1;
  std::array<Bookmark, 10> bookmarks_{};

  TMPHUndoStorage undo_;
  RedoRecord redo_;
  std::optional<UndoRecord> last_undone_;  // set while a redo is possible
  bool selecting_ = false;
  int64_t select_begin_ = 0;
};

}  // namespace qarvo::hex
