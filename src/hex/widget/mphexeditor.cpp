#include "hex/widget/mphexeditor.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

#include "hex/model/hex_error.h"
#include "hex/widget/bookmark_icons.h"

namespace qarvo::hex {

// ---------------------------------------------------------------- colours, fonts

TMPHColors::TMPHColors(QObject* parent) : QObject(parent) {
  const QPalette palette = QApplication::palette();
  background_ = palette.color(QPalette::Base);
  active_field_background_ = palette.color(QPalette::Base);
  changed_background_ = QColor(255, 255, 168);
  changed_text_ = QColor(0x80, 0, 0);
  odd_column_ = QColor(0, 0, 0xFF);
  even_column_ = QColor(0, 0, 0x80);
  offset_ = Qt::black;
  offset_background_ = palette.color(QPalette::Button);
  current_offset_ = palette.color(QPalette::Light);
  current_offset_background_ = palette.color(QPalette::Dark);
  cursor_frame_ = QColor(0, 0, 0x80);
  non_focus_cursor_frame_ = QColor(0, 0xFF, 0xFF);
  grid_ = palette.color(QPalette::Button);
}

TMPHFont::TMPHFont(QObject* parent) : QObject(parent) {
  font_ = QFont("Courier New");
  font_.setPointSize(11);
  font_.setStyleHint(QFont::TypeWriter);
}

void TMPHFont::SetFont(const QFont& font) {
  font_ = font;
  emit Changed();
}

void TMPHFont::SetColor(const QColor& color) {
  color_ = color;
  emit Changed();
}

void TMPHFont::SetName(const QString& name) {
  font_.setFamily(name);
  emit Changed();
}

void TMPHFont::SetSize(int points) {
  if (points > 0) {
    font_.setPointSize(points);
    emit Changed();
  }
}

QString TMPHFont::Style() const {
  QStringList parts;
  if (font_.bold()) {
    parts << "fsBold";
  }
  if (font_.italic()) {
    parts << "fsItalic";
  }
  if (font_.underline()) {
    parts << "fsUnderline";
  }
  if (font_.strikeOut()) {
    parts << "fsStrikeOut";
  }
  return "[" + parts.join(',') + "]";
}

void TMPHFont::SetStyle(const QString& style) {
  font_.setBold(style.contains("fsBold", Qt::CaseInsensitive));
  font_.setItalic(style.contains("fsItalic", Qt::CaseInsensitive));
  font_.setUnderline(style.contains("fsUnderline", Qt::CaseInsensitive));
  font_.setStrikeOut(style.contains("fsStrikeOut", Qt::CaseInsensitive));
  emit Changed();
}

// ---------------------------------------------------------------- construction

TMPHexEditorEx::TMPHexEditorEx(QWidget* parent)
    : QAbstractScrollArea(parent),
      colors_(new TMPHColors(this)),
      font_props_(new TMPHFont(this)),
      print_font_(new TMPHFont(this)),
      print_options_(new TMPHPrintOptions(this)),
      bookmark_bitmap_(BuiltInBookmarkBitmap()),
      bookmark_masked_(MaskedBookmarkBitmap(bookmark_bitmap_)) {
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Plain);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setMouseTracking(true);  // the cursor shape follows the mouse
  // Drops are always delivered; OleDragDrop decides whether they are taken.
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  viewport()->setAutoFillBackground(false);
  font_props_->SetColor(palette().color(QPalette::Text));
  setFont(font_props_->Font());

  connect(colors_, &TMPHColors::Changed, viewport(), qOverload<>(&QWidget::update));
  connect(font_props_, &TMPHFont::Changed, this, [this] {
    setFont(font_props_->Font());
    viewport()->update();  // the colour alone does not change the widget's font
  });

  model_.on_layout_changed = [this] { OnModelLayoutChanged(); };
  model_.on_selection_changed = [this] { OnModelSelectionChanged(); };
  model_.on_change = [this] { emit changed(); };
  model_.on_invalid_key = [this] { emit invalidKey(); };
  model_.on_bookmark_changed = [this] {
    viewport()->update();
    emit bookmarkChanged();
  };
  model_.on_progress = [this](TMPHProgressKind kind, const std::string& name, int percent,
                              bool& cancel) {
    emit progress(kind, QString::fromStdString(name), percent, &cancel);
  };
  model_.on_get_offset_text = [this](int64_t number, bool max_wanted, std::string& text) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&TMPHexEditorEx::getOffsetText))) {
      return false;
    }
    QString out;
    emit getOffsetText(number, max_wanted, &out);
    text = out.toStdString();
    return true;
  };
  model_.CreateEmptyFile("");
  RecalcLayout();
}

TMPHexEditorEx::~TMPHexEditorEx() {
  model_.on_layout_changed = nullptr;
  model_.on_selection_changed = nullptr;
  model_.on_change = nullptr;
  model_.on_progress = nullptr;
  model_.on_get_offset_text = nullptr;
  model_.on_invalid_key = nullptr;
  model_.on_bookmark_changed = nullptr;
  ReleaseClipboard();
}

QString TMPHexEditorEx::FileName() const {
  return QString::fromStdString(model_.FileName());
}

BusyCursor::BusyCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
  QApplication::restoreOverrideCursor();
}

void TMPHexEditorEx::LoadFromFile(const QString& path) {
  BusyCursor busy;
  source_change_told_ = false;
  model_.LoadFromFile(path.toStdString());
}

void TMPHexEditorEx::LoadFromStream(ByteSource& source) {
  BusyCursor busy;
  source_change_told_ = false;
  model_.LoadFromStream(source);
}

QString TMPHexEditorEx::OffsetText(int64_t position) {
  return QString::fromStdString(model_.OffsetText(position));
}

// ---------------------------------------------------------------- settings that touch the view

QString TMPHexEditorEx::MaskChar() const {
  const uint8_t c = model_.MaskChar();
  return c == 0 ? QString() : QString(QChar(AnsiToUnicode(c)));
}

void TMPHexEditorEx::SetMaskChar(const QString& v) {
  uint8_t c = 0;
  if (!v.isEmpty()) {
    const int ansi = UnicodeToAnsi(v.at(0).unicode());
    c = static_cast<uint8_t>(ansi < 0 ? '?' : ansi);
  }
  Change(&HexEditorSettings::mask_char, c);
}

void TMPHexEditorEx::ChangeSettings(const std::function<void(HexEditorSettings&)>& edit) {
  const HexEditorSettings before = model_.AllSettings();
  HexEditorSettings wanted = before;
  edit(wanted);
  // What a refused value left set still shows.
  const auto show = [&] {
    if (S().insert_mode != before.insert_mode || S().read_only_view != before.read_only_view ||
        S().caret_kind != before.caret_kind) {
      RestartCaret();
    }
    if (S().auto_bytes_per_row && !before.auto_bytes_per_row) {
      ApplyAutoBytesPerRow();
    }
    viewport()->update();
  };
  try {
    model_.ChangeSettings(before, wanted);
  } catch (...) {
    show();
    throw;
  }
  show();
}

TMPHCaretKind TMPHexEditorEx::EffectiveCaretKind() const {
  if (S().caret_kind != hex::ckAuto) {
    return S().caret_kind;
  }
  if (S().read_only_view) {
    return hex::ckBottom;
  }
  return S().insert_mode ? hex::ckLeft : hex::ckFull;
}

void TMPHexEditorEx::SetBookmarkBitmap(const QImage& image) {
  if (image.isNull()) {
    bookmark_bitmap_ = BuiltInBookmarkBitmap();
  } else if (image.width() != 200 || image.height() != 10) {
    throw EMPHexEditor("Invalid bookmark bitmap (must be 10 x 200 px)");
  } else {
    bookmark_bitmap_ = image;
  }
  bookmark_masked_ = MaskedBookmarkBitmap(bookmark_bitmap_);
  viewport()->update();
}

// ---------------------------------------------------------------- layout and scrolling

void TMPHexEditorEx::OnModelLayoutChanged() {
  if (update_lock_ > 0) {
    layout_pending_ = true;
    return;
  }
  RecalcLayout();
}

void TMPHexEditorEx::RecalcLayout() {
  const QFontMetrics metrics(font());
  char_width_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('w')));
  row_height_ = metrics.height() + 2;
  geo_.Recalc(model_.MakeGridInput(char_width_, row_height_));
  const HexSettings& s = S();
  const int unit = model_.EffectiveRulerUnit();
  hex_ruler_ = HexRulerText(s.bytes_per_row, unit, s.ruler_number_base, s.hex_lower_case);
  char_ruler_ =
      CharRulerText(s.bytes_per_row, unit, s.ruler_number_base, s.hex_lower_case, s.unicode_chars);
  UpdateScrollBars();
  RestartCaret();
  viewport()->update();
}

int TMPHexEditorEx::VisibleRows() const {
  const int free = viewport()->height() - geo_.FixedHeight();
  return std::max(1, free / std::max(1, row_height_));
}

namespace {
// Steps of the vertical bar when rows are more than it holds.
constexpr int64_t kBarSteps = int64_t{1} << 30;
// Row offsets times bar steps need 94 bits for the largest files.
__extension__ typedef __int128 Wide;
}  // namespace

int TMPHexEditorEx::BarValueOf(int64_t top_offset) const {
  if (max_top_ <= kBarSteps) {
    return static_cast<int>(top_offset);
  }
  const auto scaled = static_cast<Wide>(top_offset) * kBarSteps + max_top_ / 2;
  return static_cast<int>(scaled / max_top_);
}

int64_t TMPHexEditorEx::TopOffsetOf(int bar_value) const {
  if (max_top_ <= kBarSteps) {
    return bar_value;
  }
  const auto scaled = static_cast<Wide>(bar_value) * max_top_ + kBarSteps / 2;
  return static_cast<int64_t>(scaled / kBarSteps);
}

void TMPHexEditorEx::SyncBar() {
  syncing_bar_ = true;
  verticalScrollBar()->setValue(BarValueOf(top_row_ - 2));
  syncing_bar_ = false;
}

void TMPHexEditorEx::UpdateScrollBars() {
  const int64_t data_rows = geo_.RowCount() - 2;
  max_top_ = std::max<int64_t>(0, data_rows - VisibleRows());
  QScrollBar* v = verticalScrollBar();
  syncing_bar_ = true;
  v->setRange(0, static_cast<int>(std::min(max_top_, kBarSteps)));
  syncing_bar_ = false;
  v->setPageStep(static_cast<int>(
      max_top_ <= kBarSteps ? VisibleRows() : std::max<int64_t>(1, BarValueOf(VisibleRows()))));
  v->setSingleStep(1);
  QScrollBar* h = horizontalScrollBar();
  const int fixed = geo_.ColumnX(2);
  const int scroll_width = geo_.TotalWidth() - fixed;
  h->setRange(0, std::max(0, scroll_width - (viewport()->width() - fixed)));
  h->setPageStep(std::max(1, viewport()->width() - fixed));
  h->setSingleStep(char_width_);
  top_row_ = 2 + std::clamp<int64_t>(top_row_ - 2, 0, max_top_);
  SyncBar();
  left_px_ = h->value();
}

void TMPHexEditorEx::scrollContentsBy(int, int) {
  if (!syncing_bar_) {
    top_row_ = 2 + TopOffsetOf(verticalScrollBar()->value());
  }
  left_px_ = horizontalScrollBar()->value();
  viewport()->update();
  emit topLeftChanged();
}

void TMPHexEditorEx::SetTopRow(int64_t row) {
  const int64_t top = 2 + std::clamp<int64_t>(row - 2, 0, max_top_);
  if (top == top_row_) {
    return;
  }
  top_row_ = top;
  SyncBar();
  viewport()->update();
  emit topLeftChanged();
}

void TMPHexEditorEx::ScrollToCaret() {
  const Cell cell = geo_.CellOfPosition(model_.Caret().position, model_.Caret().in_char_field);
  if (cell.row < top_row_) {
    SetTopRow(cell.row);
  } else if (cell.row >= top_row_ + VisibleRows()) {
    SetTopRow(cell.row - VisibleRows() + 1);
  }
}

void TMPHexEditorEx::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (S().auto_bytes_per_row) {
    ApplyAutoBytesPerRow();
  }
  UpdateScrollBars();
}

void TMPHexEditorEx::ApplyAutoBytesPerRow() {
  const int free = viewport()->width() - geo_.ColumnWidth(0) - geo_.ColumnWidth(1) - 8;
  try {
    model_.SetBytesPerRow(hex::AutoBytesPerRow(free, geo_.Input()));
  } catch (const EMPHexEditor&) {
    // A width the current mode cannot take keeps the old one.
  }
}

void TMPHexEditorEx::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    // A font set on the widget itself is the published font too, so that a later change of
    // the published colour or style does not bring back an older font.
    if (font_props_->Font() != font()) {
      font_props_->SetFont(font());
    }
    RecalcLayout();
  }
}

QRect TMPHexEditorEx::CellRect(int column, int64_t row) const {
  int x = geo_.ColumnX(column);
  if (column >= 2) {
    x -= left_px_;
  }
  int y = 0;
  if (row >= 2) {
    const int64_t dy = geo_.FixedHeight() + (row - top_row_) * row_height_;
    y = static_cast<int>(std::clamp<int64_t>(dy, INT_MIN / 2, INT_MAX / 2));
  }
  return QRect(x, y, geo_.ColumnWidth(column), geo_.RowHeight(row));
}

bool TMPHexEditorEx::CellAt(const QPoint& point, Cell& cell) const {
  const int fixed = geo_.ColumnX(2);
  const int column =
      point.x() < fixed ? geo_.ColumnAt(point.x()) : geo_.ColumnAt(point.x() + left_px_);
  if (column < 0) {
    return false;
  }
  const int fixed_h = geo_.FixedHeight();
  const int64_t row = point.y() < fixed_h ? 0 : top_row_ + (point.y() - fixed_h) / row_height_;
  if (row >= geo_.RowCount()) {
    return false;
  }
  cell = {column, row};
  return true;
}

// ---------------------------------------------------------------- selection notices, caret

void TMPHexEditorEx::OnModelSelectionChanged() {
  if (++selection_changes_ == 1) {
    QMetaObject::invokeMethod(this, &TMPHexEditorEx::DeliverSelectionChanged, Qt::QueuedConnection);
  }
  ScrollToCaret();
  caret_on_ = true;
  viewport()->update();
}

void TMPHexEditorEx::DeliverSelectionChanged() {
  selection_changes_ = 0;
  emit selectionChanged();
}

void TMPHexEditorEx::RestartCaret() {
  if (hasFocus()) {
    caret_on_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash > 0) {
      caret_timer_.start(flash / 2, this);
    }
  }
  viewport()->update();
}

void TMPHexEditorEx::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartCaret();
}

void TMPHexEditorEx::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  caret_timer_.stop();
  caret_on_ = false;
  viewport()->update();
}

void TMPHexEditorEx::timerEvent(QTimerEvent* event) {
  if (event->timerId() == scroll_timer_.timerId()) {
    AutoScroll();
    return;
  }
  if (event->timerId() == caret_timer_.timerId()) {
    caret_on_ = !caret_on_;
    const CaretState& caret = model_.Caret();
    Cell cell = geo_.CellOfPosition(caret.position, caret.in_char_field);
    viewport()->update(CellRect(cell.column + caret.digit, cell.row));
    return;
  }
  QAbstractScrollArea::timerEvent(event);
}

// ---------------------------------------------------------------- keys and mouse

namespace {

// Ctrl+Shift+digit arrives as the shifted symbol on many layouts.
int DigitOfKey(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    return key - Qt::Key_0;
  }
  static const int kShifted[10] = {Qt::Key_ParenRight,  Qt::Key_Exclam,    Qt::Key_At,
                                   Qt::Key_NumberSign,  Qt::Key_Dollar,    Qt::Key_Percent,
                                   Qt::Key_AsciiCircum, Qt::Key_Ampersand, Qt::Key_Asterisk,
                                   Qt::Key_ParenLeft};
  for (int i = 0; i < 10; ++i) {
    if (key == kShifted[i]) {
      return i;
    }
  }
  return -1;
}

// The keys that move the caret, the same with or without Ctrl and Shift.
bool CaretKeyOf(int qt_key, HexKey& key) {
  static const std::pair<int, HexKey> kCaretKeys[] = {
      {Qt::Key_Left, HexKey::Left},     {Qt::Key_Right, HexKey::Right},
      {Qt::Key_Up, HexKey::Up},         {Qt::Key_Down, HexKey::Down},
      {Qt::Key_PageUp, HexKey::PageUp}, {Qt::Key_PageDown, HexKey::PageDown},
      {Qt::Key_Home, HexKey::Home},     {Qt::Key_End, HexKey::End}};
  for (const auto& [qt, hex] : kCaretKeys) {
    if (qt == qt_key) {
      key = hex;
      return true;
    }
  }
  return false;
}

}  // namespace

bool TMPHexEditorEx::focusNextPrevChild(bool next) {
  // Tab switches the field while the control wants tabs.
  return S().want_tabs ? false : QAbstractScrollArea::focusNextPrevChild(next);
}

bool TMPHexEditorEx::ClipboardKey(QKeyEvent* event, bool shift, bool ctrl) {
  try {
    if (event->matches(QKeySequence::Copy) || (ctrl && event->key() == Qt::Key_Insert)) {
      CopyToClipboard();
      return true;
    }
    if (event->matches(QKeySequence::Cut) || (shift && event->key() == Qt::Key_Delete)) {
      CutToClipboard();
      return true;
    }
    if (event->matches(QKeySequence::Paste) || (shift && event->key() == Qt::Key_Insert)) {
      PasteFromClipboard();
      return true;
    }
  } catch (const std::exception& e) {
    ShowError(e);
    return true;
  }
  return false;
}

void TMPHexEditorEx::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (ClipboardKey(event, shift, ctrl)) {
    return;
  }
  HexKey key = HexKey::Left;
  int bookmark = 0;
  bool known = true;
  if (!CaretKeyOf(event->key(), key)) {
    switch (event->key()) {
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        if (!S().want_tabs) {
          QAbstractScrollArea::keyPressEvent(event);
          return;
        }
        key = event->key() == Qt::Key_Tab ? HexKey::Tab : HexKey::BackTab;
        break;
      case Qt::Key_T:
        key = HexKey::ToggleField;
        known = ctrl;
        break;
      case Qt::Key_Insert:
        key = HexKey::Insert;
        break;
      case Qt::Key_Backspace:
        key = HexKey::Backspace;
        break;
      case Qt::Key_Delete:
        key = HexKey::Delete;
        break;
      case Qt::Key_A:
        key = HexKey::SelectAll;
        known = ctrl;
        break;
      case Qt::Key_Z:
        key = shift ? HexKey::Redo : HexKey::Undo;
        known = ctrl;
        break;
      case Qt::Key_Shift:
        model_.SetSelecting(true);
        return;
      default:
        bookmark = DigitOfKey(event->key());
        key = HexKey::Bookmark0;
        known = ctrl && bookmark >= 0;
        break;
    }
  }
  const QString text = event->text();
  if (!known && (ctrl || text.isEmpty() || text.at(0).unicode() < 32)) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  // A refused change (Ctrl+Delete with NoSizeChange, a buffer at its limit) is reported here.
  try {
    if (known) {
      // The caret's move may already have scrolled; only a top row the key itself asks for
      // (page keys) is applied, and the caret stays in view either way.
      const int64_t top_before = top_row_;
      int64_t top = top_before;
      model_.KeyDown(key, shift, ctrl, VisibleRows(), top, bookmark);
      if (top != top_before) {
        SetTopRow(top);
      }
      ScrollToCaret();
    } else {
      for (QChar c : text) {
        model_.KeyPress(c.unicode());
      }
    }
  } catch (const std::exception& e) {
    ShowError(e);
  }
  caret_on_ = true;
}

void TMPHexEditorEx::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift && !mouse_selecting_) {
    model_.SetSelecting(false);
  }
  QAbstractScrollArea::keyReleaseEvent(event);
}

bool TMPHexEditorEx::CaretAt(const QPoint& point, CaretState& caret) const {
  Cell cell;
  if (!CellAt(point, cell) || cell.row < 2 || cell.column < 2 || cell.column == geo_.GapColumn()) {
    return false;
  }
  const bool char_field = geo_.IsCharColumn(cell.column);
  int column = cell.column;
  int64_t row = cell.row;
  if (S().insert_mode && point.x() >= CellRect(column, row).left() + char_width_ / 2) {
    // Between bytes: the right half of a cell means the place after it.
    const bool last_of_field = column == geo_.LastHexColumn() || column == geo_.ColumnCount() - 1;
    if (last_of_field) {
      column = char_field ? geo_.FirstCharColumn() : 2;
      ++row;
    } else {
      ++column;
    }
  }
  caret.in_char_field = char_field;
  caret.position = geo_.PositionOfCell(column, row);
  caret.digit = char_field ? 0 : (column - 2) % 2;
  return true;
}

void TMPHexEditorEx::UpdateMouseCursor(const QPoint& point) {
  Cell cell;
  bool arrow = false;
  if (CellAt(point, cell)) {
    arrow = cell.row < 2 || cell.column < 2 ||
            (cell.column != geo_.GapColumn() &&
             model_.IsSelected(geo_.PositionOfCell(cell.column, cell.row)));
  }
  viewport()->setCursor(arrow ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void TMPHexEditorEx::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint point = event->position().toPoint();
  CaretState caret;
  if (event->button() != Qt::LeftButton || !CaretAt(point, caret)) {
    return;
  }
  pressed_in_selection_ = model_.IsSelected(caret.position) && caret.position < model_.DataSize();
  press_point_ = point;
  if (pressed_in_selection_) {
    return;
  }
  model_.SetSelecting(false);
  model_.MoveCaretTo(caret);
  model_.SetSelecting(true);
  mouse_selecting_ = true;
}

void TMPHexEditorEx::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if ((event->buttons() & Qt::LeftButton) && pressed_in_selection_ && S().ole_drag_drop) {
    const QPoint moved = point - press_point_;
    const int threshold = QApplication::startDragDistance();
    if (std::abs(moved.x()) >= threshold || std::abs(moved.y()) >= threshold) {
      pressed_in_selection_ = false;
      StartDrag();
    }
    return;
  }
  if (!(event->buttons() & Qt::LeftButton) || !mouse_selecting_) {
    UpdateMouseCursor(point);
    return;
  }
  drag_point_ = point;
  const int fixed_h = geo_.FixedHeight();
  if (point.y() < fixed_h || point.y() >= viewport()->height()) {
    if (!scroll_timer_.isActive()) {
      scroll_timer_.start(50, this);
    }
  } else {
    scroll_timer_.stop();
  }
  CaretState caret;
  if (CaretAt(point, caret)) {
    model_.MoveCaretTo(caret);
  }
}

void TMPHexEditorEx::AutoScroll() {
  if (!mouse_selecting_) {
    scroll_timer_.stop();
    return;
  }
  const bool up = drag_point_.y() < geo_.FixedHeight();
  SetTopRow(top_row_ + (up ? -1 : 1));
  const int y = up ? geo_.FixedHeight() : viewport()->height() - 1;
  CaretState caret;
  if (CaretAt(QPoint(drag_point_.x(), y), caret)) {
    model_.MoveCaretTo(caret);
  }
}

void TMPHexEditorEx::mouseReleaseEvent(QMouseEvent* event) {
  scroll_timer_.stop();
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::LeftButton && pressed_in_selection_) {
    // A press in the selection that did not become a drag: the selection goes.
    CaretState caret;
    if (CaretAt(point, caret)) {
      model_.SetSelecting(false);
      model_.ClearSelection();
      model_.MoveCaretTo(caret);
    }
  }
  pressed_in_selection_ = false;
  if (mouse_selecting_) {
    mouse_selecting_ = false;
    model_.SetSelecting(false);
  }
  UpdateMouseCursor(point);
}

void TMPHexEditorEx::mouseDoubleClickEvent(QMouseEvent* event) {
  CaretState caret;
  if (event->button() != Qt::LeftButton || !CaretAt(event->position().toPoint(), caret) ||
      caret.position >= model_.DataSize()) {
    return;
  }
  mouse_selecting_ = false;
  model_.SetSelecting(false);
  model_.MoveCaret(caret);
  model_.SetSelection(caret.position, caret.position);
}

void TMPHexEditorEx::wheelEvent(QWheelEvent* event) {
  if (event->angleDelta().y() == 0) {
    return;
  }
  // Fine wheels and touchpads send parts of a notch; they add up to whole ones.
  wheel_delta_ += event->angleDelta().y();
  const int steps = wheel_delta_ / 120;
  wheel_delta_ %= 120;
  if (steps == 0) {
    event->accept();
    return;
  }
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (ctrl && S().zoom_on_wheel) {
    if (shift) {
      // A font sized in pixels counts from the points it comes out at; a fixed start could
      // make a step down larger.
      QFont zoomed = font();
      const int points = zoomed.pointSize() > 0 ? zoomed.pointSize() : fontInfo().pointSize();
      zoomed.setPointSize(std::max(kSmallestFontPoints, points + (steps > 0 ? 1 : -1)));
      font_props_->SetFont(zoomed);
    } else {
      try {
        model_.SetBytesPerRow(std::clamp(S().bytes_per_row + (steps > 0 ? 1 : -1), 1, 256));
      } catch (const EMPHexEditor&) {
        // A width the current mode refuses (an odd one for double bytes) keeps the old one.
      }
    }
    event->accept();
    return;
  }
  const int64_t page = std::max(1, VisibleRows() - 1);
  SetTopRow(top_row_ - (steps > 0 ? page : -page));
  event->accept();
}

void TMPHexEditorEx::contextMenuEvent(QContextMenuEvent* event) {
  Cell cell;
  if (offset_popup_menu_ != nullptr && CellAt(event->pos(), cell) &&
      (cell.row < 2 || cell.column < 2)) {
    offset_popup_menu_->popup(event->globalPos());
    event->accept();
    return;
  }
  QAbstractScrollArea::contextMenuEvent(event);
}

// ---------------------------------------------------------------- painting

namespace {

QColor Inverted(const QColor& c) {
  return QColor::fromRgb(c.rgb() ^ 0xFFFFFF);
}

QColor Grey(const QColor& c) {
  const int g = (74 * c.red() + 146 * c.green() + 36 * c.blue()) / 256;
  return QColor(g, g, g);
}

}  // namespace

struct TMPHexEditorEx::PaintState {
  bool focused = false;
  bool show_selection = true;
  bool gray = false;
  int fixed_w = 0;  // columns 0 and 1
  int fixed_h = 0;  // the ruler
  int first_col = 2;
  int last_col = 2;
  int64_t caret_row = 2;
  int caret_col = 2;
  QColor font_color;
  bool draw_cell_connected = false;
};

// What one data cell shows: its text and the colours around it.
struct TMPHexEditorEx::CellLook {
  QString text;
  QColor text_color;
  QColor text_bg;
  QColor cell_bg;
};

void TMPHexEditorEx::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  p.setFont(font());
  const QRect dirty = event->rect();
  const HexSettings& s = S();

  PaintState ps;
  ps.focused = hasFocus();
  ps.show_selection = !(s.hide_selection && !ps.focused);
  ps.gray = !ps.focused && s.gray_selection_if_not_focused;
  ps.fixed_w = geo_.ColumnX(2);
  ps.fixed_h = geo_.FixedHeight();
  ps.font_color = font_props_->Color();
  ps.draw_cell_connected = isSignalConnected(QMetaMethod::fromSignal(&TMPHexEditorEx::drawCell));
  const CaretState& caret = model_.Caret();
  const Cell caret_cell = geo_.CellOfPosition(caret.position, caret.in_char_field);
  ps.caret_row = caret_cell.row;
  ps.caret_col = caret_cell.column + caret.digit;
  ps.first_col = std::max(2, geo_.ColumnAt(ps.fixed_w + left_px_));
  const int right_col = geo_.ColumnAt(viewport()->width() - 1 + left_px_);
  ps.last_col = right_col < 0 ? geo_.ColumnCount() - 1 : right_col;

  // Data rows that the dirty rectangle touches, and nothing else.
  const int64_t last_row = geo_.RowCount() - 1;
  const int64_t first = top_row_ + std::max(0, dirty.top() - ps.fixed_h) / std::max(1, row_height_);
  const int64_t last = std::min<int64_t>(
      last_row, top_row_ + std::max(0, dirty.bottom() - ps.fixed_h) / std::max(1, row_height_));
  ReadPaintedRows(first, last);
  TellSourceChange();
  p.save();
  p.setClipRect(QRect(0, ps.fixed_h, viewport()->width(), viewport()->height() - ps.fixed_h));
  for (int64_t row = first; row <= last; ++row) {
    PaintDataRow(p, ps, row);
  }
  // Below the last row: the control colour, the offset background under the offset column.
  const int bottom = CellRect(0, last_row).bottom() + 1;
  if (bottom < viewport()->height()) {
    p.fillRect(QRect(0, bottom, geo_.ColumnWidth(0), viewport()->height() - bottom),
               colors_->OffsetBackground());
    p.fillRect(
        QRect(geo_.ColumnWidth(0), bottom, viewport()->width(), viewport()->height() - bottom),
        colors_->Background());
  }
  p.restore();
  if (ps.fixed_h > 0 && dirty.top() < ps.fixed_h) {
    PaintRulerRow(p, ps);
  }
  PaintCaretFrames(p, ps);
  PaintGutterEdges(p, ps);
  PaintCaret(p);
}

void TMPHexEditorEx::ReadPaintedRows(int64_t first_row, int64_t last_row) {
  const int64_t per_row = S().bytes_per_row;
  const int64_t size = model_.DataSize();
  // One byte more for the second half of a double-byte character at the end of the last row.
  painted_from_ = std::clamp<int64_t>((first_row - 2) * per_row, 0, size);
  const int64_t to = std::clamp<int64_t>((last_row - 1) * per_row + 1, painted_from_, size);
  painted_.resize(static_cast<size_t>(to - painted_from_));
  try {
    model_.Read(painted_from_, painted_);
  } catch (const EMPHexEditor&) {
    // A file the system stopped reading: the rows show empty rather than stale bytes.
    painted_.clear();
  }
}

void TMPHexEditorEx::TellSourceChange() {
  if (model_.SourceChanged() && !source_change_told_) {
    source_change_told_ = true;
    emit sourceChanged();
  }
}

int TMPHexEditorEx::PaintedByte(int64_t position) const {
  const int64_t at = position - painted_from_;
  return at >= 0 && at < static_cast<int64_t>(painted_.size()) ? painted_[static_cast<size_t>(at)]
                                                               : -1;
}

void TMPHexEditorEx::PaintRulerRow(QPainter& p, const PaintState& ps) {
  const int width = viewport()->width();
  p.fillRect(QRect(0, 0, width, ps.fixed_h), colors_->OffsetBackground());
  p.save();
  p.setClipRect(QRect(ps.fixed_w, 0, width - ps.fixed_w, ps.fixed_h));
  const int gap = geo_.GapColumn();
  for (int c = ps.first_col; c <= ps.last_col; ++c) {
    QString text;
    if (geo_.IsHexColumn(c)) {
      const auto i = static_cast<size_t>(c - 2);
      if (i < hex_ruler_.size()) {
        text = QChar(hex_ruler_[i]);
      }
    } else if (c == gap) {
      text = QStringLiteral("  ");
    } else {
      const auto i = static_cast<size_t>(c - geo_.FirstCharColumn());
      if (i < char_ruler_.size()) {
        text = QChar(char_ruler_[i]);
      }
    }
    const QRect rect = CellRect(c, 0);
    const bool current = c == ps.caret_col;
    if (current) {
      p.fillRect(rect, colors_->CurrentOffsetBackground());
    }
    p.setPen(current ? colors_->CurrentOffset() : colors_->Offset());
    p.drawText(QRect(rect.left(), rect.top() + 1, rect.width(), row_height_),
               Qt::AlignLeft | Qt::AlignVCenter, text);
  }
  p.restore();
}

void TMPHexEditorEx::PaintDataRow(QPainter& p, const PaintState& ps, int64_t row) {
  PaintOffsetCell(p, ps, row, CellRect(0, row));
  const QRect spacer = CellRect(1, row);
  p.fillRect(spacer, colors_->Background());
  p.save();
  p.setClipRect(QRect(ps.fixed_w, ps.fixed_h, viewport()->width() - ps.fixed_w,
                      viewport()->height() - ps.fixed_h));
  for (int c = ps.first_col; c <= ps.last_col; ++c) {
    PaintDataCell(p, ps, c, row, CellRect(c, row));
  }
  const QRect last = CellRect(geo_.ColumnCount() - 1, row);
  if (last.right() + 1 < viewport()->width()) {
    p.fillRect(QRect(last.right() + 1, last.top(), viewport()->width(), last.height()),
               colors_->Background());
  }
  p.restore();
}

void TMPHexEditorEx::PaintOffsetCell(QPainter& p, const PaintState& ps, int64_t row,
                                     const QRect& rect) {
  const bool current = row == ps.caret_row;
  p.fillRect(rect, current ? colors_->CurrentOffsetBackground() : colors_->OffsetBackground());
  const std::string text = model_.OffsetColumnText((row - 2) * S().bytes_per_row);
  p.setPen(current ? colors_->CurrentOffset() : colors_->Offset());
  p.drawText(rect.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
             QString::fromStdString(text));
  const int64_t low = (row - 2) * S().bytes_per_row;
  const int64_t high = low + S().bytes_per_row;
  const auto& bookmarks = model_.Bookmarks();
  for (int k = 0; k < 10; ++k) {
    const Bookmark& mark = bookmarks[static_cast<size_t>(k)];
    if (mark.position >= low && mark.position < high) {
      const int picture = mark.in_char_field ? k + 10 : k;
      p.drawImage(QPoint(rect.left() + 3, rect.top() + (rect.height() - 10) / 2), bookmark_masked_,
                  QRect(picture * 10, 0, 10, 10));
    }
  }
}

void TMPHexEditorEx::PaintGapCell(QPainter& p, const QRect& rect) {
  p.fillRect(rect, colors_->Background());
  if (S().draw_grid_lines) {
    p.setPen(colors_->Grid());
    p.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom());
    p.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
  }
}

void TMPHexEditorEx::LookOfByte(const PaintState& ps, int column, int64_t position, bool char_field,
                                bool edge, bool active, CellLook& look) const {
  const HexSettings& s = S();
  const int byte = PaintedByte(position);
  if (byte < 0) {
    return;
  }
  if (char_field && char_encoding_ != TextEncoding::kControl && !s.unicode_chars) {
    look.text = CharCellText(position);
  } else if (char_field) {
    look.text = QChar(model_.DisplayCharOf(static_cast<uint8_t>(byte), PaintedByte(position + 1)));
  } else {
    const int digit = (column - 2) % 2;
    const bool high = (digit == 0) != s.swap_nibbles;
    look.text = QLatin1Char(model_.HexDigitChar(high ? byte >> 4 : byte & 15));
  }
  const bool pair = char_field && s.unicode_chars;
  const bool modified = model_.IsModified(position) || (pair && model_.IsModified(position + 1));
  if (modified) {
    look.text_color = colors_->ChangedText();
    look.text_bg = colors_->ChangedBackground();
  } else {
    look.text_bg = active ? colors_->ActiveFieldBackground() : colors_->Background();
    if (char_field) {
      look.text_color = ps.font_color;
    } else {
      look.text_color = ((column - 2) / (2 * s.bytes_per_column)) % 2 == 0 ? colors_->OddColumn()
                                                                           : colors_->EvenColumn();
    }
  }
  if (ps.show_selection && model_.IsSelected(position)) {
    look.text_color = Inverted(look.text_color);
    look.text_bg = Inverted(look.text_bg);
    const int64_t sel_high = model_.SelectionHigh();
    const bool last_byte = sel_high == position || (pair && sel_high == position + 1);
    if (!edge && !last_byte) {
      look.cell_bg = Inverted(look.cell_bg);
    }
    if (ps.gray) {
      look.text_color = Grey(look.text_color);
      look.text_bg = Grey(look.text_bg);
      if (!edge && !last_byte) {
        look.cell_bg = Grey(look.cell_bg);
      }
    }
  }
}

void TMPHexEditorEx::PaintDataCell(QPainter& p, const PaintState& ps, int column, int64_t row,
                                   const QRect& rect) {
  const HexSettings& s = S();
  const int gap = geo_.GapColumn();
  const int last_column = geo_.ColumnCount() - 1;
  if (column == gap) {
    PaintGapCell(p, rect);
    return;
  }
  const bool char_field = column > gap;
  const bool edge = column == geo_.LastHexColumn() || column == last_column;
  const bool active = char_field == model_.Caret().in_char_field;
  CellLook look;
  look.cell_bg = active && !edge ? colors_->ActiveFieldBackground() : colors_->Background();
  const int64_t p0 = geo_.PositionOfCell(column, row);
  if (p0 < model_.DataSize()) {
    LookOfByte(ps, column, p0, char_field, edge, active, look);
  }
  if (ps.draw_cell_connected) {
    bool default_draw = true;
    emit drawCell(&p, column, row, &look.text, rect, &default_draw);
    if (!default_draw) {
      return;
    }
  }
  p.fillRect(rect, look.cell_bg);
  if (!look.text.isEmpty()) {
    const QRect text_rect(rect.left(), rect.top(), char_width_, rect.height());
    p.fillRect(text_rect, look.text_bg);
    p.setPen(look.text_color);
    if (char_field && char_encoding_ != TextEncoding::kControl && !s.unicode_chars) {
      PaintEncodedChar(p, text_rect, p0, row);
    } else {
      DrawCellText(p, text_rect, look.text, char_field && s.unicode_chars);
    }
  }
  if (drop_cell_.column == column && drop_cell_.row == row) {
    p.fillRect(QRect(rect.left(), rect.top(), 2, rect.height()), look.text_color);
  }
  if (s.draw_grid_lines) {
    p.setPen(colors_->Grid());
    p.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    if (column == last_column) {
      p.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    }
  }
}

QFont FittingFont(const QFont& font, const QString& text, int width) {
  if (QFontMetrics(font).horizontalAdvance(text) <= width) {
    return font;
  }
  QFont small = font;
  // The view's font is usually sized in pixels; stepping in points would first make it larger.
  const bool pixels = font.pixelSize() > 0;
  const int smallest = pixels ? kSmallestFontPixels : kSmallestFontPoints;
  int size = pixels ? font.pixelSize() : std::max(font.pointSize(), smallest);
  while (size > smallest) {
    --size;
    if (pixels) {
      small.setPixelSize(size);
    } else {
      small.setPointSize(size);
    }
    if (QFontMetrics(small).horizontalAdvance(text) <= width) {
      break;
    }
  }
  return small;
}

void TMPHexEditorEx::DrawCellText(QPainter& p, const QRect& text_rect, const QString& text,
                                  bool shrink) {
  const QFontMetrics metrics = p.fontMetrics();
  const int top = text_rect.top() + 1 + metrics.ascent();
  QRect clip = text_rect;
  p.save();
  if (shrink && metrics.horizontalAdvance(text) > text_rect.width() + 1) {
    // A wide character (CJK in unicode mode) is drawn smaller until it fits its cell.
    p.setFont(FittingFont(p.font(), text, text_rect.width() + 1));
    clip.adjust(0, 0, 1, 0);
  }
  p.setClipRect(clip, Qt::IntersectClip);
  p.drawText(QPoint(text_rect.left(), top), text);
  p.restore();
}

void TMPHexEditorEx::DrawFrame(QPainter& p, const QRect& rect, const QColor& color,
                               bool focus_style) {
  p.save();
  p.setClipRect(
      QRect(geo_.ColumnX(2), geo_.FixedHeight(), viewport()->width(), viewport()->height()));
  p.setBrush(Qt::NoBrush);
  if (focus_style) {
    // A dotted rectangle that stays visible on any background.
    QPen pen(Qt::black, 1, Qt::DotLine);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    pen.setColor(Qt::white);
    p.setPen(pen);
  } else {
    p.setPen(color);
  }
  p.drawRect(rect.adjusted(0, 0, -1, -1));
  p.restore();
}

void TMPHexEditorEx::PaintCaretFrames(QPainter& p, const PaintState& ps) {
  const HexSettings& s = S();
  const CaretState& caret = model_.Caret();
  if (ps.focused) {
    // The caret's twin: its byte in the other field.
    const Cell cell = geo_.CellOfPosition(caret.position, caret.in_char_field);
    QRect rect;
    if (caret.in_char_field) {
      const int first = geo_.TwinColumn(cell.column);
      const int count = s.unicode_chars ? 4 : 2;
      rect = CellRect(first, cell.row).united(CellRect(first + count - 1, cell.row));
      rect.setWidth(geo_.ColumnX(first + count - 1) - geo_.ColumnX(first) + char_width_);
    } else {
      const QRect twin = CellRect(geo_.TwinColumn(cell.column), cell.row);
      rect = QRect(twin.left(), twin.top(), char_width_, twin.height());
    }
    DrawFrame(p, rect, colors_->CursorFrame(), s.focus_frame);
  } else if (s.show_position_if_not_focused) {
    const QRect cell = CellRect(ps.caret_col, ps.caret_row);
    DrawFrame(p, QRect(cell.left(), cell.top(), char_width_, cell.height()),
              colors_->NonFocusCursorFrame(), s.focus_frame);
  }
}

void TMPHexEditorEx::PaintCaret(QPainter& p) {
  if (!hasFocus() || !caret_on_) {
    return;
  }
  const CaretState& caret = model_.Caret();
  const Cell cell = geo_.CellOfPosition(caret.position, caret.in_char_field);
  const QRect rect = CellRect(cell.column + caret.digit, cell.row);
  const int height = row_height_ - 2;
  QRect shape(rect.left(), rect.top() + 1, char_width_, height);
  switch (EffectiveCaretKind()) {
    case hex::ckLeft:
      shape.setWidth(2);
      break;
    case hex::ckBottom:
      shape = QRect(rect.left(), rect.top() + 1 + height - 2, char_width_, 2);
      break;
    default:
      break;
  }
  p.save();
  p.setClipRect(
      QRect(geo_.ColumnX(2), geo_.FixedHeight(), viewport()->width(), viewport()->height()));
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.fillRect(shape, Qt::white);
  p.restore();
}

void TMPHexEditorEx::PaintGutterEdges(QPainter& p, const PaintState& ps) {
  const HexSettings& s = S();
  const int w0 = geo_.ColumnWidth(0);
  const int height = viewport()->height();
  const int width = viewport()->width();
  if (s.draw_gutter_3d) {
    const QPalette& palette = this->palette();
    p.setPen(palette.color(QPalette::Dark));
    p.drawLine(w0 - 2, 0, w0 - 2, height);
    if (ps.fixed_h > 0) {
      p.drawLine(0, ps.fixed_h - 2, width, ps.fixed_h - 2);
    }
    p.setPen(palette.color(QPalette::Light));
    p.drawLine(w0 - 1, 0, w0 - 1, height);
    if (ps.fixed_h > 0) {
      p.drawLine(0, ps.fixed_h - 1, width, ps.fixed_h - 1);
    }
  } else if (s.draw_grid_lines) {
    p.setPen(colors_->Grid());
    p.drawLine(w0 - 1, 0, w0 - 1, height);
    if (ps.fixed_h > 0) {
      p.drawLine(0, ps.fixed_h - 1, width, ps.fixed_h - 1);
    }
  }
}

}  // namespace qarvo::hex
