#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace qarvo {
namespace {

TEST(Codepage, ChineseNamesRoundTrip) {
  EXPECT_EQ(Utf8ToGb18030("样本.txt"), "\xD1\xF9\xB1\xBE.txt");
  EXPECT_EQ(Gb18030ToUtf8("\xD1\xF9\xB1\xBE.txt"), "样本.txt");
  EXPECT_EQ(Utf8ToGb18030("密码"), "\xC3\xDC\xC2\xEB");
  EXPECT_EQ(Utf8ToGb18030("plain ascii"), "plain ascii");
  // Characters outside GBK take four bytes.
  EXPECT_EQ(Utf8ToGb18030("\xF0\x9F\x98\x80"), "\x94\x39\xFC\x36");
  EXPECT_EQ(Gb18030ToUtf8("\x94\x39\xFC\x36"), "\xF0\x9F\x98\x80");
  const std::string mixed = "数据\\子目录 é ü 😀 ソ 乗";
  EXPECT_EQ(Gb18030ToUtf8(Utf8ToGb18030(mixed)), mixed);
  EXPECT_EQ(Utf8ToGb18030(""), "");
  EXPECT_EQ(Utf8ToGb18030(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Codepage, BadBytesAreReplacedOrPassedThrough) {
  EXPECT_EQ(Gb18030ToUtf8("a\xFF"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Gb18030ToUtf8("a\x81"), "a\xEF\xBF\xBD");  // truncated double-byte character
  EXPECT_EQ(Utf8ToGb18030("a\xC3"), "a\xC3");          // invalid UTF-8 passes through
}

TEST(Codepage, CharacterLengths) {
  const std::string text = "a\xD1\xF9\x94\x39\xFC\x36\x81";
  EXPECT_EQ(Gb18030CharLength(text, 0), 1U);
  EXPECT_EQ(Gb18030CharLength(text, 1), 2U);
  EXPECT_EQ(Gb18030CharLength(text, 3), 4U);
  EXPECT_EQ(Gb18030CharLength(text, 7), 1U);  // lead byte at the very end
  // A second byte of 0x5C belongs to the character.
  EXPECT_EQ(Gb18030CharLength("\x81\x5C", 0), 2U);
}

TEST(Codepage, CutsNeverSplitACharacter) {
  const std::string gb = "ab\xD1\xF9\x94\x39\xFC\x36";
  EXPECT_EQ(CutGb18030(gb, 100), gb);
  EXPECT_EQ(CutGb18030(gb, 4), "ab\xD1\xF9");
  EXPECT_EQ(CutGb18030(gb, 3), "ab");
  EXPECT_EQ(CutGb18030(gb, 7), "ab\xD1\xF9");
  EXPECT_EQ(CutGb18030(gb, 0), "");
  EXPECT_EQ(CutUtf8ToGb18030Bytes("样本样本", 5), "样本");
  EXPECT_EQ(CutUtf8ToGb18030Bytes("样本样本", 8), "样本样本");
  EXPECT_EQ(CutUtf8ToGb18030Bytes("a😀b", 4), "a");
  EXPECT_EQ(CutUtf8ToGb18030Bytes("a😀b", 5), "a😀");
}

}  // namespace
}  // namespace qarvo
