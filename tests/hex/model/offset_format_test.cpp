#include <gtest/gtest.h>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "hex/model/offset_format.h"

namespace qarvo::hex {
namespace {

std::string ErrorOf(const std::string& format) {
  try {
    ParseOffsetFormat(format, {16, 2, 1});
  } catch (const EMPHexEditor& e) {
    return e.what();
  }
  return "";
}

TEST(OffsetFormat, DefaultFormatIsHexWithPrefixAndAutoDigits) {
  OffsetFormat f = ParseOffsetFormat("-!10:0x|", {16, 2, 1});
  EXPECT_EQ(f.unit, 1);
  EXPECT_EQ(f.unit_source, OffsetUnitSource::Units);
  EXPECT_TRUE(f.auto_digits);
  EXPECT_EQ(f.radix, 16);
  EXPECT_EQ(f.prefix, "0x");
  EXPECT_EQ(f.suffix, "");
  EXPECT_EQ(FormatOffset(f, 0, false), "0x0");
  EXPECT_EQ(FormatOffset(f, 0xABC, false), "0xABC");
  EXPECT_EQ(FormatOffset(f, 0xABC, true), "0xabc");
}

TEST(OffsetFormat, DecimalWithoutPrefix) {
  OffsetFormat f = ParseOffsetFormat("a:|", {16, 2, 1});
  EXPECT_EQ(f.radix, 10);
  EXPECT_FALSE(f.auto_digits);
  EXPECT_EQ(f.digits, 1);
  EXPECT_EQ(FormatOffset(f, 1234, false), "1234");
  EXPECT_EQ(FormatOffset(f, 0, false), "0");
}

TEST(OffsetFormat, ZeroDigitsLeaveOffsetZeroWithoutNumber) {
  OffsetFormat f = ParseOffsetFormat("0!10:0x|", {16, 2, 1});
  EXPECT_EQ(f.digits, 0);
  EXPECT_EQ(FormatOffset(f, 0, false), "0x");
  EXPECT_EQ(FormatOffset(f, 16, false), "0x10");
}

// The digit count is capped at FFh so that a format from a settings text cannot make every
// offset text gigabytes long.
TEST(OffsetFormat, DigitCountIsCapped) {
  EXPECT_EQ(ParseOffsetFormat("FF!10:|", {16, 2, 1}).digits, 255);
  const OffsetFormat f = ParseOffsetFormat("7FFFFFFF!10:|", {16, 2, 1});
  EXPECT_EQ(f.digits, 255);
  EXPECT_EQ(FormatOffset(f, 0x1234, false), std::string(251, '0') + "1234");
}

TEST(OffsetFormat, FixedUnitDigitsAndSuffix) {
  OffsetFormat f = ParseOffsetFormat("4%-!10:|", {16, 2, 1});
  EXPECT_EQ(f.unit, 4);
  EXPECT_EQ(f.unit_source, OffsetUnitSource::Fixed);
  EXPECT_EQ(FormatOffset(f, 0x40, false), "10");
  OffsetFormat padded = ParseOffsetFormat("2%8!2:[|]", {16, 2, 1});
  EXPECT_EQ(FormatOffset(padded, 10, false), "[00000101]");
  OffsetFormat units = ParseOffsetFormat("%a:|", {16, 2, 4});
  EXPECT_EQ(units.unit, 4);
  EXPECT_EQ(units.unit_source, OffsetUnitSource::Units);
  OffsetFormat columns = ParseOffsetFormat("c%a:|", {16, 2, 1});
  EXPECT_EQ(columns.unit, 2);
  EXPECT_EQ(columns.unit_source, OffsetUnitSource::Columns);
}

TEST(OffsetFormat, RefusalsCarryTheirTexts) {
  EXPECT_EQ(ErrorOf("R%a:|"), "Invalid bytes per unit value 16, allowed: 1,2,4,8");
  EXPECT_EQ(ErrorOf("3%a:|"), "Invalid bytes per unit value 3, allowed: 1,2,4,8");
  EXPECT_EQ(ErrorOf("10:"), "Missing char in offset format: |");
  EXPECT_EQ(ErrorOf(":|"), "Missing char in offset format: number radix");
  EXPECT_EQ(ErrorOf(""), "");
  EXPECT_EQ(ErrorOf("10"), "Missing char in offset format: :");
  EXPECT_EQ(ErrorOf("11:|"), "Invalid radix in offset format (11h), allowed: 02h..10h");
  EXPECT_EQ(ErrorOf("1:|"), "Invalid radix in offset format (1h), allowed: 02h..10h");
}

TEST(OffsetFormat, ModelKeepsTheOldFormatWhenANewOneFails) {
  HexEditorModel model;
  model.SetOffsetFormat("a:|");
  EXPECT_THROW(model.SetOffsetFormat("11:|"), EMPHexEditor);
  EXPECT_EQ(model.OffsetFormatText(), "a:|");
  EXPECT_EQ(model.Format().radix, 10);
  EXPECT_EQ(model.OffsetText(20), "20");
}

// The kept format is not parsed again: a unit that follows rows may no longer parse, and the
// error must be the one of the new format.
TEST(OffsetFormat, RefusalNamesTheNewFormatsFault) {
  HexEditorModel model;
  model.SetBytesPerRow(8);
  model.SetOffsetFormat("r%a:|");
  model.SetBytesPerRow(16);
  std::string error;
  try {
    model.SetOffsetFormat("11:|");
  } catch (const EMPHexEditor& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Invalid radix in offset format (11h), allowed: 02h..10h");
  EXPECT_EQ(model.OffsetFormatText(), "r%a:|");
  EXPECT_EQ(model.OffsetText(160), "10");
}

TEST(OffsetFormat, OffsetTextOfZeroOnAnEmptyBuffer) {
  HexEditorModel model;
  EXPECT_EQ(model.DataSize(), 0);
  EXPECT_EQ(model.OffsetText(0), "0x0");
}

TEST(OffsetFormat, EmptyFormatGivesHexTextButAnEmptyColumn) {
  HexEditorModel model;
  model.SetOffsetFormat("");
  EXPECT_EQ(model.OffsetText(255), "FF");
  EXPECT_EQ(model.OffsetColumnText(255), "");
}

TEST(OffsetFormat, UnitFollowsUnitsRowsAndColumnsWhenTheyChange) {
  HexEditorModel model;
  model.SetOffsetFormat("a:|");
  model.SetBytesPerUnit(4);
  EXPECT_EQ(model.OffsetText(40), "10");
  model.SetRulerBytesPerUnit(2);
  EXPECT_EQ(model.OffsetText(40), "20");

  model.SetBytesPerRow(8);
  model.SetOffsetFormat("r%a:|");
  EXPECT_EQ(model.OffsetText(80), "10");
  model.SetBytesPerRow(4);
  EXPECT_EQ(model.OffsetText(80), "20");

  model.SetOffsetFormat("C%a:|");
  model.SetBytesPerColumn(4);
  EXPECT_EQ(model.OffsetText(80), "20");
}

TEST(OffsetFormat, HandlerReplacesTheFormatButNotInsideItself) {
  HexEditorModel model;
  model.on_get_offset_text = [&](int64_t number, bool, std::string& text) {
    text = "<" + model.OffsetText(number) + ">";
    return true;
  };
  EXPECT_EQ(model.OffsetText(16), "<0x10>");
}

TEST(OffsetFormat, AutoDigitsFollowTheLastRow) {
  HexEditorModel model;
  // "0x" + three digits for 0x100, plus one blank.
  EXPECT_EQ(model.OffsetDisplayChars(0x100), 6);
  EXPECT_EQ(model.OffsetColumnText(0x10), "0x010");
  model.SetOffsetFormat("a:|");
  EXPECT_EQ(model.OffsetDisplayChars(99999), 6);
  EXPECT_EQ(model.OffsetColumnText(16), "16");
}

}  // namespace
}  // namespace qarvo::hex
