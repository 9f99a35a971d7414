#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qarvo::hex {

// Where the divisor of byte positions in offsets comes from; it is taken again from there when
// that setting changes.
enum class OffsetUnitSource { Fixed, Rows, Columns, Units };

// A parsed offset format such as "-!10:0x|": unit, digit count, radix, prefix and suffix.
struct OffsetFormat {
  std::string text;  // as set; empty = offsets are not written in the offset column
  int unit = 1;
  OffsetUnitSource unit_source = OffsetUnitSource::Units;
  int digits = 1;
  bool auto_digits = false;  // digits follow the largest offset shown
  int radix = 16;
  std::string prefix;
  std::string suffix;

  bool Empty() const { return text.empty(); }
};

// The settings a format's unit may refer to.
struct OffsetUnitSources {
  int bytes_per_row = 16;
  int bytes_per_column = 2;
  int units = 1;  // the effective ruler unit
};

// Parses `text`; throws EMPHexEditor with the control's message on a malformed format.
OffsetFormat ParseOffsetFormat(std::string_view text, const OffsetUnitSources& sources);

// Prefix, the number of `position` div unit and suffix; with zero digits, position 0 gives
// no number at all. An empty format gives an empty text.
std::string FormatOffset(const OffsetFormat& format, int64_t position, bool lower_case);

// The value of a hex digit of either case; -1 for any other character.
constexpr int HexDigitValue(char32_t c) {
  if (c >= '0' && c <= '9') {
    return static_cast<int>(c - '0');
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<int>(c - 'a' + 10);
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<int>(c - 'A' + 10);
  }
  return -1;
}

// `value` (>= 0) in `radix` with at least one digit, upper case.
std::string ToRadix(int64_t value, int radix);

}  // namespace qarvo::hex
