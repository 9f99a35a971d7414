#include "hex/model/offset_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "hex/model/hex_error.h"

namespace qarvo::hex {

namespace {

bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Index of the first character that is not a hex digit (text.size() when there is none).
size_t FirstNonHex(std::string_view text) {
  size_t k = 0;
  while (k < text.size() && IsHexDigit(text[k])) {
    ++k;
  }
  return k;
}

// A number written in `radix`. Values too large for 32 bits saturate: every caller refuses
// them afterwards as out of range.
int64_t ParseNumber(std::string_view digits, int radix) {
  int64_t value = 0;
  for (char c : digits) {
    int digit = std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : (std::isalpha(static_cast<unsigned char>(c))
                           ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                           : 99);
    if (digit >= radix) {
      char message[96];
      std::snprintf(message, sizeof message, "Invalid character %c, cannot convert using radix %Xh",
                    c, radix);
      throw EMPHexEditor(message);
    }
    value = value * radix + digit;
    if (value > 0x7FFFFFFF) {
      value = 0x7FFFFFFF;
    }
  }
  return value;
}

[[noreturn]] void Missing(const char* what) {
  throw EMPHexEditor(std::string("Missing char in offset format: ") + what);
}

// The unit in front of '%': "R" for the bytes of a row, "C" for those of a column, a hex
// number, or nothing for the control's units.
void ParseUnitPart(std::string_view& s, const OffsetUnitSources& sources, OffsetFormat& format) {
  auto upper = [&](size_t i) { return std::toupper(static_cast<unsigned char>(s[i])); };
  if (s.size() >= 2 && upper(0) == 'R' && s[1] == '%') {
    format.unit = sources.bytes_per_row;
    format.unit_source = OffsetUnitSource::Rows;
    s.remove_prefix(2);
  } else if (s.size() >= 2 && upper(0) == 'C' && s[1] == '%') {
    format.unit = sources.bytes_per_column;
    format.unit_source = OffsetUnitSource::Columns;
    s.remove_prefix(2);
  } else {
    size_t k = FirstNonHex(s);
    if (k < s.size() && s[k] == '%') {
      if (k == 0) {
        format.unit = sources.units;
        format.unit_source = OffsetUnitSource::Units;
      } else {
        format.unit = static_cast<int>(ParseNumber(s.substr(0, k), 16));
        format.unit_source = OffsetUnitSource::Fixed;
      }
      s.remove_prefix(k + 1);
    } else {
      format.unit = sources.units;
      format.unit_source = OffsetUnitSource::Units;
    }
  }
  if (format.unit != 1 && format.unit != 2 && format.unit != 4 && format.unit != 8) {
    throw EMPHexEditor("Invalid bytes per unit value " + std::to_string(format.unit) +
                       ", allowed: 1,2,4,8");
  }
}

// The number of digits in front of '!', or "-" to size them to the data.
void ParseDigitsPart(std::string_view& s, OffsetFormat& format) {
  if (s.size() >= 2 && s[0] == '-' && s[1] == '!') {
    s.remove_prefix(2);
    format.digits = 1;
    format.auto_digits = true;
  } else {
    size_t k = FirstNonHex(s);
    if (k < s.size() && s[k] == '!') {
      // A format may come from a settings text: a count beyond two hex digits would make
      // every offset text that long, up to 2 GiB each.
      format.digits =
          k == 0 ? 1 : static_cast<int>(std::min<int64_t>(ParseNumber(s.substr(0, k), 16), 255));
      s.remove_prefix(k + 1);
    } else {
      format.digits = 1;
    }
  }
}

// The radix in front of ':', written in hex.
void ParseRadixPart(std::string_view& s, OffsetFormat& format) {
  size_t k = FirstNonHex(s);
  if (k == 0) {
    Missing("number radix");
  }
  if (k >= s.size() || s[k] != ':') {
    Missing(":");
  }
  int64_t radix = ParseNumber(s.substr(0, k), 16);
  if (radix < 2 || radix > 16) {
    char message[96];
    std::snprintf(message, sizeof message,
                  "Invalid radix in offset format (%llXh), allowed: 02h..10h",
                  static_cast<unsigned long long>(radix));
    throw EMPHexEditor(message);
  }
  format.radix = static_cast<int>(radix);
  s.remove_prefix(k + 1);
}

}  // namespace

OffsetFormat ParseOffsetFormat(std::string_view text, const OffsetUnitSources& sources) {
  OffsetFormat format;
  format.text = std::string(text);
  if (text.empty()) {
    format.unit = sources.units;
    return format;
  }
  std::string_view s = text;

  ParseUnitPart(s, sources, format);
  ParseDigitsPart(s, format);
  ParseRadixPart(s, format);

  // What is left is the prefix and the suffix, split at '|'.
  size_t bar = s.find('|');
  if (bar == std::string_view::npos) {
    Missing("|");
  }
  format.prefix = std::string(s.substr(0, bar));
  format.suffix = std::string(s.substr(bar + 1));
  return format;
}

std::string ToRadix(int64_t value, int radix) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % radix]);
    value /= radix;
  } while (value > 0);
  return out;
}

std::string FormatOffset(const OffsetFormat& format, int64_t position, bool lower_case) {
  if (format.Empty()) {
    return {};
  }
  std::string number;
  if (format.digits > 0 || position > 0) {
    number = ToRadix(position > 0 ? position / format.unit : 0, format.radix);
    if (static_cast<int>(number.size()) < format.digits) {
      number.insert(0, static_cast<size_t>(format.digits) - number.size(), '0');
    }
    if (lower_case) {
      for (char& c : number) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
    }
  }
  return format.prefix + number + format.suffix;
}

}  // namespace qarvo::hex
