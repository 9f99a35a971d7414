#include "hex/model/goto_offset.h"

#include <gtest/gtest.h>

namespace qarvo::hex {
namespace {

int64_t At(std::string_view text, int64_t caret = 100, int64_t size = 0x1000, int unit = 1) {
  const GotoTarget t = ParseGotoOffset(text, caret, size, unit);
  return t.error == GotoError::kNone ? t.position : -1 - static_cast<int>(t.error);
}

constexpr int64_t Err(GotoError e) {
  return -1 - static_cast<int>(e);
}

TEST(GotoOffset, DecimalHexAndRelative) {
  EXPECT_EQ(At("1234"), 1234);
  EXPECT_EQ(At(" 0x4D2 "), 0x4D2);
  EXPECT_EQ(At("0X4d2"), 0x4D2);
  EXPECT_EQ(At("$4d2"), 0x4D2);
  EXPECT_EQ(At("4D2h"), 0x4D2);
  EXPECT_EQ(At("FFh"), 0xFF);
  EXPECT_EQ(At("+10"), 110);
  EXPECT_EQ(At("- 0x10"), 100 - 16);
  EXPECT_EQ(At("+0"), 100);
  EXPECT_EQ(At("0"), 0);
  EXPECT_EQ(At("4095"), 4095);
  // Offsets of a double-byte view count two-byte units.
  EXPECT_EQ(At("10", 100, 0x1000, 2), 20);
  EXPECT_EQ(At("-1", 100, 0x1000, 2), 98);
}

TEST(GotoOffset, RefusalsSayWhy) {
  EXPECT_EQ(At(""), Err(GotoError::kEmpty));
  EXPECT_EQ(At("  "), Err(GotoError::kEmpty));
  EXPECT_EQ(At("12ab"), Err(GotoError::kNotANumber));  // hex digits need a hex mark
  EXPECT_EQ(At("0x"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("$"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("h"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("+"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("1.5"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("--1"), Err(GotoError::kNotANumber));
  EXPECT_EQ(At("4096"), Err(GotoError::kPastEnd));
  EXPECT_EQ(At("+3996"), Err(GotoError::kPastEnd));
  EXPECT_EQ(At("-101"), Err(GotoError::kBeforeStart));
  EXPECT_EQ(At("99999999999999999999"), Err(GotoError::kTooLarge));
  EXPECT_EQ(At("0x7FFFFFFFFFFFFFFF", 0, 10, 2), Err(GotoError::kTooLarge));
  EXPECT_EQ(At("+0x7FFFFFFFFFFFFFFF", 5, 10), Err(GotoError::kPastEnd));
  EXPECT_EQ(At("0", 0, 0), Err(GotoError::kPastEnd));  // no data, nowhere to go
}

}  // namespace
}  // namespace qarvo::hex
