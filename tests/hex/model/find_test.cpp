#include "hex/model/find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace qarvo::hex {
namespace {

SearchSettings Settings(TMPHTranslationKind kind) {
  SearchSettings settings;
  settings.translation.SetKind(kind);
  return settings;
}

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

// The search loop written out the slow way: a candidate start, a running index into the
// pattern, and a restart one byte after the start of a partial match.
int64_t ReferenceFind(const std::vector<std::uint8_t>& data, const std::string& pattern,
                      int64_t start, int64_t stop, const ByteTable& table) {
  const auto size = static_cast<int64_t>(data.size());
  const auto n = static_cast<int64_t>(pattern.size());
  stop = std::min(stop, size - 1);
  if (n < 1 || start + n > stop + 1) {
    return -1;
  }
  int64_t d = start;
  int64_t next = start + 1;
  int64_t i = 0;
  for (;;) {
    if (d > stop) {
      return -1;
    }
    if (table[data[d]] == static_cast<std::uint8_t>(pattern[i])) {
      if (i == n - 1) {
        return d - n + 1;
      }
      if (i == 0) {
        next = d + 1;
      }
      ++d;
      ++i;
    } else {
      d = next;
      next = d + 1;
      i = 0;
    }
  }
}

TEST(Translations, MacAndEbcdicSpotChecks) {
  // Corners and rows of the printed tables that translation_test does not look at.
  EXPECT_EQ(MacToAnsiTable()[0x7F], 0x7F);
  EXPECT_EQ(MacToAnsiTable()[0xA5], 0xB4);
  EXPECT_EQ(MacToAnsiTable()[0xD8], 0xFF);
  EXPECT_EQ(EbcdicToAnsiTable()[0x04], 0xF7);
  EXPECT_EQ(EbcdicToAnsiTable()[0x81], 0x61);
  EXPECT_EQ(EbcdicToAnsiTable()[0xE0], 0x5C);
  EXPECT_EQ(EbcdicToAnsiTable()[0xF9], 0x39);
}

TEST(Translations, OemAndAnsiMeetThroughUnicode) {
  // Every character both pages have makes the round trip.
  for (int b = 0; b < 256; ++b) {
    const auto ansi = static_cast<std::uint8_t>(b);
    const std::uint8_t oem = AnsiToOem(ansi);
    if (oem != '?') {
      EXPECT_EQ(OemToAnsi(oem), ansi) << b;
    }
  }
  EXPECT_EQ(OemToAnsi(0x80), 0xC7);  // Ç
  EXPECT_EQ(OemToAnsi(0x9F), 0x83);  // ƒ
  EXPECT_EQ(OemToAnsi(0xE1), 0xDF);  // ß
  // A box line has no Windows-1252 form; the character field shows a look-alike rather than
  // "?", so the character grid keeps its lines. The search never folds such a byte (see
  // CaseTableFollowsTheTranslation).
  EXPECT_EQ(OemToAnsi(0xB3), '|');
  EXPECT_EQ(AnsiToOem(0xC0), '?');  // nor has À a code page 437 form
  EXPECT_EQ(AnsiToUnicode(0x80), 0x20AC);
}

TEST(Translations, AnsiLowerCasing) {
  EXPECT_EQ(AnsiLowerCase('A'), 'a');
  EXPECT_EQ(AnsiLowerCase('Z'), 'z');
  EXPECT_EQ(AnsiLowerCase('a'), 'a');
  EXPECT_EQ(AnsiLowerCase('@'), '@');
  EXPECT_EQ(AnsiLowerCase(0xC0), 0xE0);  // À
  EXPECT_EQ(AnsiLowerCase(0xDE), 0xFE);  // Þ
  EXPECT_EQ(AnsiLowerCase(0xD7), 0xD7);  // ×
  EXPECT_EQ(AnsiLowerCase(0xDF), 0xDF);  // ß
  EXPECT_EQ(AnsiLowerCase(0x8A), 0x9A);  // Š
  EXPECT_EQ(AnsiLowerCase(0x9F), 0xFF);  // Ÿ
  EXPECT_EQ(AnsiLowerCase(0xB5), 0xB5);  // µ
}

TEST(PrepareSearchData, LowersTranslatesAndWidens) {
  THexSearch search;
  const SearchSettings plain;
  EXPECT_EQ(search.PrepareSearchData("", true, true, plain), "");
  EXPECT_EQ(search.PrepareSearchData("AbC\xC9", false, true, plain), "AbC\xC9");
  EXPECT_EQ(search.PrepareSearchData("AbC\xC9", true, true, plain), "abc\xE9");
  // Hex searches are lowered as if their bytes were characters, but never translated.
  SearchSettings mac = Settings(tkMac);
  EXPECT_EQ(search.PrepareSearchData("\x41\xC4", true, false, mac), "\x61\xE4");
  EXPECT_EQ(search.PrepareSearchData("\xC4", false, true, mac), "\x80");
  EXPECT_EQ(search.PrepareSearchData("\xC4", true, true, mac), "\x8A");

  SearchSettings wide;
  wide.unicode_chars = true;
  EXPECT_EQ(search.PrepareSearchData("Ab\x80", false, true, wide),
            std::string("A\0b\0\xAC\x20", 6));
  EXPECT_EQ(search.PrepareSearchData("Ab", true, true, wide), std::string("a\0b\0", 4));
  wide.unicode_big_endian = true;
  EXPECT_EQ(search.PrepareSearchData("Ab\x80", false, true, wide),
            std::string("\0A\0b\x20\xAC", 6));
  // A hex search stays bytes in double-byte mode.
  EXPECT_EQ(search.PrepareSearchData("\x12\x34\x56", false, false, wide), "\x12\x34\x56");
}

TEST(PrepareSearchText, BeyondWindows1252InUtf8OrUtf16) {
  THexSearch search;
  SearchSettings wide;
  wide.unicode_chars = true;
  // Text that Windows-1252 can write takes the byte route.
  EXPECT_EQ(search.PrepareSearchText("caf\xC3\xA9", false, wide),
            std::string("c\0a\0f\0\xE9\0", 8));
  EXPECT_EQ(search.PrepareSearchText("caf\xC3\xA9", true, {}), "caf\xE9");
  EXPECT_EQ(search.PrepareSearchText("\xE4\xB8\xAD\xE6\x96\x87", false, {}),
            "\xE4\xB8\xAD\xE6\x96\x87");  // 中文 in UTF-8
  EXPECT_EQ(search.PrepareSearchText("\xE4\xB8\xAD\xE6\x96\x87", false, wide), "\x2D\x4E\x87\x65");
  EXPECT_EQ(search.PrepareSearchText("\xF0\x9F\x98\x80", false, wide),
            std::string("\x3D\xD8\x00\xDE", 4));
  wide.unicode_big_endian = true;
  EXPECT_EQ(search.PrepareSearchText("\xE4\xB8\xAD", false, wide), "\x4E\x2D");

  // With case ignored the UTF-16 text still finds itself: its "N" byte folds like the data's.
  wide.unicode_big_endian = false;
  const std::string pattern = search.PrepareSearchText("\xE4\xB8\xAD\xE6\x96\x87", true, wide);
  const auto data = Bytes(std::string("x\0\x2D\x4E\x87\x65y\0", 8));
  EXPECT_EQ(search.Find(data, pattern, 0, 7, true), 2);
  EXPECT_EQ(search.Find(data, pattern, 3, 7, true), -1);
}

TEST(PrepareSearchData, CaseTableFollowsTheTranslation) {
  THexSearch search;
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(search.identity_table()[b], b);
  }
  EXPECT_EQ(search.lower_case_table()['Q'], 'q');

  SearchSettings ebcdic = Settings(tkBCD);
  search.PrepareSearchData("x", true, true, ebcdic);
  EXPECT_EQ(search.lower_case_table()[0xC1], 0x81);  // EBCDIC A -> a
  EXPECT_EQ(search.lower_case_table()[0x81], 0x81);
  EXPECT_EQ(search.lower_case_table()[0x41], 0xE1);  // Á -> á
  EXPECT_EQ(search.lower_case_table()[0xF0], 0xF0);  // a digit

  SearchSettings oem = Settings(tkDos8);
  search.PrepareSearchData("x", true, true, oem);
  EXPECT_EQ(search.lower_case_table()[0x8E], 0x84);  // Ä -> ä
  EXPECT_EQ(search.lower_case_table()[0x90], 0x82);  // É -> é
  EXPECT_EQ(search.lower_case_table()['M'], 'm');
  // Characters without a Windows-1252 form are not folded onto "?".
  EXPECT_EQ(search.lower_case_table()[0xB3], 0xB3);
  EXPECT_EQ(search.lower_case_table()[0xE2], 0xE2);  // Γ
  EXPECT_EQ(search.lower_case_table()['?'], '?');

  search.PrepareSearchData("x", true, true, SearchSettings{});
  EXPECT_EQ(search.lower_case_table()[0x8E], 0x9E);  // back to Windows-1252: Ž -> ž
}

TEST(PrepareSearchData, NoByteHasMoreThanTwoCaseForms) {
  // The fast ignore-case search filters on at most two raw forms of a byte.
  THexSearch search;
  for (const TMPHTranslationKind kind : {tkAsIs, tkDos8, tkMac, tkBCD}) {
    search.PrepareSearchData("x", true, true, Settings(kind));
    std::array<int, 256> forms{};
    for (std::uint8_t folded : search.lower_case_table()) {
      ++forms[folded];
    }
    EXPECT_LE(*std::max_element(forms.begin(), forms.end()), 2);
  }
}

TEST(Find, HexDigitsWithIgnoreCaseFindBothCases) {
  THexSearch search;
  const std::string pattern = search.PrepareSearchData(HexToBytes("41", false), true, false, {});
  const auto data = Bytes("xx\x61yy\x41z");
  EXPECT_EQ(search.Find(data, pattern, 0, 100, true), 2);
  EXPECT_EQ(search.Find(data, pattern, 3, 100, true), 5);
  EXPECT_EQ(search.Find(data, pattern, 6, 100, true), -1);
  // Without ignore case the lowered pattern finds only the lower-case byte.
  EXPECT_EQ(search.Find(data, pattern, 3, 100, false), -1);
}

TEST(Find, RestartsOneByteAfterAPartialMatch) {
  THexSearch search;
  EXPECT_EQ(search.Find(Bytes("aaab"), "aab", 0, 3, false), 1);
  EXPECT_EQ(search.Find(Bytes("aaab"), "aab", 0, 3, true), 1);
  EXPECT_EQ(search.Find(Bytes("abababc"), "ababc", 0, 6, false), 2);
}

TEST(Find, MatchMustLieWholeInsideTheRange) {
  THexSearch search;
  const auto data = Bytes("0123456789");
  int events = 0;
  const THexSearch::Progress count = [&](int) { ++events; };
  // A pattern longer than the rest of the data: no scan at all.
  EXPECT_EQ(search.Find(data, "89X", 8, 9, false, count), -1);
  EXPECT_EQ(search.Find(data, "0123456789A", 0, 9, false, count), -1);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(search.Find(data, "", 0, 9, false), -1);
  EXPECT_EQ(search.Find(data, "345", 0, 5, false), 3);
  EXPECT_EQ(search.Find(data, "345", 0, 4, false), -1);    // would end behind stop
  EXPECT_EQ(search.Find(data, "345", 4, 9, false), -1);    // begins before start
  EXPECT_EQ(search.Find(data, "789", 0, 1000, false), 7);  // stop is cut to the data
  EXPECT_EQ(search.Find(data, "012", -5, 9, false), 0);
  EXPECT_EQ(search.Find({}, "0", 0, 0, false), -1);
}

TEST(Find, ProgressRisesToTheEndWhenNothingIsFound) {
  THexSearch search;
  std::vector<std::uint8_t> data(100000, 'x');
  std::vector<int> percents;
  const THexSearch::Progress record = [&](int percent) { percents.push_back(percent); };
  EXPECT_EQ(search.Find(data, "xy", 0, 99999, false, record), -1);
  ASSERT_GE(percents.size(), 499u);
  ASSERT_LE(percents.size(), 501u);
  for (size_t k = 1; k < percents.size(); ++k) {
    EXPECT_LE(percents[k - 1], percents[k]);
  }
  EXPECT_EQ(percents.back(), 100);
  EXPECT_LE(percents.front(), 1);

  // A small buffer reports at every byte; a match ends the reports.
  percents.clear();
  const auto small = Bytes("abcdefghij");
  EXPECT_EQ(search.Find(small, "fg", 0, 9, true, record), 5);
  EXPECT_EQ(percents, (std::vector<int>{10, 20, 30, 40, 50}));
}

TEST(Find, AgreesWithTheByteByByteLoop) {
  std::mt19937 random(20261208);
  THexSearch search;
  const SearchSettings translations[] = {Settings(tkAsIs), Settings(tkDos8), Settings(tkMac),
                                         Settings(tkBCD)};
  const std::string alphabet = "aAbB\xC0\xE0\x8E\x84";
  for (int round = 0; round < 20000; ++round) {
    const size_t size = random() % 300;
    std::vector<std::uint8_t> data(size);
    for (auto& b : data) {
      b = static_cast<std::uint8_t>(round % 3 == 0 ? random() % 256
                                                   : alphabet[random() % alphabet.size()]);
    }
    std::string text;
    const size_t length = 1 + random() % 6;
    if (size > 0 && random() % 2 == 0) {
      const size_t at = random() % size;
      text.assign(data.begin() + at, data.begin() + std::min(size, at + length));
    } else {
      for (size_t k = 0; k < length; ++k) {
        text += alphabet[random() % alphabet.size()];
      }
    }
    const bool ignore_case = random() % 2 == 0;
    const bool is_text = random() % 2 == 0;
    const SearchSettings& settings = translations[random() % 4];
    const std::string pattern = search.PrepareSearchData(text, ignore_case, is_text, settings);
    const int64_t start = static_cast<int64_t>(random() % (size + 3)) - 1;
    const int64_t stop = static_cast<int64_t>(random() % (size + 5)) - 2;
    const ByteTable& table = ignore_case ? search.lower_case_table() : search.identity_table();
    const int64_t expected = ReferenceFind(data, pattern, std::max<int64_t>(start, 0), stop, table);
    const THexSearch::Progress none;
    const THexSearch::Progress ignore = [](int) {};
    ASSERT_EQ(search.Find(data, pattern, start, stop, ignore_case, none), expected)
        << "round " << round;
    // Sliced for progress events, the same answer.
    ASSERT_EQ(search.Find(data, pattern, start, stop, ignore_case, ignore), expected)
        << "round " << round;
    // Read block by block, blocks small enough that matches straddle their borders.
    const THexSearch::Reader read = [&](int64_t position, std::span<std::uint8_t> out) {
      ASSERT_GE(position, 0);
      ASSERT_LE(position + static_cast<int64_t>(out.size()), static_cast<int64_t>(size));
      std::copy_n(data.begin() + position, out.size(), out.begin());
    };
    const int64_t block = 1 + static_cast<int64_t>(random() % 40);
    const auto whole = static_cast<int64_t>(size);
    ASSERT_EQ(search.Find(read, whole, pattern, start, stop, ignore_case, none, block), expected)
        << "round " << round << " block " << block;
    // Backwards: the last match starting in [low, start], against the reference run from
    // every candidate start downwards.
    const int64_t low = std::max<int64_t>(stop, 0) / 2;
    int64_t last = -1;
    for (int64_t p = std::min<int64_t>(start, whole - 1); p >= low && last < 0; --p) {
      if (ReferenceFind(data, pattern, p, whole - 1, table) == p) {
        last = p;
      }
    }
    ASSERT_EQ(search.FindBackward(read, whole, pattern, start, low, ignore_case, none, block), last)
        << "round " << round << " block " << block;
  }
}

TEST(Find, SlicesOfALargeBufferMissNothing) {
  // A match across every slice border of a 1/500 split of the data.
  THexSearch search;
  std::vector<std::uint8_t> data(5000 * 7 + 3, '.');
  const size_t slice = data.size() / 500;
  for (size_t border = slice; border + 2 < data.size(); border += slice) {
    std::fill(data.begin(), data.end(), '.');
    data[border - 2] = 'X';
    data[border - 1] = 'Y';
    data[border] = 'z';
    data[border + 1] = 'W';
    const auto expected = static_cast<int64_t>(border - 2);
    EXPECT_EQ(search.Find(data, "xyzw", 0, 1 << 30, true, [](int) {}), expected);
    EXPECT_EQ(search.Find(data, "XYzW", 0, 1 << 30, false, [](int) {}), expected);
  }
}

TEST(SearchText, HexDigitsAndTheirBytes) {
  EXPECT_EQ(HexToBytes("4d 5A9", false), "\x4D\x5A");
  EXPECT_EQ(HexToBytes("4d 5A9", true), "\xD4\xA5");
  EXPECT_EQ(HexToBytes("abc", false), "\xAB");
  EXPECT_EQ(HexToBytes("x-0g0", false), std::string("\0", 1));
  EXPECT_EQ(HexToBytes("hello", false), "");

  EXPECT_TRUE(IsHexText("abc"));
  EXPECT_TRUE(IsHexText(" 41 00 FF "));
  EXPECT_FALSE(IsHexText("hello"));
  EXPECT_FALSE(IsHexText("41-00"));
  EXPECT_FALSE(IsHexText("   "));
  EXPECT_FALSE(IsHexText(""));
}

TEST(SearchText, Windows1252WhereItCanElseUtf8) {
  EXPECT_EQ(TextToSearchBytes("hello"), "hello");
  EXPECT_EQ(TextToSearchBytes("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(TextToSearchBytes("\xE2\x82\xAC"), "\x80");          // €
  EXPECT_EQ(TextToSearchBytes("\xE4\xB8\xAD"), "\xE4\xB8\xAD");  // 中 stays UTF-8
  EXPECT_EQ(TextToSearchBytes("\xC3\xA9\xE4\xB8\xAD"), "\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(TextToSearchBytes("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(SearchText, FindNextMovesPastASelectedOneByteMatch) {
  EXPECT_EQ(FindNextStart(5, 1, 1), 6);
  EXPECT_EQ(FindNextStart(5, 1, 0), 5);
  EXPECT_EQ(FindNextStart(5, 2, 1), 5);
  EXPECT_EQ(FindNextStart(-1, 1, 0), 0);
}

}  // namespace
}  // namespace qarvo::hex
