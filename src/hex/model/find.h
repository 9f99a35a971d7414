#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "hex/model/translation.h"

namespace qarvo::hex {

using ByteTable = std::array<std::uint8_t, 256>;

// What a search pattern depends on besides the text: the control's character translation
// and its double-byte character mode.
struct SearchSettings {
  CharTranslator translation;  // its kind and custom table; masking plays no part
  bool unicode_chars = false;
  bool unicode_big_endian = false;
};

// The forward byte search of the hex view. PrepareSearchData turns a search text into the
// pattern bytes and rebuilds the case tables for the current translation; Find looks for the
// pattern in the data with or without case folding.
class THexSearch {
 public:
  // Percent of the data passed so far (0..100), for a progress line.
  using Progress = std::function<void(int percent)>;
  // Fills `out` with the searched data from `position`; the range always lies in the data.
  using Reader = std::function<void(int64_t position, std::span<std::uint8_t> out)>;
  // Bytes read at a time by the searches through a Reader.
  static constexpr int64_t kBlockSize = int64_t{4} << 20;

  THexSearch();

  // The pattern for the bytes `s`: lower-cased in Windows-1252 with `ignore_case` (hex
  // searches included), and for a text put through the translation and, in double-byte
  // mode, widened to UTF-16 code units (little-endian unless `unicode_big_endian`). Rebuilds
  // the case tables for `settings.translation`. An empty `s` gives an empty pattern.
  std::string PrepareSearchData(std::string_view s, bool ignore_case, bool is_text,
                                const SearchSettings& settings);

  // The pattern for a text search of the UTF-8 text `utf8`: PrepareSearchData of its
  // Windows-1252 form when it has one. A text beyond Windows-1252 is searched as its UTF-8
  // bytes, or in double-byte mode as its UTF-16 code units (each byte folded like the data
  // with `ignore_case`), so that Chinese text is found in UTF-16 data.
  std::string PrepareSearchText(std::string_view utf8, bool ignore_case,
                                const SearchSettings& settings);

  // The first position p >= start at which the pattern lies whole inside [start, stop], stop
  // being cut to the last byte of the data, or -1. With `ignore_case` every data byte goes
  // through the lower-case table before it is compared; the pattern is compared as it is.
  // `progress`, when given, is called about every 1/500 of the data with the position
  // reached; it cannot cancel the search.
  int64_t Find(std::span<const std::uint8_t> data, std::string_view pattern, int64_t start,
               int64_t stop, bool ignore_case, const Progress& progress = {}) const;

  // The same over data of `size` bytes read block by block through `read`, so that data of any
  // size is searched in little memory; the blocks overlap by the pattern's length less one, so
  // a match across a block boundary is found as in one piece. `block` is for tests.
  int64_t Find(const Reader& read, int64_t size, std::string_view pattern, int64_t start,
               int64_t stop, bool ignore_case, const Progress& progress = {},
               int64_t block = kBlockSize) const;
  // Backwards: the last position p with low <= p <= start at which the pattern lies whole in
  // the data, or -1. Progress counts the part of [low, start] passed.
  int64_t FindBackward(const Reader& read, int64_t size, std::string_view pattern, int64_t start,
                       int64_t low, bool ignore_case, const Progress& progress = {},
                       int64_t block = kBlockSize) const;

  const ByteTable& identity_table() const { return identity_; }
  // Entry i: i translated to Windows-1252, lower-cased there and translated back; bytes whose
  // character does not survive the trip through Windows-1252 stay themselves.
  const ByteTable& lower_case_table() const { return lower_; }

 private:
  void BuildTables(const CharTranslator& translation);

  ByteTable identity_;
  ByteTable lower_;
};

// True when `s` holds something besides blanks and nothing but blanks and hex digits.
bool IsHexText(std::string_view s);

// Hex digits (either case) taken in pairs, high nibble first (low first with
// `swap_nibbles`); other characters are skipped and an unpaired last digit is dropped:
// "4d 5A9" gives 4D 5A.
std::string HexToBytes(std::string_view s, bool swap_nibbles);

// The bytes searched for a UTF-8 text: its Windows-1252 form when every character has one,
// else the UTF-8 bytes themselves.
std::string TextToSearchBytes(std::string_view utf8);

// Where "find next" starts: the caret, one further when the last match was a single byte
// that is still selected alone, so the same byte is not found again.
int64_t FindNextStart(int64_t caret_position, size_t find_data_size, int64_t selection_count);

}  // namespace qarvo::hex
