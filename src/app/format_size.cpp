#include "app/format_size.h"

#include <cstdio>
#include <string>

namespace qarvo::ui {

namespace {

constexpr int64_t kKilo = 1024;
constexpr int64_t kMega = 1048576;
constexpr int64_t kGiga = 1073741824;

QString ScaledText(int64_t size, int64_t unit, const char* suffix) {
  const double q = static_cast<double>(size) / static_cast<double>(unit);
  // 15 significant digits never reach the exponent form here: q stays below 1e10.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", q);
  std::string text(buffer);
  const auto dot = text.find('.');
  if (dot != std::string::npos && dot + 2 < text.size()) {
    text.resize(dot + 2);
  }
  return QString::fromStdString(text) + QString::fromLatin1(suffix);
}

}  // namespace

QString FormatSizeText(int64_t size) {
  if (size > kGiga) {
    return ScaledText(size, kGiga, "GB");
  }
  if (size > kMega) {
    return ScaledText(size, kMega, "MB");
  }
  if (size > kKilo) {
    return ScaledText(size, kKilo, "KB");
  }
  return QString::number(size) + QStringLiteral("Byte");
}

}  // namespace qarvo::ui
