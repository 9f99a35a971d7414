#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qarvo::hex {

// One line of the data inspector: what the value is and its text (UTF-8). The text is empty
// when the data ends before the value's last byte.
struct ByteValue {
  std::string name;
  std::string text;
};

// The most bytes any line reads.
inline constexpr int kInspectedBytes = 8;

// The values that the bytes at the caret spell (`bytes` holds up to kInspectedBytes of them,
// fewer at the end of the data, none past it), in the inspector's order: signed and unsigned
// integers of 8 to 64 bits, float, double, Unix times of 32 and 64 bits (UTC), a DOS
// date-time, the UTF-8 and the GB18030 character and the first byte in binary. Numbers of
// more than one byte are read little endian unless `big_endian`.
std::vector<ByteValue> InspectBytes(std::span<const uint8_t> bytes, bool big_endian);

// "YYYY-MM-DD hh:mm:ss" of seconds since 1970-01-01 UTC; empty outside the years 1 to 9999.
std::string UnixTimeText(int64_t seconds);
// The DOS date-time (date in the high 16 bits), "YYYY-MM-DD hh:mm:ss"; empty when a field is
// out of its range.
std::string DosDateTimeText(uint32_t value);

}  // namespace qarvo::hex
