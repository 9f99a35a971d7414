#include <gtest/gtest.h>

#include "hex/model/translation.h"

namespace qarvo::hex {
namespace {

TEST(Translation, FixedTablesArePermutationsAndReverseExactly) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<uint8_t>(b);
    EXPECT_EQ(AnsiToMacTable()[MacToAnsiTable()[byte]], byte) << b;
    EXPECT_EQ(AnsiToEbcdicTable()[EbcdicToAnsiTable()[byte]], byte) << b;
  }
  EXPECT_EQ(MacToAnsiTable()[0x41], 0x41);
  EXPECT_EQ(MacToAnsiTable()[0x80], 0xC4);
  EXPECT_EQ(MacToAnsiTable()[0xFF], 0xAF);
  EXPECT_EQ(EbcdicToAnsiTable()[0xC1], 'A');
  EXPECT_EQ(EbcdicToAnsiTable()[0xF0], '0');
  EXPECT_EQ(EbcdicToAnsiTable()[0x40], ' ');
}

TEST(Translation, DisplayAndEntryBothWays) {
  CharTranslator t;
  t.SetKind(tkBCD);
  EXPECT_EQ(t.DisplayCode(0xC1), 'A');
  EXPECT_EQ(t.EnteredByte('A'), 0xC1);
  // EBCDIC 0x25 is a line feed: a masked control code.
  EXPECT_EQ(t.DisplayCode(0x25), '.');

  t.SetKind(tkMac);
  EXPECT_EQ(t.DisplayCode(0x8E), 0xE9);  // e acute
  EXPECT_EQ(t.EnteredByte(0xE9), 0x8E);

  t.SetKind(tkDos8);
  EXPECT_EQ(t.DisplayCode(0x82), 0xE9);  // CP437 e acute
  EXPECT_EQ(t.EnteredByte(0xE9), 0x82);
  EXPECT_EQ(t.DisplayCode(0xC4), '-');  // a box line has no ANSI form
  EXPECT_EQ(t.EnteredByte(5), 0);       // control codes are not typed

  t.SetKind(tkASCII);
  EXPECT_EQ(t.DisplayCode(0x82), '.');
  EXPECT_EQ(t.DisplayCode('z'), 'z');
  EXPECT_EQ(t.EnteredByte(0xE9), 0);

  t.SetKind(tkAsIs);
  EXPECT_EQ(t.DisplayCode(0xE9), 0xE9);
  EXPECT_EQ(t.EnteredByte(0xE9), 0xE9);
}

TEST(Translation, MaskingFollowsMaskCharAndSet) {
  CharTranslator t;
  EXPECT_EQ(t.DisplayCode(0), '.');
  EXPECT_EQ(t.DisplayCode(31), '.');
  EXPECT_EQ(t.DisplayCode(32), ' ');
  t.SetMaskChar('*');
  EXPECT_EQ(t.DisplayCode(7), '*');
  t.SetMaskChar(0);
  EXPECT_EQ(t.DisplayCode(7), 7);
  EXPECT_EQ(t.DisplayUnit(7), 7);
  t.SetMaskChar('.');
  EXPECT_EQ(t.DisplayUnit(7), u'.');
  EXPECT_EQ(t.DisplayUnit(0x4E2D), 0x4E2D);
}

TEST(Translation, CustomTableAndItsReverse) {
  CharTranslator t;
  t.SetKind(tkCustom);
  EXPECT_EQ(t.DisplayCode('q'), 'q');
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
  }
  t.SetCustomTable(table);
  EXPECT_EQ(t.DisplayCode(255 - 'A'), 'A');
  EXPECT_EQ(t.EnteredByte('A'), 255 - 'A');
}

TEST(Translation, AnsiPageIsWindows1252AndOemIsCp437) {
  EXPECT_EQ(AnsiToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(AnsiToUnicode(0xE9), u'\u00E9');
  EXPECT_EQ(AnsiToUnicode(0x81), 0x81);
  EXPECT_EQ(UnicodeToAnsi(u'\u20AC'), 0x80);
  EXPECT_EQ(UnicodeToAnsi(u'\u4E2D'), -1);
  for (int b = 0; b < 256; ++b) {
    const int back = UnicodeToAnsi(AnsiToUnicode(static_cast<uint8_t>(b)));
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(OemToAnsi(0xE1), 0xDF);  // sharp s
  EXPECT_EQ(AnsiToOem(0xDF), 0xE1);
  EXPECT_EQ(AnsiToOem(0x80), '?');  // no euro sign in CP437
  EXPECT_STREQ(TranslationLongName(tkBCD), "EBCDIC codepage 38");
  EXPECT_STREQ(TranslationShortName(tkCustom), "Cust");
}

}  // namespace
}  // namespace qarvo::hex
