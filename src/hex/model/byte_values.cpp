#include "hex/model/byte_values.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "hex/model/char_encoding.h"

namespace qarvo::hex {
namespace {

uint64_t ReadUnsigned(std::span<const uint8_t> bytes, int count, bool big_endian) {
  uint64_t v = 0;
  for (int i = 0; i < count; ++i) {
    const int k = big_endian ? i : count - 1 - i;
    v = (v << 8) | bytes[static_cast<size_t>(k)];
  }
  return v;
}

int64_t SignExtend(uint64_t v, int count) {
  if (count == 8) {
    return static_cast<int64_t>(v);
  }
  const int shift = 64 - 8 * count;
  return static_cast<int64_t>(v << shift) >> shift;
}

std::string Printf(const char* format, auto... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string FloatText(double v, int digits) {
  if (std::isnan(v)) {
    return "NaN";
  }
  if (std::isinf(v)) {
    return v > 0 ? "+∞" : "-∞";
  }
  return Printf("%.*g", digits, v);
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::string DateTimeText(int64_t year, unsigned month, unsigned day, int64_t seconds_of_day) {
  return Printf("%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(year), month, day,
                static_cast<long long>(seconds_of_day / 3600),
                static_cast<long long>(seconds_of_day / 60 % 60),
                static_cast<long long>(seconds_of_day % 60));
}

std::string CharText(TextEncoding encoding, std::span<const uint8_t> bytes) {
  const DecodedChar c = DecodeChar(encoding, bytes);
  if (!c.valid) {
    return "无效";
  }
  std::string text = Printf("U+%04X", static_cast<unsigned>(c.code));
  // Control characters have no picture; the code says all.
  if (c.code >= 0x20 && c.code != 0x7F && !(c.code >= 0x80 && c.code < 0xA0)) {
    text += " " + Utf8Of(c.code);
  }
  return text;
}

}  // namespace

std::string UnixTimeText(int64_t seconds) {
  // Far beyond the year 9999 either way; keeps the day arithmetic below from overflowing.
  constexpr int64_t kFar = int64_t{20000} * 366 * 86400;
  if (seconds < -kFar || seconds > kFar) {
    return {};
  }
  // Days since 1970-01-01 to a civil date (proleptic Gregorian).
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t of_day = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const auto day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1 || year > 9999) {
    return {};
  }
  return DateTimeText(year, month, day, of_day);
}

std::string DosDateTimeText(uint32_t value) {
  const uint32_t date = value >> 16;
  const uint32_t time = value & 0xFFFF;
  const unsigned year = 1980 + (date >> 9);
  const unsigned month = (date >> 5) & 15;
  const unsigned day = date & 31;
  const unsigned hour = time >> 11;
  const unsigned minute = (time >> 5) & 63;
  const unsigned second = (time & 31) * 2;
  static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
    return {};
  }
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) {
    return {};
  }
  return DateTimeText(year, month, day, hour * 3600 + minute * 60 + second);
}

std::vector<ByteValue> InspectBytes(std::span<const uint8_t> bytes, bool big_endian) {
  const int have = static_cast<int>(bytes.size());
  std::vector<ByteValue> out;
  auto add = [&out](const char* name, std::string text) { out.push_back({name, std::move(text)}); };
  auto integer = [&](const char* signed_name, const char* unsigned_name, int count) {
    if (have < count) {
      add(signed_name, {});
      add(unsigned_name, {});
      return;
    }
    const uint64_t u = ReadUnsigned(bytes, count, big_endian);
    add(signed_name, std::to_string(SignExtend(u, count)));
    add(unsigned_name, std::to_string(u));
  };
  integer("Int8", "UInt8", 1);
  integer("Int16", "UInt16", 2);
  integer("Int32", "UInt32", 4);
  integer("Int64", "UInt64", 8);

  add("Float", have < 4 ? std::string()
                        : FloatText(std::bit_cast<float>(
                                        static_cast<uint32_t>(ReadUnsigned(bytes, 4, big_endian))),
                                    9));
  add("Double", have < 8
                    ? std::string()
                    : FloatText(std::bit_cast<double>(ReadUnsigned(bytes, 8, big_endian)), 17));
  auto time_text = [](std::string text) { return text.empty() ? std::string("无效") : text; };
  add("Unix时间(32位)",
      have < 4 ? std::string()
               : time_text(UnixTimeText(SignExtend(ReadUnsigned(bytes, 4, big_endian), 4))));
  add("Unix时间(64位)",
      have < 8 ? std::string()
               : time_text(UnixTimeText(static_cast<int64_t>(ReadUnsigned(bytes, 8, big_endian)))));
  add("DOS日期时间",
      have < 4
          ? std::string()
          : time_text(DosDateTimeText(static_cast<uint32_t>(ReadUnsigned(bytes, 4, big_endian)))));
  add("UTF-8字符", have < 1 ? std::string() : CharText(TextEncoding::kUtf8, bytes));
  add("GB18030字符", have < 1 ? std::string() : CharText(TextEncoding::kGb18030, bytes));
  std::string binary;
  if (have >= 1) {
    for (int bit = 7; bit >= 0; --bit) {
      binary += (bytes[0] >> bit) & 1 ? '1' : '0';
    }
  }
  add("二进制", binary);
  return out;
}

}  // namespace qarvo::hex
