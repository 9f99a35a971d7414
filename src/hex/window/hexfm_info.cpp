#include "hex/window/hexfm_info.h"

#include <QDate>
#include <QTime>

namespace qarvo::hex {
namespace {

const char kUnknown[] = "未知";

// The locale's long time format without its time-zone fields ("t"), which the clock of a file
// time does not carry.
QString LongTimeFormatWithoutZone(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString out;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') {
      quoted = !quoted;
    }
    if (!quoted && c == u't') {
      continue;
    }
    out += c;
  }
  return out.simplified();
}

}  // namespace

QString AttributeText(uint32_t attributes) {
  switch (static_cast<int8_t>(attributes & 0xFF)) {
    case 0:
      return QStringLiteral("NTFS压缩");
    case 1:
      return QStringLiteral("只读");
    case 2:
      return QStringLiteral("隐藏");
    case 3:
      return QStringLiteral("只读,隐藏");
    case 4:
      return QStringLiteral("系统");
    case 5:
      return QStringLiteral("只读,系统");
    case 6:
      return QStringLiteral("隐藏,系统");
    case 7:
      return QStringLiteral("只读,隐藏,系统");
    case 32:
      return QStringLiteral("归档");
    case 33:
      return QStringLiteral("只读,归档");
    case 34:
      return QStringLiteral("隐藏,归档");
    case 35:
      return QStringLiteral("只读,隐藏,归档");
    case 36:
      return QStringLiteral("系统,归档");
    case 37:
      return QStringLiteral("只读,系统,归档");
    case 38:
      return QStringLiteral("隐藏,系统,归档");
    case 39:
      return QStringLiteral("只读,隐藏,系统,归档");
    default:
      return QString::fromUtf8(kUnknown);
  }
}

QString DateTimeText(const std::tm& local, const QLocale& locale) {
  const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const QTime time(local.tm_hour, local.tm_min, local.tm_sec);
  QString text = locale.toString(date, QLocale::ShortFormat);
  if (time != QTime(0, 0)) {
    text += u' ' + locale.toString(time, LongTimeFormatWithoutZone(locale));
  }
  return text;
}

QString FileTimeText(const FileTime& time, const QLocale& locale) {
  std::tm local = LocalTimeOf(time.seconds);
  if (const auto dos = DosDateTimeFromLocal(local)) {
    return DateTimeText(LocalFromDosDateTime(*dos), locale);
  }
  local.tm_sec -= local.tm_sec % 2;
  return DateTimeText(local, locale);
}

HexFileInfoLines FileInfoLines(const std::string& path,
                               const std::function<QString(int64_t)>& size_text,
                               const QLocale& locale) {
  const auto info = ReadFileInfo(path);
  const QString unknown = QString::fromUtf8(kUnknown);
  HexFileInfoLines lines;
  lines.size =
      QStringLiteral("文件大小--> ") +
      (info ? size_text(info->size) + u'(' + QString::number(info->size) + QStringLiteral("字节)")
            : unknown);
  lines.attributes =
      QStringLiteral("文件属性  ") + (info ? AttributeText(info->attributes) : unknown);
  lines.creation =
      QStringLiteral("创建日期  ") + (info ? FileTimeText(info->creation, locale) : unknown);
  lines.modification =
      QStringLiteral("修改日期  ") + (info ? FileTimeText(info->modification, locale) : unknown);
  return lines;
}

}  // namespace qarvo::hex
