#include "text/checks.h"

#include <gtest/gtest.h>

namespace qarvo {
namespace {

TEST(TextChecks, IsAllDigits) {
  EXPECT_TRUE(IsAllDigits("0"));
  EXPECT_TRUE(IsAllDigits("0123456789"));
  EXPECT_FALSE(IsAllDigits(""));
  EXPECT_FALSE(IsAllDigits("12a"));
  EXPECT_FALSE(IsAllDigits("+1"));
  EXPECT_FALSE(IsAllDigits("1 "));
  EXPECT_FALSE(IsAllDigits("\xD9\xA1"));  // ARABIC-INDIC DIGIT ONE is not an ASCII digit
}

// Names that are not UTF-8 must be refused before they are turned into GB18030.
TEST(TextChecks, IsValidUtf8) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain.txt"));
  EXPECT_TRUE(IsValidUtf8("样本.txt"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));   // four bytes, outside the BMP
  EXPECT_FALSE(IsValidUtf8("\xD1\xF9"));          // GB18030 bytes of a name, not UTF-8
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong "/" in three bytes
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate half
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE6\xA0"));          // cut short at the end
  EXPECT_FALSE(IsValidUtf8("\x80"));              // a stray continuation byte
}

}  // namespace
}  // namespace qarvo
