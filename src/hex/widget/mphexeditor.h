#pragma once

// The hex widget layer: the TMPHexEditorEx control (this header) over the model of hex/model:
// painting, mouse and keyboard events, the character column (hex_char_column.cpp), clipboard
// and drag and drop (hex_clipboard.cpp, hex_mime.h), the settings text (hex_settings_text.cpp)
// and the published colour, font and print objects (hex_props.h). A change to how the control
// looks or talks to the toolkit goes here; what it does with the bytes goes to the model.

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QFont>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hex/model/char_encoding.h"
#include "hex/model/find.h"
#include "hex/model/grid_geometry.h"
#include "hex/model/hex_model.h"
#include "hex/widget/hex_props.h"

class QMenu;
class QMimeData;
class QPainter;

namespace qarvo::hex {

// The font in which `text` is at most `width` pixels wide: `font` itself when it already is,
// else `font` made smaller one step at a time (a point, or a pixel for a font sized in pixels),
// never below 2 points (3 pixels); the smallest when nothing fits.
inline constexpr int kSmallestFontPoints = 2;
inline constexpr int kSmallestFontPixels = 3;
QFont FittingFont(const QFont& font, const QString& text, int width);

// The busy cursor for as long as a scope runs, also when it throws.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The hex editor control: a scroll area that shows a HexEditorModel as offsets, hex digits and
// characters on a grid of cells. Errors are thrown as EMPHexEditor from the calls that cause
// them; event handlers never let one escape.
class TMPHexEditorEx : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Mirrors of the model's kinds, for the settings text.
  enum TranslationKind { tkAsIs, tkDos8, tkASCII, tkMac, tkBCD, tkCustom };
  Q_ENUM(TranslationKind)
  enum CaretKind { ckFull, ckLeft, ckBottom, ckAuto };
  Q_ENUM(CaretKind)

 private:
  // Published properties, in their published order.
  Q_PROPERTY(bool ShowRuler READ ShowRuler WRITE SetShowRuler)
  Q_PROPERTY(bool DrawGutter3D READ DrawGutter3D WRITE SetDrawGutter3D)
  Q_PROPERTY(bool CreateBackup READ CreateBackup WRITE SetCreateBackup)
  Q_PROPERTY(QString BackupExtension READ BackupExtension WRITE SetBackupExtension)
  Q_PROPERTY(bool OleDragDrop READ OleDragDrop WRITE SetOleDragDrop)
  Q_PROPERTY(bool ClipboardAsHexText READ ClipboardAsHexText WRITE SetClipboardAsHexText)
  Q_PROPERTY(
      bool FlushClipboardAtShutDown READ FlushClipboardAtShutDown WRITE SetFlushClipboardAtShutDown)
  Q_PROPERTY(
      bool SupportsOtherClipFormats READ SupportsOtherClipFormats WRITE SetSupportsOtherClipFormats)
  Q_PROPERTY(
      bool UseEditorFontForPrinting READ UseEditorFontForPrinting WRITE SetUseEditorFontForPrinting)
  Q_PROPERTY(bool ZoomOnWheel READ ZoomOnWheel WRITE SetZoomOnWheel)
  Q_PROPERTY(int BytesPerRow READ BytesPerRow WRITE SetBytesPerRow)
  Q_PROPERTY(int BytesPerColumn READ BytesPerColumn WRITE SetBytesPerColumn)
  Q_PROPERTY(TranslationKind Translation READ Translation WRITE SetTranslation)
  Q_PROPERTY(QString OffsetFormat READ OffsetFormat WRITE SetOffsetFormat)
  Q_PROPERTY(CaretKind CaretKind READ GetCaretKind WRITE SetCaretKind)
  Q_PROPERTY(bool FocusFrame READ FocusFrame WRITE SetFocusFrame)
  Q_PROPERTY(bool SwapNibbles READ SwapNibbles WRITE SetSwapNibbles)
  Q_PROPERTY(QString MaskChar READ MaskChar WRITE SetMaskChar)
  Q_PROPERTY(bool NoSizeChange READ NoSizeChange WRITE SetNoSizeChange)
  Q_PROPERTY(bool AllowInsertMode READ AllowInsertMode WRITE SetAllowInsertMode)
  Q_PROPERTY(bool DrawGridLines READ DrawGridLines WRITE SetDrawGridLines)
  Q_PROPERTY(bool ReadOnlyView READ ReadOnlyView WRITE SetReadOnlyView)
  Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
  Q_PROPERTY(bool GraySelectionIfNotFocused READ GraySelectionIfNotFocused WRITE
                 SetGraySelectionIfNotFocused)
  Q_PROPERTY(int GutterWidth READ GutterWidth WRITE SetGutterWidth)
  Q_PROPERTY(int MaxUndo READ MaxUndo WRITE SetMaxUndo)
  Q_PROPERTY(bool InsertMode READ InsertMode WRITE SetInsertMode)
  Q_PROPERTY(bool HexLowerCase READ HexLowerCase WRITE SetHexLowerCase)
  Q_PROPERTY(qarvo::hex::TMPHColors* Colors READ Colors)
  Q_PROPERTY(qarvo::hex::TMPHFont* PrintFont READ PrintFont)
  Q_PROPERTY(qarvo::hex::TMPHPrintOptions* PrintOptions READ PrintOptions)
  Q_PROPERTY(qarvo::hex::TMPHFont* Font READ FontProps)
  Q_PROPERTY(int BytesPerUnit READ BytesPerUnit WRITE SetBytesPerUnit)
  Q_PROPERTY(int RulerBytesPerUnit READ RulerBytesPerUnit WRITE SetRulerBytesPerUnit)
  Q_PROPERTY(
      bool ShowPositionIfNotFocused READ ShowPositionIfNotFocused WRITE SetShowPositionIfNotFocused)
  Q_PROPERTY(bool UnicodeChars READ UnicodeChars WRITE SetUnicodeChars)
  Q_PROPERTY(bool UnicodeBigEndian READ UnicodeBigEndian WRITE SetUnicodeBigEndian)
  Q_PROPERTY(int BytesPerBlock READ BytesPerBlock WRITE SetBytesPerBlock)
  Q_PROPERTY(bool SeparateBlocksInCharField READ SeparateBlocksInCharField WRITE
                 SetSeparateBlocksInCharField)
  Q_PROPERTY(bool FindProgress READ FindProgress WRITE SetFindProgress)
  Q_PROPERTY(int RulerNumberBase READ RulerNumberBase WRITE SetRulerNumberBase)
  Q_PROPERTY(bool AutoBytesPerRow READ AutoBytesPerRow WRITE SetAutoBytesPerRow)
  Q_PROPERTY(bool WantTabs READ WantTabs WRITE SetWantTabs)

 public:
  explicit TMPHexEditorEx(QWidget* parent = nullptr);
  ~TMPHexEditorEx() override;

  HexEditorModel& Model() { return model_; }
  const HexEditorModel& Model() const { return model_; }
  const GridGeometry& Geometry() const { return geo_; }

  // ---- data and files
  int64_t DataSize() const { return model_.DataSize(); }
  void LoadFromFile(const QString& path);
  void LoadFromStream(ByteSource& source);
  QString FileName() const;
  bool IsModified(int64_t position) const { return model_.IsModified(position); }
  bool Modified() const { return model_.Modified(); }

  // ---- caret and selection
  int64_t CaretPosition() const { return model_.CaretPosition(); }
  void SetCaretPosition(int64_t position) { model_.SetCaretPosition(position); }
  void SetSelectionEnd(int64_t position) { model_.SetSelectionEnd(position); }
  void SelectAll() { model_.SelectAll(); }
  int64_t SelectionStart() const { return model_.SelectionStart(); }
  int64_t SelectionEnd() const { return model_.SelectionEnd(); }
  int64_t SelectionCount() const { return model_.SelectionCount(); }
  QString OffsetText(int64_t position);

  // The content's bytes from `position` on (the range lies inside the data), edits included.
  void ReadContent(int64_t position, std::span<uint8_t> out) const;
  // Writes the content, edits included, to `path` whole or not at all, with pkSave progress
  // events; the loaded file and the modified marks stay as they are. Throws.
  void SaveCopyTo(const QString& path);

  // ---- the character column's encoding: kControl shows the translations; UTF-8 and GB18030
  // draw a character over the cells of its bytes (unless UnicodeChars is on)
  TextEncoding CharEncoding() const { return char_encoding_; }
  void SetCharEncoding(TextEncoding encoding);
  // What its cell shows: the character at its first byte, the continuation mark on the others
  // where the character's picture does not reach them, the mask character for an invalid
  // byte or a control character.
  QString CharCellText(int64_t position) const;
  static constexpr char16_t kContinuationMark = u'\u00B7';

  // ---- search: the pattern for a text or for hex bytes, and the forward search (progress
  // events of pkFind with FindProgress)
  std::string PrepareSearchData(const std::string& s, bool ignore_case, bool is_text);
  // The pattern for a typed text (UTF-8): its Windows-1252 bytes where it has them, else its
  // UTF-8 bytes, or UTF-16 code units in double-byte mode.
  std::string PrepareSearchText(const QString& text, bool ignore_case);
  int64_t Find(const std::string& pattern, int64_t start, int64_t stop, bool ignore_case);
  // The last match that starts between `low` and `start`, or -1 (Shift+F3).
  int64_t FindBackward(const std::string& pattern, int64_t start, int64_t low, bool ignore_case);

  // ---- clipboard and drag and drop (one data object for both)
  bool CanCopy() const;
  void CopyToClipboard();
  bool CanCut() const;
  void CutToClipboard();
  bool CanPaste() const;
  void PasteFromClipboard();
  // Moves the selected bytes to `position` (counted before the move) as one "Data moved"
  // record, also with NoSizeChange; a place inside the selection or just behind it leaves
  // everything as it is. What a drag that ends in this control does.
  void MoveSelection(int64_t position);
  // The drop cell marked while a drag is over the control; (-1, -1) when none.
  Cell DropCell() const { return drop_cell_; }

  // ---- settings text: one "Name=Value" line per public setting
  QString GetSettingsText();
  void SetSettingsText(const QString& text);

  // ---- layout and view
  void RecalcLayout();
  int CharWidth() const { return char_width_; }
  int RowHeightPx() const { return row_height_; }
  // First data row at the top of the view (>= 2) and the first pixel of the scrolling columns.
  int64_t TopRow() const { return top_row_; }
  void SetTopRow(int64_t row);
  int VisibleRows() const;
  // Scrolls so that the caret's row is in view.
  void ScrollToCaret();
  // The viewport rectangle of a cell (may lie outside the view).
  QRect CellRect(int column, int64_t row) const;
  TMPHCaretKind EffectiveCaretKind() const;

  // The context menu over the offset column and the ruler (none by default).
  QMenu* OffsetPopupMenu() const { return offset_popup_menu_; }
  void SetOffsetPopupMenu(QMenu* menu) { offset_popup_menu_ = menu; }

  // ---- bookmark pictures: 20 pictures of 10 x 10 pixels side by side; a null image restores
  // the built-in one.
  const QImage& BookmarkBitmap() const { return bookmark_bitmap_; }
  void SetBookmarkBitmap(const QImage& image);

  // ---- published properties
  TMPHColors* Colors() const { return colors_; }
  TMPHFont* FontProps() const { return font_props_; }
  TMPHPrintOptions* PrintOptions() const { return print_options_; }

  // ---- settings: read them as one record, change any of them in one call
  HexEditorSettings Settings() const { return model_.AllSettings(); }
  // Runs `edit` on a copy of the settings and sets what it changed, each value through its
  // check, then updates the caret and repaints once. A refused value throws EMPHexEditor; the
  // values set before it stay.
  void ChangeSettings(const std::function<void(HexEditorSettings&)>& edit);

  bool CanUndo() const { return model_.CanUndo(); }
  bool CanRedo() const { return model_.CanRedo(); }
  void Undo() { model_.Undo(); }
  void Redo() { model_.Redo(); }

 signals:
  // OnProgress: set *cancel to stop a load with "Operation cancelled".
  void progress(int kind, const QString& name, int percent, bool* cancel);
  // OnChange: the content or the loaded file changed.
  void changed();
  // OnSelectionChanged: caret or selection changed; several changes come as one signal.
  void selectionChanged();
  // OnDrawCell: may change the cell's text, or draw the cell itself and clear *defaultDraw.
  void drawCell(QPainter* painter, int column, qint64 row, QString* text, const QRect& rect,
                bool* defaultDraw);
  // OnGetOffsetText: replaces the offset format while connected.
  void getOffsetText(qint64 number, bool maxWanted, QString* text);
  // OnQueryPublicProperty: clear *isPublic to keep a setting out of the settings text.
  void queryPublicProperty(const QString& name, bool* isPublic);
  void topLeftChanged();
  // The opened file was found changed or shorter than when it was opened (once per load).
  void sourceChanged();
  void bookmarkChanged();
  void invalidKey();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  const HexSettings& S() const { return model_.Settings(); }
  // How the byte at `position` reads in the chosen encoding.
  CharCell CharCellOf(int64_t position) const;
  // The largest selection that copy, cut and drag take: beyond it the clipboard would hold
  // gigabytes, and they are refused with a message box.
  static constexpr int64_t kMaxTransfer = int64_t{64} << 20;
  // A data object over a copy of the selection.
  QMimeData* CreateDataObject() const;
  // Whether `data` offers something this control takes (paste and drags over it).
  bool Accepts(const QMimeData* offered) const;
  bool IsPublicProperty(const QString& name);
  // The cell under a viewport point; false outside the grid.
  bool CellAt(const QPoint& point, Cell& cell) const;
  // The published properties' accessors, for the settings text; owners use Settings() and
  // ChangeSettings().
  template <class Field, class Value>
  void Change(Field field, const Value& value) {
    ChangeSettings([&](HexEditorSettings& s) { s.*field = value; });
  }
  TMPHFont* PrintFont() const { return print_font_; }
  bool ShowRuler() const { return S().show_ruler; }
  void SetShowRuler(bool v) { Change(&HexSettings::show_ruler, v); }
  bool DrawGutter3D() const { return S().draw_gutter_3d; }
  void SetDrawGutter3D(bool v) { Change(&HexSettings::draw_gutter_3d, v); }
  bool CreateBackup() const { return S().create_backup; }
  void SetCreateBackup(bool v) { Change(&HexSettings::create_backup, v); }
  QString BackupExtension() const { return QString::fromStdString(S().backup_extension); }
  void SetBackupExtension(const QString& v) {
    Change(&HexSettings::backup_extension, v.toStdString());
  }
  bool OleDragDrop() const { return S().ole_drag_drop; }
  void SetOleDragDrop(bool v) { Change(&HexSettings::ole_drag_drop, v); }
  bool ClipboardAsHexText() const { return S().clipboard_as_hex_text; }
  void SetClipboardAsHexText(bool v) { Change(&HexSettings::clipboard_as_hex_text, v); }
  bool FlushClipboardAtShutDown() const { return S().flush_clipboard_at_shutdown; }
  void SetFlushClipboardAtShutDown(bool v) { Change(&HexSettings::flush_clipboard_at_shutdown, v); }
  bool SupportsOtherClipFormats() const { return S().supports_other_clip_formats; }
  void SetSupportsOtherClipFormats(bool v) { Change(&HexSettings::supports_other_clip_formats, v); }
  bool UseEditorFontForPrinting() const { return S().use_editor_font_for_printing; }
  void SetUseEditorFontForPrinting(bool v) {
    Change(&HexSettings::use_editor_font_for_printing, v);
  }
  bool ZoomOnWheel() const { return S().zoom_on_wheel; }
  void SetZoomOnWheel(bool v) { Change(&HexSettings::zoom_on_wheel, v); }
  int BytesPerRow() const { return S().bytes_per_row; }
  void SetBytesPerRow(int v) { Change(&HexSettings::bytes_per_row, v); }
  int BytesPerColumn() const { return S().bytes_per_column; }
  void SetBytesPerColumn(int v) { Change(&HexSettings::bytes_per_column, v); }
  TranslationKind Translation() const { return static_cast<TranslationKind>(model_.Translation()); }
  void SetTranslation(TranslationKind v) {
    Change(&HexEditorSettings::translation, static_cast<TMPHTranslationKind>(v));
  }
  QString OffsetFormat() const { return QString::fromStdString(model_.OffsetFormatText()); }
  void SetOffsetFormat(const QString& v) {
    Change(&HexEditorSettings::offset_format, v.toStdString());
  }
  CaretKind GetCaretKind() const { return static_cast<CaretKind>(S().caret_kind); }
  void SetCaretKind(CaretKind v) {
    Change(&HexSettings::caret_kind, static_cast<TMPHCaretKind>(v));
  }
  bool FocusFrame() const { return S().focus_frame; }
  void SetFocusFrame(bool v) { Change(&HexSettings::focus_frame, v); }
  bool SwapNibbles() const { return S().swap_nibbles; }
  void SetSwapNibbles(bool v) { Change(&HexSettings::swap_nibbles, v); }
  QString MaskChar() const;
  void SetMaskChar(const QString& v);
  bool NoSizeChange() const { return S().no_size_change; }
  void SetNoSizeChange(bool v) { Change(&HexSettings::no_size_change, v); }
  bool AllowInsertMode() const { return S().allow_insert_mode; }
  void SetAllowInsertMode(bool v) { Change(&HexSettings::allow_insert_mode, v); }
  bool DrawGridLines() const { return S().draw_grid_lines; }
  void SetDrawGridLines(bool v) { Change(&HexSettings::draw_grid_lines, v); }
  bool ReadOnlyView() const { return S().read_only_view; }
  void SetReadOnlyView(bool v) { Change(&HexSettings::read_only_view, v); }
  bool HideSelection() const { return S().hide_selection; }
  void SetHideSelection(bool v) { Change(&HexSettings::hide_selection, v); }
  bool GraySelectionIfNotFocused() const { return S().gray_selection_if_not_focused; }
  void SetGraySelectionIfNotFocused(bool v) {
    Change(&HexSettings::gray_selection_if_not_focused, v);
  }
  int GutterWidth() const { return S().gutter_width; }
  void SetGutterWidth(int v) { Change(&HexSettings::gutter_width, v); }
  int MaxUndo() const { return S().max_undo; }
  void SetMaxUndo(int v) { Change(&HexSettings::max_undo, v); }
  bool InsertMode() const { return S().insert_mode; }
  void SetInsertMode(bool v) { Change(&HexSettings::insert_mode, v); }
  bool HexLowerCase() const { return S().hex_lower_case; }
  void SetHexLowerCase(bool v) { Change(&HexSettings::hex_lower_case, v); }
  int BytesPerUnit() const { return S().bytes_per_unit; }
  void SetBytesPerUnit(int v) { Change(&HexSettings::bytes_per_unit, v); }
  int RulerBytesPerUnit() const { return S().ruler_bytes_per_unit; }
  void SetRulerBytesPerUnit(int v) { Change(&HexSettings::ruler_bytes_per_unit, v); }
  bool ShowPositionIfNotFocused() const { return S().show_position_if_not_focused; }
  void SetShowPositionIfNotFocused(bool v) {
    Change(&HexSettings::show_position_if_not_focused, v);
  }
  bool UnicodeChars() const { return S().unicode_chars; }
  void SetUnicodeChars(bool v) { Change(&HexSettings::unicode_chars, v); }
  bool UnicodeBigEndian() const { return S().unicode_big_endian; }
  void SetUnicodeBigEndian(bool v) { Change(&HexSettings::unicode_big_endian, v); }
  int BytesPerBlock() const { return S().bytes_per_block; }
  void SetBytesPerBlock(int v) { Change(&HexSettings::bytes_per_block, v); }
  bool SeparateBlocksInCharField() const { return S().separate_blocks_in_char_field; }
  void SetSeparateBlocksInCharField(bool v) {
    Change(&HexSettings::separate_blocks_in_char_field, v);
  }
  bool FindProgress() const { return S().find_progress; }
  void SetFindProgress(bool v) { Change(&HexSettings::find_progress, v); }
  int RulerNumberBase() const { return S().ruler_number_base; }
  void SetRulerNumberBase(int v) { Change(&HexSettings::ruler_number_base, v); }
  bool AutoBytesPerRow() const { return S().auto_bytes_per_row; }
  void SetAutoBytesPerRow(bool v) { Change(&HexSettings::auto_bytes_per_row, v); }
  bool WantTabs() const { return S().want_tabs; }
  void SetWantTabs(bool v) { Change(&HexSettings::want_tabs, v); }

  void OnModelLayoutChanged();
  void OnModelSelectionChanged();
  void DeliverSelectionChanged();
  void UpdateScrollBars();
  // The scroll bar holds an int: beyond its range rows map onto it in proportion, both ends
  // exact, so that the thumb reaches the first and the last row of any file.
  int BarValueOf(int64_t top_offset) const;
  int64_t TopOffsetOf(int bar_value) const;
  // Puts the bar where the top row says, without taking the top row back from the bar.
  void SyncBar();
  void ApplyAutoBytesPerRow();
  void RestartCaret();
  // The caret place for a viewport point on a data cell, with the insert-mode half-cell rule.
  bool CaretAt(const QPoint& point, CaretState& caret) const;
  void UpdateMouseCursor(const QPoint& point);
  void AutoScroll();
  // The bytes of the chosen accepted format of `data`, with the format choice when several
  // are offered; nothing when cancelled or empty. Cut to a multiple of BytesPerUnit.
  std::optional<QByteArray> ImportData(const QMimeData* source, bool link);
  Qt::DropAction DropActionFor(const QDropEvent* event) const;
  void SetDropCell(const Cell& cell);
  void StartDrag();
  void ShowError(const std::exception& e);
  // A message box instead of a copy, cut or drag of more than kMaxTransfer bytes.
  bool RefuseLargeTransfer() const;
  THexSearch::Reader StoreReader() const;
  THexSearch::Progress SearchProgress();
  // Copy, cut and paste by their standard keys and the Insert / Delete pairs; true if handled.
  bool ClipboardKey(QKeyEvent* event, bool shift, bool ctrl);
  // A control that goes empties the clipboard it filled, unless FlushClipboardAtShutDown
  // asks to leave the copy there.
  void ReleaseClipboard();

  // Painting, one piece per kind of cell.
  struct PaintState;
  void PaintRulerRow(QPainter& p, const PaintState& ps);
  void PaintDataRow(QPainter& p, const PaintState& ps, int64_t row);
  void PaintDataCell(QPainter& p, const PaintState& ps, int column, int64_t row, const QRect& rect);
  void PaintGapCell(QPainter& p, const QRect& rect);
  struct CellLook;
  // The text and colours of a cell over a byte of the data.
  void LookOfByte(const PaintState& ps, int column, int64_t position, bool char_field, bool edge,
                  bool active, CellLook& look) const;
  void PaintOffsetCell(QPainter& p, const PaintState& ps, int64_t row, const QRect& rect);
  void PaintCaretFrames(QPainter& p, const PaintState& ps);
  void PaintCaret(QPainter& p);
  void PaintGutterEdges(QPainter& p, const PaintState& ps);
  void DrawCellText(QPainter& p, const QRect& text_rect, const QString& text, bool shrink);
  // A character cell in UTF-8 or GB18030: a character's picture spans the cells of its bytes
  // on the row, each cell drawing its own part of it.
  void PaintEncodedChar(QPainter& p, const QRect& text_rect, int64_t position, int64_t row);
  void DrawFrame(QPainter& p, const QRect& rect, const QColor& color, bool focus_style);
  // Reads the bytes of the rows a paint draws, once per paint.
  void ReadPaintedRows(int64_t first_row, int64_t last_row);
  // Raises sourceChanged the first time a read finds the file changed.
  void TellSourceChange();
  // A byte of the rows read for painting; -1 outside them.
  int PaintedByte(int64_t position) const;

  HexEditorModel model_;
  GridGeometry geo_;
  TMPHColors* colors_;
  TMPHFont* font_props_;
  TMPHFont* print_font_;
  TMPHPrintOptions* print_options_;
  QImage bookmark_bitmap_;
  QImage bookmark_masked_;  // transparent where the top-left pixel's colour is
  std::string hex_ruler_;
  std::string char_ruler_;
  int char_width_ = 8;
  int row_height_ = 16;
  int64_t top_row_ = 2;
  int64_t max_top_ = 0;       // the largest top row offset (top row - 2)
  bool syncing_bar_ = false;  // set while the top row moves the bar
  bool source_change_told_ = false;
  std::vector<uint8_t> painted_;
  int64_t painted_from_ = 0;
  int left_px_ = 0;
  int update_lock_ = 0;
  bool layout_pending_ = false;
  int selection_changes_ = 0;
  bool caret_on_ = false;
  QBasicTimer caret_timer_;
  Cell drop_cell_{-1, -1};
  QMenu* offset_popup_menu_ = nullptr;
  QBasicTimer scroll_timer_;
  QPoint drag_point_;
  int wheel_delta_ = 0;  // the part of a wheel notch not yet acted on
  bool mouse_selecting_ = false;
  bool pressed_in_selection_ = false;
  QPoint press_point_;
  THexSearch search_;
  // Set while a drag of this control's selection runs; a drop here then moves the bytes.
  bool dragging_out_ = false;
  bool dropped_inside_ = false;
  const QMimeData* copied_ = nullptr;  // what this control last put on the clipboard
  TextEncoding char_encoding_ = TextEncoding::kControl;
};

}  // namespace qarvo::hex
