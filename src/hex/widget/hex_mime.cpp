#include "hex/widget/hex_mime.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>
#include <utility>

#include "hex/model/find.h"
#include "hex/model/hex_error.h"
#include "hex/model/translation.h"

namespace qarvo::hex {
namespace {

constexpr char kMagic[4] = {'M', 'P', 'T', 'H'};
constexpr uint32_t kVersion = 0x00010001;

void PutU32(QByteArray& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

uint32_t GetU32(const QByteArray& in, qsizetype at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<uint8_t>(in[at + i]);
  }
  return value;
}

// A text as bytes: Windows-1252 when every character has a byte there, else UTF-8.
QByteArray TextBytes(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string bytes = TextToSearchBytes(std::string_view(utf8.constData(), utf8.size()));
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QByteArray UpToZero(const QByteArray& bytes) {
  const qsizetype zero = bytes.indexOf('\0');
  return zero < 0 ? bytes : bytes.left(zero);
}

QByteArray ReadFileList(const QList<QUrl>& urls, const ImportOptions& options) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      paths << url.toLocalFile();
    }
  }
  QByteArray out;
  if (options.link) {
    for (const QString& path : paths) {
      out += path.toUtf8();
      out += '\0';
    }
    return out;
  }
  int64_t total = 0;
  for (const QString& path : paths) {
    total += QFileInfo(path).size();
  }
  if (total > options.limit) {
    throw EMPHexEditor("拖入的文件共有 " + std::to_string(total) + " 字节,一次最多只能放入 " +
                       std::to_string(options.limit) + " 字节。");
  }
  out.reserve(static_cast<qsizetype>(total));
  for (const QString& path : paths) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      throw EMPHexEditor("无法打开文件“" + path.toStdString() +
                         "”:" + file.errorString().toStdString() + "。");
    }
    out += file.readAll();
  }
  return out;
}

}  // namespace

QByteArray OwnBlock(const QByteArray& bytes) {
  QByteArray block(kMagic, 4);
  PutU32(block, kVersion);
  PutU32(block, static_cast<uint32_t>(bytes.size()));
  return block + bytes;
}

std::optional<QByteArray> ParseOwnBlock(const QByteArray& block) {
  if (block.size() < 12 || std::memcmp(block.constData(), kMagic, 4) != 0 ||
      GetU32(block, 4) != kVersion) {
    return std::nullopt;
  }
  const uint32_t count = GetU32(block, 8);
  if (count > static_cast<uint64_t>(block.size() - 12)) {
    return std::nullopt;
  }
  return block.mid(12, static_cast<qsizetype>(count));
}

QString ClipboardText(const QByteArray& bytes, bool as_hex_text, bool swap_nibbles) {
  QString text;
  if (as_hex_text) {
    static const char kDigits[] = "0123456789ABCDEF";
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
      const auto b = static_cast<uint8_t>(c);
      const char high = kDigits[b >> 4];
      const char low = kDigits[b & 15];
      text += QChar::fromLatin1(swap_nibbles ? low : high);
      text += QChar::fromLatin1(swap_nibbles ? high : low);
    }
    return text;
  }
  for (const char c : UpToZero(bytes)) {
    text += QChar(AnsiToUnicode(static_cast<uint8_t>(c)));
  }
  return text;
}

QMimeData* MakeHexMimeData(const QByteArray& bytes, bool as_hex_text, bool swap_nibbles) {
  auto* data = new QMimeData;
  data->setData(kOwnMime, OwnBlock(bytes));
  data->setText(ClipboardText(bytes, as_hex_text, swap_nibbles));
  QByteArray counted;
  PutU32(counted, static_cast<uint32_t>(bytes.size()));
  data->setData(kRegEditMime, counted + bytes);
  return data;
}

QStringList AcceptedFormats(const QMimeData* data, bool other_formats) {
  QStringList accepted;
  if (data == nullptr) {
    return accepted;
  }
  if (data->hasFormat(kOwnMime)) {
    accepted << kOwnMime;
  }
  if (data->hasUrls()) {
    accepted << kUriListMime;
  }
  if (!other_formats) {
    return accepted;
  }
  if (data->hasText()) {
    accepted << kTextMime;
  }
  for (const char* mime : {kRtfMime, kUtf16Mime}) {
    if (data->hasFormat(mime)) {
      accepted << mime;
    }
  }
  if (data->hasImage() || data->hasFormat(kBmpMime)) {
    accepted << kBmpMime;
  }
  for (const char* mime : {kTiffMime, kRegEditMime, kHtmlMime}) {
    if (data->hasFormat(mime)) {
      accepted << mime;
    }
  }
  return accepted;
}

QString FormatName(const QString& mime) {
  static const std::pair<const char*, const char*> kNames[] = {
      {kTextMime, "Text"},
      {kUtf16Mime, "Unicode Text"},
      {kUriListMime, "File List"},
      {kBmpMime, "Bitmap Picture"},
      {kTiffMime, "Tagged Image File Format (TIFF) Picture"},
      {kRtfMime, "Rich Text Format"},
      {kHtmlMime, "HTML Format"},
      {kRegEditMime, "RegEdit_HexData"},
      {kOwnMime, "TMPHexeditorEx Clipboard Format"},
  };
  for (const auto& [key, name] : kNames) {
    if (mime == QLatin1String(key)) {
      return QString::fromLatin1(name);
    }
  }
  return mime;
}

std::optional<QByteArray> ImportBytes(const QMimeData* data, const QString& mime,
                                      const ImportOptions& options) {
  QByteArray bytes;
  if (mime == kOwnMime) {
    return ParseOwnBlock(data->data(kOwnMime));
  }
  if (mime == kUriListMime) {
    return ReadFileList(data->urls(), options);
  }
  if (mime == kRegEditMime) {
    const QByteArray block = data->data(kRegEditMime);
    if (block.size() < 4 || GetU32(block, 0) > static_cast<uint64_t>(block.size() - 4)) {
      return std::nullopt;
    }
    return block.mid(4, static_cast<qsizetype>(GetU32(block, 0)));
  }
  if (mime == kTextMime) {
    bytes = TextBytes(data->text());
    bytes = UpToZero(bytes);
  } else if (mime == kRtfMime || mime == kHtmlMime) {
    bytes = UpToZero(data->data(mime));
  } else if (mime == kUtf16Mime) {
    bytes = data->data(mime);
    bytes.truncate(bytes.size() & ~qsizetype{1});
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) {
        bytes.truncate(i);
        break;
      }
    }
    if (options.unicode_big_endian) {
      for (qsizetype i = 0; i < bytes.size(); i += 2) {
        std::swap(bytes[i], bytes[i + 1]);
      }
    }
  } else if (mime == kBmpMime && data->hasImage()) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    qvariant_cast<QImage>(data->imageData()).save(&buffer, "BMP");
  } else {
    bytes = data->data(mime);
  }
  if (options.hex_text && mime == kTextMime) {
    const std::string spelled =
        HexToBytes(std::string_view(bytes.constData(), bytes.size()), options.swap_nibbles);
    bytes = QByteArray(spelled.data(), static_cast<qsizetype>(spelled.size()));
  }
  return bytes;
}

namespace {
QString g_last_format;  // the choice of the format dialog, for the whole run
}

TFormatSelDialog::TFormatSelDialog(const QStringList& formats, QWidget* parent)
    : QDialog(parent), formats_(formats) {
  setObjectName(QStringLiteral("TFormatSelDialog"));
  setWindowTitle(QStringLiteral("Select data format"));
  auto* layout = new QVBoxLayout(this);
  lbFormats = new QListWidget(this);
  lbFormats->setObjectName(QStringLiteral("lbFormats"));
  for (const QString& mime : formats) {
    lbFormats->addItem(FormatName(mime));
  }
  const qsizetype last = formats.indexOf(g_last_format);
  lbFormats->setCurrentRow(last >= 0 ? static_cast<int>(last) : 0);
  cbHexText = new QCheckBox(QStringLiteral("Hex text"), this);
  cbHexText->setObjectName(QStringLiteral("cbHexText"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(lbFormats);
  layout->addWidget(cbHexText);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(lbFormats, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(lbFormats, &QListWidget::currentRowChanged, this, &TFormatSelDialog::UpdateHexText);
  UpdateHexText();
}

QString TFormatSelDialog::SelectedFormat() const {
  const int row = lbFormats->currentRow();
  return row >= 0 && row < formats_.size() ? formats_[row] : QString();
}

bool TFormatSelDialog::HexText() const {
  return cbHexText->isEnabled() && cbHexText->isChecked();
}

void TFormatSelDialog::UpdateHexText() {
  cbHexText->setEnabled(SelectedFormat() == kTextMime);
}

bool TFormatSelDialog::Choose(QWidget* parent, const QStringList& formats, QString& format,
                              bool& hex_text) {
  TFormatSelDialog dialog(formats, parent);
  if (dialog.exec() != QDialog::Accepted || dialog.SelectedFormat().isEmpty()) {
    return false;
  }
  format = dialog.SelectedFormat();
  hex_text = dialog.HexText();
  g_last_format = format;
  return true;
}

}  // namespace qarvo::hex
