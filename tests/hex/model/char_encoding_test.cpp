#include "hex/model/char_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qarvo::hex {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

// One letter per byte: S start, C continuation, X invalid.
std::string Kinds(TextEncoding encoding, const std::vector<uint8_t>& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) {
    const CharCell cell = CharCellAt(encoding, data, i);
    out += cell.kind == CellKind::kStart ? 'S' : cell.kind == CellKind::kContinuation ? 'C' : 'X';
  }
  return out;
}

TEST(CharEncoding, Utf8CellsOfValidAndBrokenText) {
  // "a中" then a stray continuation, a lead cut short by "b", overlong "/", a surrogate.
  const auto data = Bytes(
      "a\xE4\xB8\xAD\x80\xE4\xB8"
      "b\xC0\xAF\xED\xA0\x80");
  EXPECT_EQ(Kinds(TextEncoding::kUtf8, data), "SSCCXXXSXXXXX");
  const CharCell zhong = CharCellAt(TextEncoding::kUtf8, data, 3);
  EXPECT_EQ(zhong.code, U'中');
  EXPECT_EQ(zhong.length, 3);
  EXPECT_EQ(zhong.index, 2);
  // A four-byte character, and one cut by the end of the data.
  EXPECT_EQ(Kinds(TextEncoding::kUtf8, Bytes("\xF0\x9F\x98\x80")), "SCCC");
  EXPECT_EQ(CharCellAt(TextEncoding::kUtf8, Bytes("\xF0\x9F\x98\x80"), 0).code, U'\U0001F600');
  EXPECT_EQ(Kinds(TextEncoding::kUtf8, Bytes("\xF0\x9F\x98")), "XXX");
}

TEST(CharEncoding, Gb18030CellsAndResync) {
  // "中文" in GB18030, an ASCII letter, a four-byte character (U+20000), 0x80 and 0xFF alone.
  const auto data = Bytes(
      "\xD6\xD0\xCE\xC4"
      "A\x95\x32\x82\x36\x80\xFF");
  EXPECT_EQ(Kinds(TextEncoding::kGb18030, data), "SCSCSSCCCXX");
  EXPECT_EQ(CharCellAt(TextEncoding::kGb18030, data, 2).code, U'文');
  EXPECT_EQ(CharCellAt(TextEncoding::kGb18030, data, 8).code, U'\U00020000');
  EXPECT_EQ(CharCellAt(TextEncoding::kGb18030, data, 8).index, 3);
  // A lead byte at the end, and one followed by a byte no character has there.
  EXPECT_EQ(Kinds(TextEncoding::kGb18030, Bytes("a\xD6")), "SX");
  EXPECT_EQ(Kinds(TextEncoding::kGb18030, Bytes("\xD6\x20\xD6\xD0")), "XSSC");
  // A window that starts in the middle of the text finds the boundary at the blank.
  const auto text = Bytes("\xC4\x20\xD6\xD0\xCE\xC4");  // the C4 is the tail of a character
  EXPECT_EQ(CharCellAt(TextEncoding::kGb18030, text, 5).kind, CellKind::kContinuation);
  EXPECT_EQ(CharCellAt(TextEncoding::kGb18030, text, 4).code, U'文');
}

TEST(CharEncoding, EncodeTextForTheSearch) {
  bool ok = false;
  EXPECT_EQ(EncodeText(TextEncoding::kGb18030, "中文ab", ok),
            "\xD6\xD0\xCE\xC4"
            "ab");
  EXPECT_TRUE(ok);
  EXPECT_EQ(EncodeText(TextEncoding::kGb18030, "\xF0\xA0\x80\x80", ok), "\x95\x32\x82\x36");
  EXPECT_EQ(EncodeText(TextEncoding::kUtf8, "中", ok), "中");
  EXPECT_EQ(EncodeText(TextEncoding::kGb18030, "\xFF", ok), "");  // not UTF-8
  EXPECT_FALSE(ok);
  EXPECT_EQ(Utf8Of(U'中'), "中");
  EXPECT_EQ(Utf8Of(0xD800), "");
}

}  // namespace
}  // namespace qarvo::hex
