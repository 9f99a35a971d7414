#include "hex/model/byte_values.h"

#include <gtest/gtest.h>

#include <map>

namespace qarvo::hex {
namespace {

std::map<std::string, std::string> Values(std::vector<uint8_t> bytes, bool big_endian) {
  std::map<std::string, std::string> out;
  for (const ByteValue& v : InspectBytes(bytes, big_endian)) {
    out[v.name] = v.text;
  }
  return out;
}

TEST(ByteValues, IntegersInBothByteOrders) {
  const std::vector<uint8_t> bytes = {0xFE, 0xFF, 0x01, 0x80, 0x00, 0x00, 0x00, 0x80};
  auto le = Values(bytes, false);
  EXPECT_EQ(le["Int8"], "-2");
  EXPECT_EQ(le["UInt8"], "254");
  EXPECT_EQ(le["Int16"], "-2");
  EXPECT_EQ(le["UInt16"], "65534");
  EXPECT_EQ(le["Int32"], "-2147352578");  // 0x8001FFFE
  EXPECT_EQ(le["UInt32"], "2147614718");
  EXPECT_EQ(le["Int64"], "-9223372034707161090");  // 0x800000008001FFFE
  EXPECT_EQ(le["UInt64"], "9223372039002390526");
  auto be = Values(bytes, true);
  EXPECT_EQ(be["Int8"], "-2");
  EXPECT_EQ(be["UInt16"], "65279");  // FE FF
  EXPECT_EQ(be["Int16"], "-257");
  EXPECT_EQ(be["UInt32"], "4278124928");  // FEFF0180
  EXPECT_EQ(be["UInt64"], "18374406653962354816");
  EXPECT_EQ(be["二进制"], "11111110");
}

TEST(ByteValues, FloatsAndTheirSpecialValues) {
  auto one = Values({0x00, 0x00, 0x80, 0x3F, 0, 0, 0xF0, 0x3F}, false);
  EXPECT_EQ(one["Float"], "1");
  auto d = Values({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F}, false);
  EXPECT_EQ(d["Double"], "1");
  auto pi = Values({0x40, 0x49, 0x0F, 0xDB, 0x40, 0x09, 0x21, 0xFB}, true);
  EXPECT_EQ(pi["Float"], "3.14159274");
  auto nan = Values({0x7F, 0xC0, 0x00, 0x00, 0xFF, 0xF0, 0, 0}, true);
  EXPECT_EQ(nan["Float"], "NaN");
  auto inf = Values({0xFF, 0xF0, 0, 0, 0, 0, 0, 0}, true);
  EXPECT_EQ(inf["Double"], "-∞");
}

TEST(ByteValues, TimesValidAndOutOfRange) {
  EXPECT_EQ(UnixTimeText(0), "1970-01-01 00:00:00");
  EXPECT_EQ(UnixTimeText(951782400), "2000-02-29 00:00:00");
  EXPECT_EQ(UnixTimeText(-1), "1969-12-31 23:59:59");
  EXPECT_EQ(UnixTimeText(253402300799), "9999-12-31 23:59:59");
  EXPECT_EQ(UnixTimeText(253402300800), "");
  EXPECT_EQ(UnixTimeText(INT64_MIN), "");
  EXPECT_EQ(UnixTimeText(INT64_MAX), "");
  // 2026-12-08 13:26:48 as a DOS date-time: date 0x5D88, time 0x6B58.
  EXPECT_EQ(DosDateTimeText(0x5D886B58), "2026-12-08 13:26:48");
  EXPECT_EQ(DosDateTimeText(0x00216B58), "1980-01-01 13:26:48");
  EXPECT_EQ(DosDateTimeText(0), "");                                 // month 0
  EXPECT_EQ(DosDateTimeText(0x005Du << 16), "1980-02-29 00:00:00");  // a leap year
  EXPECT_EQ(DosDateTimeText(0x025Du << 16), "");                     // 1981-02-29
  EXPECT_EQ(DosDateTimeText((0x0021u << 16) | (24u << 11)), "");     // hour 24

  // 1700000000 = 2023-11-14 22:13:20 UTC, little endian at the caret.
  auto v = Values({0x00, 0xF1, 0x53, 0x65, 0, 0, 0, 0}, false);
  EXPECT_EQ(v["Unix时间(32位)"], "2023-11-14 22:13:20");
  EXPECT_EQ(v["Unix时间(64位)"], "2023-11-14 22:13:20");
  EXPECT_EQ(Values({0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, false)["Unix时间(64位)"],
            "无效");
}

TEST(ByteValues, CharactersAndShortData) {
  auto utf8 = Values({0xE4, 0xB8, 0xAD, 0x41}, false);  // 中 in UTF-8
  EXPECT_EQ(utf8["UTF-8字符"], "U+4E2D 中");
  EXPECT_EQ(utf8["GB18030字符"], "U+6D93 涓");  // the same bytes read as GB18030
  auto gb = Values({0xD6, 0xD0}, false);        // 中 in GB18030
  EXPECT_EQ(gb["GB18030字符"], "U+4E2D 中");
  EXPECT_EQ(gb["UTF-8字符"], "无效");
  EXPECT_EQ(gb["Int16"], "-12074");
  EXPECT_EQ(gb["Int32"], "");  // two bytes before the end: wider values are blank
  EXPECT_EQ(gb["Double"], "");
  EXPECT_EQ(Values({0x0A}, false)["UTF-8字符"], "U+000A");  // a control has no picture
  // Past the end every line is blank but still there.
  const auto none = InspectBytes({}, false);
  ASSERT_EQ(none.size(), 16u);
  for (const ByteValue& v : none) {
    EXPECT_EQ(v.text, "") << v.name;
  }
}

}  // namespace
}  // namespace qarvo::hex
