#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QListWidget;
class QMimeData;

namespace qarvo::hex {

// The control's own format: "MPTH", the version word 0x00010001 and the byte count, all
// little-endian, then the bytes. It keeps zero bytes and survives every text conversion.
inline constexpr char kOwnMime[] = "application/x-qarvo-hexeditor";
// A 32-bit count, then the bytes, as the registry editor exchanges binary values.
inline constexpr char kRegEditMime[] = "application/x-regedit-hexdata";
inline constexpr char kUriListMime[] = "text/uri-list";
inline constexpr char kTextMime[] = "text/plain";
inline constexpr char kUtf16Mime[] = "text/plain;charset=utf-16";
inline constexpr char kRtfMime[] = "text/rtf";
inline constexpr char kHtmlMime[] = "text/html";
inline constexpr char kBmpMime[] = "image/bmp";
inline constexpr char kTiffMime[] = "image/tiff";

QByteArray OwnBlock(const QByteArray& bytes);
// The bytes of an own block; nothing when the magic or the version word is wrong or the count
// passes the block's end.
std::optional<QByteArray> ParseOwnBlock(const QByteArray& block);

// The text the data object offers: two upper-case digits per byte (low digit first with
// `swap_nibbles`) with `as_hex_text`, else the bytes up to the first zero as Windows-1252.
QString ClipboardText(const QByteArray& bytes, bool as_hex_text, bool swap_nibbles);

// The outgoing data object over a copy of `bytes`: own block, text and the counted block, in
// that order.
QMimeData* MakeHexMimeData(const QByteArray& bytes, bool as_hex_text, bool swap_nibbles);

// The accepted formats that `data` offers, in order of preference; `other_formats` false
// leaves only the own block and the file list.
QStringList AcceptedFormats(const QMimeData* data, bool other_formats);
// The name a format is listed by in the format choice ("Text", "File List", ...).
QString FormatName(const QString& mime);

// What an import reads of one format.
struct ImportOptions {
  bool link = false;  // a file list dropped as a link: its names, not its contents
  bool unicode_big_endian = false;
  bool hex_text = false;  // a text is hex digits, turned into the bytes they spell
  bool swap_nibbles = false;
  int64_t limit = INT64_MAX;  // a file list whose files pass this in total is refused
};
// The bytes of format `mime` in `data`; nothing when it cannot be had. Throws EMPHexEditor
// when the files of a file list cannot be read or would pass `options.limit` (checked before
// any file is read).
std::optional<QByteArray> ImportBytes(const QMimeData* data, const QString& mime,
                                      const ImportOptions& options);

// "Select data format": the offered formats by name, OK and Cancel, and "Hex text" for the
// two text formats. The format chosen last is preselected for the rest of the run.
class TFormatSelDialog : public QDialog {
  Q_OBJECT

 public:
  TFormatSelDialog(const QStringList& formats, QWidget* parent = nullptr);

  QListWidget* lbFormats;
  QCheckBox* cbHexText;

  QString SelectedFormat() const;
  bool HexText() const;
  // Runs the dialog; false when it was cancelled. Remembers the choice.
  static bool Choose(QWidget* parent, const QStringList& formats, QString& format, bool& hex_text);

 private:
  void UpdateHexText();
  QStringList formats_;
};

}  // namespace qarvo::hex
