#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include <QLocale>
#include <QString>

#include "platform/file_info.h"

namespace qarvo::hex {

// The text of an attribute word, chosen by its low byte read as a signed number: "只读",
// "隐藏,归档", ...; "NTFS压缩" for 0 and "未知" for every combination the table lacks (a
// directory, "normal", a word that could not be read).
QString AttributeText(uint32_t attributes);

// A local date and time as the locale's short date, a blank and its long time without the
// time zone; the time is left out at exactly midnight.
QString DateTimeText(const std::tm& local, const QLocale& locale);

// A file time as the window shows it: in local time, brought to the two-second steps of a DOS
// date-time. Years the DOS date-time cannot hold are shown as they are (seconds cut to even).
QString FileTimeText(const FileTime& time, const QLocale& locale);

// The four lines of the hex window's file information group.
struct HexFileInfoLines {
  QString size;          // 文件大小--> 1.9KB(2000字节)
  QString attributes;    // 文件属性  归档
  QString creation;      // 创建日期  ...
  QString modification;  // 修改日期  ...
};

// The lines for the file `path`; `size_text` writes a byte count (the main window's
// FormatSizeText). A file that cannot be examined gives "未知" after each caption.
HexFileInfoLines FileInfoLines(const std::string& path,
                               const std::function<QString(int64_t)>& size_text,
                               const QLocale& locale = QLocale::system());

}  // namespace qarvo::hex
