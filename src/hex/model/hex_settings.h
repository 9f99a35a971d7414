#pragma once

#include <string>

namespace qarvo::hex {

enum TMPHCaretKind { ckFull, ckLeft, ckBottom, ckAuto };
enum TMPHProgressKind { pkLoad, pkSave, pkFind };

// The control's settings that are plain values, with their defaults. The ones that must be
// validated or that change the layout are set through HexEditorModel; the rest (looks and
// switches that only the widget reads) may be written directly.
struct HexSettings {
  // layout: set through the model
  int bytes_per_row = 16;
  bool auto_bytes_per_row = false;
  int bytes_per_column = 2;
  int bytes_per_block = -1;
  bool separate_blocks_in_char_field = true;
  int bytes_per_unit = 1;
  int ruler_bytes_per_unit = -1;
  int ruler_number_base = 16;
  bool show_ruler = false;
  bool hex_lower_case = false;
  bool unicode_chars = false;
  bool unicode_big_endian = false;
  bool swap_nibbles = false;
  bool insert_mode = false;
  int gutter_width = -1;

  // looks and switches
  TMPHCaretKind caret_kind = ckAuto;
  bool focus_frame = true;
  bool show_position_if_not_focused = false;
  bool hide_selection = false;
  bool gray_selection_if_not_focused = false;
  bool draw_grid_lines = false;
  bool draw_gutter_3d = true;
  bool read_only_view = false;
  bool allow_insert_mode = true;
  bool no_size_change = false;
  bool want_tabs = true;
  int max_undo = 1048576;
  bool find_progress = false;
  bool create_backup = true;
  std::string backup_extension;
  bool ole_drag_drop = false;
  bool clipboard_as_hex_text = false;
  bool flush_clipboard_at_shutdown = false;
  bool supports_other_clip_formats = true;
  bool use_editor_font_for_printing = true;
  bool zoom_on_wheel = true;
};

}  // namespace qarvo::hex
