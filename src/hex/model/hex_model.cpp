#include "hex/model/hex_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "hex/model/hex_error.h"
#include "hex/model/piece_table.h"
#include "platform/io_buffer.h"

namespace qarvo::hex {

size_t MemorySource::Read(void* buffer, size_t count) {
  const auto at = static_cast<size_t>(std::clamp<int64_t>(position_, 0, Size()));
  const size_t n = std::min(count, bytes_.size() - at);
  std::memcpy(buffer, bytes_.data() + at, n);
  position_ = static_cast<int64_t>(at + n);
  return n;
}

HexEditorModel::HexEditorModel() : store_(std::make_unique<PieceTable>()) {
  format_ = ParseOffsetFormat("-!10:0x|", {16, 2, 1});
}

void HexEditorModel::LayoutChanged() {
  if (on_layout_changed) {
    on_layout_changed();
  }
}

template <typename T>
void HexEditorModel::AssignLayout(T& field, T value) {
  if (field != value) {
    field = value;
    LayoutChanged();
  }
}

void HexEditorModel::SelectionChanged() {
  if (on_selection_changed) {
    on_selection_changed();
  }
}

// ---------------------------------------------------------------- content

void HexEditorModel::WriteBytes(int64_t position, const void* bytes, int64_t count) {
  store_->CheckRange(position, count);
  store_->Replace(position, count,
                  std::span(static_cast<const uint8_t*>(bytes), static_cast<size_t>(count)));
  if (!settings_.insert_mode) {
    flags_.Mark(position, count);
  }
  modified_ = true;
  if (on_change) {
    on_change();
  }
  SelectionChanged();
}

bool HexEditorModel::IsModified(int64_t position) const {
  return !settings_.insert_mode && flags_.Get(position);
}

// ---------------------------------------------------------------- loading

void HexEditorModel::CreateEmptyFile(const std::string& name) {
  file_name_ = name.empty() ? "Untitled" : name;
  store_ = std::make_unique<PieceTable>();
  flags_.Clear();
  modified_ = false;
  read_only_file_ = true;
  has_file_ = false;
  sel_anchor_ = sel_low_ = sel_high_ = -1;
  caret_ = CaretState{};
  ResetUndo();
  LayoutChanged();
  if (on_change) {
    on_change();
  }
  SelectionChanged();
}

namespace {

// The reason of the last system error, in the program's words where it has them.
std::string Reason(int error) {
  switch (error) {
    case ENOENT:
      return "文件不存在";
    case EACCES:
    case EPERM:
      return "没有读取它的权限";
    default:
      return std::strerror(error);
  }
}

}  // namespace

void HexEditorModel::LoadFromFile(const std::string& path) {
  // Not blocking: a FIFO must be refused, not waited on for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    throw EMPHexEditor("无法打开文件“" + path + "”:" + Reason(errno) + "。");
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    throw EMPHexEditor("无法打开文件“" + path + "”:" + Reason(error) + "。");
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    throw EMPHexEditor(S_ISDIR(st.st_mode) ? "“" + path + "”是文件夹,不能查看。"
                                           : "“" + path + "”不是普通文件,不能查看。");
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  read_only_file_ = access(path.c_str(), W_OK) != 0;
  stream_file_name_ = path;
  try {
    if (st.st_size == 0) {
      LoadUnsizedFile(fd);  // takes the descriptor
    } else {
      std::unique_ptr<ByteStore> store;
      try {
        store = std::make_unique<PieceTable>(fd, static_cast<int64_t>(st.st_size), path);
      } catch (...) {
        close(fd);
        throw;
      }
      Load(std::move(store));
    }
  } catch (...) {
    stream_file_name_.clear();
    has_file_ = false;
    throw;
  }
  stream_file_name_.clear();
  file_name_ = path;
  has_file_ = true;
}

void HexEditorModel::LoadUnsizedFile(int fd) {
  auto store = std::make_unique<PieceTable>();
  try {
    IoBuffer block(static_cast<size_t>(kCopyStep));
    for (;;) {
      const ssize_t n = read(fd, block.data(), block.size());
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0) {
        throw EMPHexEditor("读取文件“" + stream_file_name_ + "”出错:" + Reason(errno) + "。");
      }
      if (n == 0) {
        break;
      }
      if (store->Size() + n > kMaxInMemory) {
        throw EMPHexEditor("文件“" + stream_file_name_ + "”太大,不能读入内存。");
      }
      store->Replace(store->Size(), 0, std::span(block.data(), static_cast<size_t>(n)));
    }
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
  Load(std::move(store));
}

void HexEditorModel::Load(std::unique_ptr<ByteStore> store) {
  store_ = std::move(store);
  flags_.Clear();
  sel_anchor_ = sel_low_ = sel_high_ = -1;
  caret_ = CaretState{};
  modified_ = false;
  ResetUndo();
  LayoutChanged();
  if (on_change) {
    on_change();
  }
  SelectionChanged();
}

void HexEditorModel::LoadFromStream(ByteSource& source) {
  store_ = std::make_unique<PieceTable>();
  flags_.Clear();
  sel_anchor_ = sel_low_ = sel_high_ = -1;
  caret_ = CaretState{};
  LayoutChanged();
  auto loaded = std::make_unique<PieceTable>();
  try {
    const int64_t size = source.Size();
    if (size > kMaxInMemory) {
      throw EMPHexEditor("不能读入 " + std::to_string(size) + " 字节:一次最多读入 " +
                         std::to_string(kMaxInMemory) + " 字节(2 GiB - 1)。");
    }
    loaded->Reserve(size);
    source.Seek(0);
    IoBuffer block(static_cast<size_t>(std::min(size, kCopyStep)));
    CopyWithProgress(size, pkLoad, [&](int64_t, int64_t count) {
      size_t got = 0;
      try {
        got = source.Read(block.data(), static_cast<size_t>(count));
      } catch (const FileError& e) {
        throw EMPHexEditor(e.what());
      }
      if (static_cast<int64_t>(got) != count) {
        throw EMPHexEditor("Stream read error");
      }
      loaded->Replace(loaded->Size(), 0, std::span(block.data(), got));
    });
  } catch (...) {
    flags_.Clear();
    ResetUndo();
    modified_ = false;
    has_file_ = false;
    LayoutChanged();
    throw;
  }
  Load(std::move(loaded));
}

void HexEditorModel::CopyWithProgress(int64_t total, TMPHProgressKind kind,
                                      const std::function<void(int64_t, int64_t)>& move) {
  int64_t remaining = total;
  int last = 255;
  const std::string& name = stream_file_name_.empty() ? file_name_ : stream_file_name_;
  while (remaining > 0) {
    // Rounded to the nearest, ties to even.
    const int percent = static_cast<int>(
        std::nearbyint(static_cast<double>(total - remaining) / static_cast<double>(total) * 100));
    if (percent != last || remaining <= kCopyStep) {
      last = remaining > kCopyStep ? percent : 100;
      if (on_progress) {
        bool cancel = false;
        on_progress(kind, name, last, cancel);
        if (cancel) {
          throw EMPHexEditor("Operation cancelled");
        }
      }
    }
    const int64_t step = std::min(remaining, kCopyStep);
    move(total - remaining, step);
    remaining -= step;
  }
}

// ---------------------------------------------------------------- settings

int HexEditorModel::EffectiveRulerUnit() const {
  return settings_.ruler_bytes_per_unit == -1 ? settings_.bytes_per_unit
                                              : settings_.ruler_bytes_per_unit;
}

void HexEditorModel::ReapplyOffsetUnit() {
  switch (format_.unit_source) {
    case OffsetUnitSource::Rows:
      format_.unit = settings_.bytes_per_row;
      break;
    case OffsetUnitSource::Columns:
      format_.unit = settings_.bytes_per_column;
      break;
    case OffsetUnitSource::Units:
      format_.unit = EffectiveRulerUnit();
      break;
    case OffsetUnitSource::Fixed:
      break;
  }
}

void HexEditorModel::SetGroupWidth(int& field, int value, const char* what) {
  if (value < 1 || value > 256 || (settings_.unicode_chars && value % 2 != 0)) {
    throw EMPHexEditor(std::string("Invalid bytes per ") + what + " argument");
  }
  if (value == field) {
    return;
  }
  field = value;
  ReapplyOffsetUnit();
  LayoutChanged();
}

void HexEditorModel::SetBytesPerRow(int value) {
  SetGroupWidth(settings_.bytes_per_row, value, "line");
}

void HexEditorModel::SetBytesPerColumn(int value) {
  SetGroupWidth(settings_.bytes_per_column, value, "column");
}

void HexEditorModel::SetBytesPerBlock(int value) {
  AssignLayout(settings_.bytes_per_block, value);
}

void HexEditorModel::SetSeparateBlocksInCharField(bool value) {
  AssignLayout(settings_.separate_blocks_in_char_field, value);
}

void HexEditorModel::CheckUnitValue(int value) const {
  if (value != 1 && value != 2 && value != 4 && value != 8) {
    throw EMPHexEditor("Invalid bytes per unit value " + std::to_string(value) +
                       ", allowed: 1,2,4,8");
  }
}

void HexEditorModel::SetBytesPerUnit(int value) {
  if (settings_.unicode_chars && value != 2) {
    throw EMPHexEditor("BytesPerUnit must be set to 2 in unicode mode");
  }
  CheckUnitValue(value);
  if (value == settings_.bytes_per_unit) {
    return;
  }
  settings_.bytes_per_unit = value;
  if (HasSelection() && SelectionCount() % value != 0) {
    ClearSelection();
  }
  ReapplyOffsetUnit();
  LayoutChanged();
}

void HexEditorModel::SetRulerBytesPerUnit(int value) {
  if (value != -1 && value != 1 && value != 2 && value != 4 && value != 8) {
    throw EMPHexEditor("Invalid ruler bytes per unit value " + std::to_string(value) +
                       ", allowed: -1,1,2,4,8");
  }
  if (value == settings_.ruler_bytes_per_unit) {
    return;
  }
  settings_.ruler_bytes_per_unit = value;
  ReapplyOffsetUnit();
  LayoutChanged();
}

void HexEditorModel::SetRulerNumberBase(int value) {
  if (value < 2 || value > 16) {
    value = 16;
  }
  if (value != settings_.ruler_number_base) {
    settings_.ruler_number_base = value;
    LayoutChanged();
  }
}

void HexEditorModel::SetShowRuler(bool value) {
  AssignLayout(settings_.show_ruler, value);
}

void HexEditorModel::SetHexLowerCase(bool value) {
  AssignLayout(settings_.hex_lower_case, value);
}

void HexEditorModel::SetTranslation(TMPHTranslationKind kind) {
  if (settings_.unicode_chars && kind != tkAsIs) {
    throw EMPHexEditor("Translations cannot be used in unicode mode");
  }
  if (kind != translator_.Kind()) {
    translator_.SetKind(kind);
    LayoutChanged();
  }
}

void HexEditorModel::SetUnicodeChars(bool value) {
  if (value == settings_.unicode_chars) {
    return;
  }
  if (value) {
    if (settings_.bytes_per_row % 2 != 0) {
      throw EMPHexEditor("Invalid bytes per line argument");
    }
    if (settings_.bytes_per_column % 2 != 0) {
      throw EMPHexEditor("Invalid bytes per column argument");
    }
    if (DataSize() % 2 != 0) {
      throw EMPHexEditor("文件大小为奇数,不能使用双字节!");
    }
    translator_.SetKind(tkAsIs);
    SetBytesPerUnit(2);
    settings_.unicode_chars = true;
  } else {
    settings_.unicode_chars = false;
    SetBytesPerUnit(1);
  }
  LayoutChanged();
}

void HexEditorModel::SetUnicodeBigEndian(bool value) {
  AssignLayout(settings_.unicode_big_endian, value);
}

void HexEditorModel::SetSwapNibbles(bool value) {
  AssignLayout(settings_.swap_nibbles, value);
}

void HexEditorModel::SetInsertMode(bool value) {
  if (value &&
      (!settings_.allow_insert_mode || settings_.no_size_change || settings_.read_only_view)) {
    return;
  }
  if (value == settings_.insert_mode) {
    return;
  }
  settings_.insert_mode = value;
  flags_.Clear();
  if (!value && caret_.position >= DataSize()) {
    caret_.position = std::max<int64_t>(0, DataSize() - 1);
  }
  LayoutChanged();
  SelectionChanged();
}

void HexEditorModel::SetGutterWidth(int value) {
  AssignLayout(settings_.gutter_width, value);
}

void HexEditorModel::SetMaskChar(uint8_t value) {
  if (value != translator_.MaskChar()) {
    translator_.SetMaskChar(value);
    LayoutChanged();
  }
}

// ---------------------------------------------------------------- offsets

void HexEditorModel::SetOffsetFormat(const std::string& text) {
  // A refusal throws before the kept format is touched; its unit already follows the settings.
  format_ = ParseOffsetFormat(
      text, {settings_.bytes_per_row, settings_.bytes_per_column, EffectiveRulerUnit()});
  LayoutChanged();
}

std::string HexEditorModel::OffsetColumnText(int64_t position, bool max_wanted) {
  if (on_get_offset_text && !in_offset_handler_) {
    std::string text;
    in_offset_handler_ = true;
    bool handled = false;
    try {
      handled = on_get_offset_text(position, max_wanted, text);
    } catch (...) {
      in_offset_handler_ = false;
      throw;
    }
    in_offset_handler_ = false;
    if (handled) {
      return text;
    }
  }
  return FormatOffset(format_, position, settings_.hex_lower_case);
}

std::string HexEditorModel::OffsetText(int64_t position) {
  if (format_.Empty() && !(on_get_offset_text && !in_offset_handler_)) {
    return ToRadix(std::max<int64_t>(position, 0), 16);
  }
  return OffsetColumnText(position);
}

int HexEditorModel::OffsetDisplayChars(int64_t last_row_offset) {
  if (format_.auto_digits) {
    format_.digits = static_cast<int>(
        ToRadix(std::max<int64_t>(last_row_offset, 0) / format_.unit, format_.radix).size());
  }
  return static_cast<int>(OffsetColumnText(last_row_offset, true).size()) + 1;
}

GridInput HexEditorModel::MakeGridInput(int char_width, int row_height) {
  GridInput in;
  in.char_width = char_width;
  in.row_height = row_height;
  in.bytes_per_row = settings_.bytes_per_row;
  in.bytes_per_column = settings_.bytes_per_column;
  in.bytes_per_block = settings_.bytes_per_block;
  in.unit = EffectiveRulerUnit();
  in.unicode = settings_.unicode_chars;
  in.separate_blocks_in_char_field = settings_.separate_blocks_in_char_field;
  in.show_ruler = settings_.show_ruler;
  in.insert_mode = settings_.insert_mode;
  in.data_size = DataSize();
  const int64_t rows = GridGeometry::RowCountFor(in.data_size, in.bytes_per_row, in.insert_mode);
  const int chars = OffsetDisplayChars((rows - 3) * in.bytes_per_row);
  in.offset_column_width =
      settings_.gutter_width == -1 ? chars * char_width + 21 : settings_.gutter_width;
  return in;
}

// ---------------------------------------------------------------- characters

char HexEditorModel::HexDigitChar(int nibble) const {
  static const char kUpper[] = "0123456789ABCDEF";
  static const char kLower[] = "0123456789abcdef";
  return (settings_.hex_lower_case ? kLower : kUpper)[nibble & 15];
}

char16_t HexEditorModel::DisplayChar(int64_t position) const {
  uint8_t bytes[2] = {};
  const bool pair = settings_.unicode_chars && position + 1 < DataSize();
  Read(position, std::span(bytes, pair ? 2 : 1));
  return DisplayCharOf(bytes[0], pair ? bytes[1] : -1);
}

char16_t HexEditorModel::DisplayCharOf(uint8_t first, int second) const {
  if (!settings_.unicode_chars) {
    return AnsiToUnicode(translator_.DisplayCode(first));
  }
  char16_t unit = first;
  if (second >= 0) {
    unit = static_cast<char16_t>(unit | (second << 8));
  }
  if (settings_.unicode_big_endian) {
    unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
  }
  return translator_.DisplayUnit(unit);
}

// ---------------------------------------------------------------- caret and selection

void HexEditorModel::MoveCaret(const CaretState& caret) {
  CaretState next = caret;
  const int64_t last = settings_.insert_mode ? DataSize() : std::max<int64_t>(0, DataSize() - 1);
  next.position = std::clamp<int64_t>(next.position, 0, last);
  next.digit = next.in_char_field ? 0 : (next.digit != 0 ? 1 : 0);
  if (next.position != caret_.position || next.in_char_field != caret_.in_char_field ||
      next.digit != caret_.digit) {
    caret_ = next;
    SelectionChanged();
  }
}

int64_t HexEditorModel::CaretPosition() const {
  return std::clamp<int64_t>(caret_.position, 0, std::max<int64_t>(0, DataSize() - 1));
}

void HexEditorModel::SetCaretPosition(int64_t position) {
  if (position < 0 || position >= DataSize()) {
    throw EMPHexEditor("Invalid selection start");
  }
  sel_anchor_ = sel_low_ = sel_high_ = -1;
  caret_.position = position;
  caret_.digit = 0;
  SelectionChanged();
}

void HexEditorModel::SetSelectionEnd(int64_t position) {
  if (position < -1 || position >= DataSize()) {
    throw EMPHexEditor("Invalid selection end");
  }
  sel_anchor_ = sel_low_ = sel_high_ = -1;
  if (position >= 0) {
    SetSelection(CaretPosition(), position);
  } else {
    SelectionChanged();
  }
}

void HexEditorModel::SelectAll() {
  const int64_t size = DataSize();
  caret_.position = settings_.insert_mode ? size : std::max<int64_t>(0, size - 1);
  caret_.digit = 0;
  if (size > 0) {
    SetSelection(0, size - 1);
  } else {
    ClearSelection();
  }
}

void HexEditorModel::SetSelection(int64_t anchor, int64_t other) {
  const int64_t size = DataSize();
  if (size <= 0) {
    ClearSelection();
    return;
  }
  const int64_t unit = settings_.bytes_per_unit;
  int64_t low = std::clamp<int64_t>(std::min(anchor, other), 0, size - 1);
  int64_t high = std::clamp<int64_t>(std::max(anchor, other), 0, size - 1);
  low -= low % unit;
  high = std::min(size - 1, high - high % unit + unit - 1);
  sel_low_ = low;
  sel_high_ = high;
  sel_anchor_ = anchor <= other ? low : high;
  SelectionChanged();
}

void HexEditorModel::ClearSelection() {
  if (sel_low_ >= 0 || sel_anchor_ >= 0) {
    sel_anchor_ = sel_low_ = sel_high_ = -1;
  }
  SelectionChanged();
}

int64_t HexEditorModel::SelectionStart() const {
  return sel_low_ >= 0 ? sel_anchor_ : caret_.position;
}

int64_t HexEditorModel::SelectionEnd() const {
  if (sel_low_ < 0) {
    return caret_.position;
  }
  return sel_anchor_ == sel_low_ ? sel_high_ : sel_low_;
}

int64_t HexEditorModel::SelectionCount() const {
  return sel_low_ >= 0 ? sel_high_ - sel_low_ + 1 : 0;
}

// ---------------------------------------------------------------- settings in one record

HexEditorSettings HexEditorModel::AllSettings() const {
  HexEditorSettings all;
  static_cast<HexSettings&>(all) = settings_;
  all.translation = translator_.Kind();
  all.offset_format = format_.text;
  all.mask_char = translator_.MaskChar();
  return all;
}

void HexEditorModel::ChangeSettings(const HexEditorSettings& before,
                                    const HexEditorSettings& wanted) {
  const auto changed = [&](auto field) { return !(before.*field == wanted.*field); };
  // Looks and switches need no check.
  const auto take = [&](auto field) {
    if (changed(field)) {
      settings_.*field = wanted.*field;
    }
  };
  const auto set = [&](auto field, auto setter) {
    if (changed(field)) {
      (this->*setter)(wanted.*field);
    }
  };
  using S = HexEditorSettings;
  using M = HexEditorModel;
  set(&S::show_ruler, &M::SetShowRuler);
  take(&S::draw_gutter_3d);
  take(&S::create_backup);
  take(&S::backup_extension);
  take(&S::ole_drag_drop);
  take(&S::clipboard_as_hex_text);
  take(&S::flush_clipboard_at_shutdown);
  take(&S::supports_other_clip_formats);
  take(&S::use_editor_font_for_printing);
  take(&S::zoom_on_wheel);
  set(&S::bytes_per_row, &M::SetBytesPerRow);
  set(&S::bytes_per_column, &M::SetBytesPerColumn);
  set(&S::translation, &M::SetTranslation);
  set(&S::offset_format, &M::SetOffsetFormat);
  take(&S::caret_kind);
  take(&S::focus_frame);
  set(&S::swap_nibbles, &M::SetSwapNibbles);
  set(&S::mask_char, &M::SetMaskChar);
  set(&S::no_size_change, &M::SetNoSizeChange);
  set(&S::allow_insert_mode, &M::SetAllowInsertMode);
  take(&S::draw_grid_lines);
  set(&S::read_only_view, &M::SetReadOnlyView);
  take(&S::hide_selection);
  take(&S::gray_selection_if_not_focused);
  set(&S::gutter_width, &M::SetGutterWidth);
  set(&S::max_undo, &M::SetMaxUndo);
  set(&S::insert_mode, &M::SetInsertMode);
  set(&S::hex_lower_case, &M::SetHexLowerCase);
  set(&S::bytes_per_unit, &M::SetBytesPerUnit);
  set(&S::ruler_bytes_per_unit, &M::SetRulerBytesPerUnit);
  take(&S::show_position_if_not_focused);
  set(&S::unicode_chars, &M::SetUnicodeChars);
  set(&S::unicode_big_endian, &M::SetUnicodeBigEndian);
  set(&S::bytes_per_block, &M::SetBytesPerBlock);
  set(&S::separate_blocks_in_char_field, &M::SetSeparateBlocksInCharField);
  take(&S::find_progress);
  set(&S::ruler_number_base, &M::SetRulerNumberBase);
  take(&S::auto_bytes_per_row);
  take(&S::want_tabs);
}

}  // namespace qarvo::hex
