// The control's search, clipboard and drag and drop: everything that moves bytes between the
// control and the outside, over one data object (hex_mime.h).
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMimeData>

#include "hex/model/hex_error.h"
#include "hex/model/hex_error_text.h"
#include "hex/widget/hex_mime.h"
#include "hex/widget/mphexeditor.h"

namespace qarvo::hex {
namespace {

// The undo description of every change a drop makes.
constexpr char kDropped[] = "Data dropped";

const uint8_t* Bytes(const QByteArray& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.constData());
}

}  // namespace

// ---------------------------------------------------------------- search

namespace {
SearchSettings SettingsOf(const HexEditorModel& model) {
  SearchSettings settings;
  settings.translation = model.Translator();
  settings.unicode_chars = model.Settings().unicode_chars;
  settings.unicode_big_endian = model.Settings().unicode_big_endian;
  return settings;
}
}  // namespace

std::string TMPHexEditorEx::PrepareSearchData(const std::string& s, bool ignore_case,
                                              bool is_text) {
  return search_.PrepareSearchData(s, ignore_case, is_text, SettingsOf(model_));
}

std::string TMPHexEditorEx::PrepareSearchText(const QString& text, bool ignore_case) {
  return search_.PrepareSearchText(text.toStdString(), ignore_case, SettingsOf(model_));
}

int64_t TMPHexEditorEx::Find(const std::string& pattern, int64_t start, int64_t stop,
                             bool ignore_case) {
  BusyCursor busy;
  const int64_t found =
      search_.Find(StoreReader(), DataSize(), pattern, start, stop, ignore_case, SearchProgress());
  TellSourceChange();
  return found;
}

int64_t TMPHexEditorEx::FindBackward(const std::string& pattern, int64_t start, int64_t low,
                                     bool ignore_case) {
  BusyCursor busy;
  const int64_t found = search_.FindBackward(StoreReader(), DataSize(), pattern, start, low,
                                             ignore_case, SearchProgress());
  TellSourceChange();
  return found;
}

THexSearch::Reader TMPHexEditorEx::StoreReader() const {
  return [this](int64_t position, std::span<uint8_t> out) { model_.Read(position, out); };
}

THexSearch::Progress TMPHexEditorEx::SearchProgress() {
  if (!S().find_progress ||
      !isSignalConnected(QMetaMethod::fromSignal(&TMPHexEditorEx::progress))) {
    return {};
  }
  return [this](int percent) {
    bool cancel = false;  // a search is not cancelled from its progress line
    emit progress(pkFind, FileName(), percent, &cancel);
  };
}

bool TMPHexEditorEx::RefuseLargeTransfer() const {
  if (model_.SelectionCount() <= kMaxTransfer) {
    return false;
  }
  QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"),
                  QStringLiteral("选中的数据太多(%1 字节),不能复制或拖动。一次最多 %2 MB。")
                      .arg(model_.SelectionCount())
                      .arg(kMaxTransfer >> 20),
                  QMessageBox::Ok, window());
  box.exec();
  return true;
}

// ---------------------------------------------------------------- clipboard

bool TMPHexEditorEx::CanCopy() const {
  return DataSize() > 0 && model_.HasSelection();
}

QMimeData* TMPHexEditorEx::CreateDataObject() const {
  const int64_t low = model_.SelectionLow();
  const int64_t count = model_.SelectionCount();
  QByteArray bytes(static_cast<qsizetype>(count), '\0');
  model_.Read(low, std::span(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<size_t>(count)));
  return MakeHexMimeData(bytes, S().clipboard_as_hex_text, S().swap_nibbles);
}

void TMPHexEditorEx::CopyToClipboard() {
  if (!CanCopy()) {
    return;
  }
  if (RefuseLargeTransfer()) {
    return;
  }
  BusyCursor busy;
  QMimeData* copy = CreateDataObject();
  QApplication::clipboard()->setMimeData(copy);
  copied_ = copy;
}

void TMPHexEditorEx::ReleaseClipboard() {
  QClipboard* clipboard = QApplication::clipboard();
  if (copied_ != nullptr && clipboard->mimeData() == copied_ && !S().flush_clipboard_at_shutdown) {
    clipboard->clear();
  }
  copied_ = nullptr;
}

bool TMPHexEditorEx::CanCut() const {
  return CanCopy() && !S().read_only_view && !S().no_size_change;
}

void TMPHexEditorEx::CutToClipboard() {
  if (!CanCut() || RefuseLargeTransfer()) {
    return;
  }
  CopyToClipboard();
  model_.DeleteSelection("Cut to clipboard");
}

bool TMPHexEditorEx::Accepts(const QMimeData* offered) const {
  return !S().read_only_view &&
         !AcceptedFormats(offered, S().supports_other_clip_formats).isEmpty() &&
         !(S().no_size_change && DataSize() == 0);
}

bool TMPHexEditorEx::CanPaste() const {
  return Accepts(QApplication::clipboard()->mimeData());
}

std::optional<QByteArray> TMPHexEditorEx::ImportData(const QMimeData* source, bool link) {
  const QStringList offered = AcceptedFormats(source, S().supports_other_clip_formats);
  if (offered.isEmpty()) {
    return std::nullopt;
  }
  QString format = offered.front();
  ImportOptions options;
  if (format != kOwnMime && format != kUriListMime && offered.size() > 1 &&
      !TFormatSelDialog::Choose(this, offered, format, options.hex_text)) {
    return std::nullopt;
  }
  options.link = link;
  options.unicode_big_endian = S().unicode_big_endian;
  options.swap_nibbles = S().swap_nibbles;
  options.limit = kMaxInMemory;
  std::optional<QByteArray> bytes = ImportBytes(source, format, options);
  if (bytes) {
    bytes->truncate(bytes->size() - bytes->size() % std::max(1, S().bytes_per_unit));
  }
  if (!bytes || bytes->isEmpty()) {
    return std::nullopt;
  }
  return bytes;
}

void TMPHexEditorEx::PasteFromClipboard() {
  if (!CanPaste()) {
    return;
  }
  const std::optional<QByteArray> bytes = ImportData(QApplication::clipboard()->mimeData(), false);
  if (!bytes) {
    return;
  }
  if (!model_.HasSelection()) {
    const int64_t unit = std::max(1, S().bytes_per_unit);
    CaretState caret = model_.Caret();
    caret.position -= caret.position % unit;
    model_.MoveCaret(caret);
    if (S().no_size_change) {
      const int64_t from = model_.Caret().position;
      const int64_t last = std::min<int64_t>(DataSize() - 1, from + bytes->size() - 1);
      model_.SetSelection(from, last);
    }
  }
  model_.ReplaceSelection(Bytes(*bytes), bytes->size(), true, "Paste from clipboard");
}

// ---------------------------------------------------------------- drag and drop

void TMPHexEditorEx::StartDrag() {
  if (RefuseLargeTransfer()) {
    return;
  }
  auto* drag = new QDrag(this);
  drag->setMimeData(CreateDataObject());
  const Qt::DropActions allowed =
      S().read_only_view ? Qt::CopyAction : (Qt::CopyAction | Qt::MoveAction);
  dragging_out_ = true;
  dropped_inside_ = false;
  const Qt::DropAction done = drag->exec(allowed, Qt::CopyAction);
  dragging_out_ = false;
  if (done == Qt::MoveAction && !dropped_inside_ && model_.HasSelection()) {
    // The bytes went to another program: they leave this one (refused with NoSizeChange).
    try {
      model_.DeleteSelection();
    } catch (const std::exception& e) {
      ShowError(e);
    }
  }
  dropped_inside_ = false;
}

Qt::DropAction TMPHexEditorEx::DropActionFor(const QDropEvent* event) const {
  const QStringList offered = AcceptedFormats(event->mimeData(), S().supports_other_clip_formats);
  if (!S().ole_drag_drop || !Accepts(event->mimeData())) {
    return Qt::IgnoreAction;
  }
  const Qt::KeyboardModifiers keys = event->modifiers();
  Qt::DropAction action;
  if (event->source() == this && dragging_out_) {
    action = (S().read_only_view || (keys & Qt::ControlModifier)) ? Qt::CopyAction : Qt::MoveAction;
  } else {
    action = ((keys & Qt::ShiftModifier) && !S().read_only_view) ? Qt::MoveAction : Qt::CopyAction;
  }
  if (action == Qt::MoveAction && offered.front() == kUriListMime) {
    action = Qt::LinkAction;
  }
  return action;
}

void TMPHexEditorEx::MoveSelection(int64_t position) {
  const int64_t low = model_.SelectionLow();
  const int64_t high = model_.SelectionHigh();
  if (low < 0 || (position >= low && position <= high + 1)) {
    return;
  }
  QByteArray bytes(static_cast<qsizetype>(high - low + 1), '\0');
  model_.Read(
      low, std::span(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<size_t>(bytes.size())));
  const bool keep = S().no_size_change;
  model_.SetNoSizeChange(false);
  try {
    model_.DeleteSelection(kDropped);
    if (position > high) {
      position -= bytes.size();
    }
    if (position >= DataSize()) {
      model_.AppendBuffer(Bytes(bytes), bytes.size(), true, kDropped);
    } else {
      model_.InsertBuffer(Bytes(bytes), bytes.size(), true, position, kDropped);
    }
    model_.GroupUndo(2, "Data moved");
  } catch (...) {
    model_.SetNoSizeChange(keep);
    throw;
  }
  model_.SetNoSizeChange(keep);
}

void TMPHexEditorEx::SetDropCell(const Cell& cell) {
  if (drop_cell_ == cell) {
    return;
  }
  drop_cell_ = cell;
  viewport()->update();
}

void TMPHexEditorEx::dragEnterEvent(QDragEnterEvent* event) {
  dragMoveEvent(event);
}

void TMPHexEditorEx::dragMoveEvent(QDragMoveEvent* event) {
  const Qt::DropAction action = DropActionFor(event);
  Cell cell;
  const bool on_data = CellAt(event->position().toPoint(), cell) && cell.row >= 2 &&
                       cell.column >= 2 && cell.column != geo_.GapColumn();
  if (action == Qt::IgnoreAction || !on_data) {
    SetDropCell({-1, -1});
    event->ignore();
    return;
  }
  SetDropCell(cell);
  event->setDropAction(action);
  event->accept();
}

void TMPHexEditorEx::dragLeaveEvent(QDragLeaveEvent* event) {
  SetDropCell({-1, -1});
  event->accept();
}

void TMPHexEditorEx::dropEvent(QDropEvent* event) {
  const Cell cell = drop_cell_;
  SetDropCell({-1, -1});
  const Qt::DropAction action = DropActionFor(event);
  if (action == Qt::IgnoreAction || cell.row < 0) {
    event->ignore();
    return;
  }
  const int64_t e = geo_.PositionOfCell(cell.column, cell.row);
  try {
    if (event->source() == this && dragging_out_ && action == Qt::MoveAction) {
      MoveSelection(e);
      dropped_inside_ = true;
    } else {
      const std::optional<QByteArray> bytes =
          ImportData(event->mimeData(), action == Qt::LinkAction);
      if (!bytes) {
        event->ignore();
        return;
      }
      if (e >= DataSize()) {
        if (S().no_size_change) {
          event->ignore();
          return;
        }
        model_.AppendBuffer(Bytes(*bytes), bytes->size(), true, kDropped);
      } else if (model_.IsSelected(e)) {
        model_.ReplaceSelection(Bytes(*bytes), bytes->size(), true, kDropped);
      } else if (S().no_size_change) {
        model_.SetSelection(e, std::min<int64_t>(DataSize() - 1, e + bytes->size() - 1));
        model_.ReplaceSelection(Bytes(*bytes), bytes->size(), true, kDropped);
      } else {
        model_.InsertBuffer(Bytes(*bytes), bytes->size(), true, e, kDropped);
      }
      if (event->source() == this) {
        dropped_inside_ = true;
      }
    }
  } catch (const std::exception& error) {
    ShowError(error);
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void TMPHexEditorEx::ShowError(const std::exception& e) {
  QMessageBox::critical(window(), QStringLiteral("错误"),
                        QString::fromStdString(UserErrorText(e.what())));
}

}  // namespace qarvo::hex
