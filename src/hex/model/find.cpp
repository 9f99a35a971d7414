#include "hex/model/find.h"

#include <string.h>  // memmem

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/io_buffer.h"

namespace qarvo::hex {
namespace {

// The first start of `pattern` in hay[0 .. size), compared byte for byte.
int64_t ExactSearch(const std::uint8_t* hay, size_t size, std::string_view pattern) {
  const void* hit = ::memmem(hay, size, pattern.data(), pattern.size());
  return hit == nullptr ? -1 : static_cast<const std::uint8_t*>(hit) - hay;
}

// The search over folded data: table[data[p + k]] = pattern[k] for every k. At most two raw
// bytes fold onto any byte (a letter and its capital: the case table folds only characters
// that survive the trip through Windows-1252), so sixteen windows at a time are filtered on
// the pattern's first and last byte and only the survivors compared whole. Without SSE2 (or
// with a table that folds more) every window is compared.
class FoldedSearch {
 public:
  FoldedSearch(std::string_view pattern, const ByteTable& table)
      : table_(table),
        pattern_(reinterpret_cast<const std::uint8_t*>(pattern.data())),
        n_(pattern.size()) {
    for (size_t b = 0; b < 256; ++b) {
      if (table_[b] == pattern_[0]) {
        AddRaw(first_, first_count_, b);
      }
      if (table_[b] == pattern_[n_ - 1]) {
        AddRaw(last_, last_count_, b);
      }
    }
  }

  int64_t Run(const std::uint8_t* hay, size_t size) const {
    if (size < n_ || first_count_ == 0 || last_count_ == 0) {
      return -1;
    }
#ifdef __SSE2__
    if (first_count_ <= 2 && last_count_ <= 2) {
      return Filtered(hay, size);
    }
#endif
    return Plain(hay, size);
  }

 private:
  static void AddRaw(std::array<std::uint8_t, 2>& raw, size_t& count, size_t b) {
    if (count < raw.size()) {
      raw[count] = static_cast<std::uint8_t>(b);
    }
    ++count;
  }

  bool MatchesAt(const std::uint8_t* window) const {
    for (size_t k = 0; k < n_; ++k) {
      if (table_[window[k]] != pattern_[k]) {
        return false;
      }
    }
    return true;
  }

#ifdef __SSE2__
  int64_t Filtered(const std::uint8_t* hay, size_t size) const {
    const size_t end = size - n_;  // last window start
    // With one raw byte the second compare repeats the first.
    const __m128i first0 = _mm_set1_epi8(static_cast<char>(first_[0]));
    const __m128i first1 = _mm_set1_epi8(static_cast<char>(first_[first_count_ - 1]));
    const __m128i last0 = _mm_set1_epi8(static_cast<char>(last_[0]));
    const __m128i last1 = _mm_set1_epi8(static_cast<char>(last_[last_count_ - 1]));
    size_t i = 0;
    for (; i + 15 <= end; i += 16) {
      const auto* heads = reinterpret_cast<const __m128i*>(hay + i);
      const auto* tails = reinterpret_cast<const __m128i*>(hay + i + n_ - 1);
      const __m128i head = _mm_loadu_si128(heads);
      const __m128i tail = _mm_loadu_si128(tails);
      const __m128i head_hit =
          _mm_or_si128(_mm_cmpeq_epi8(head, first0), _mm_cmpeq_epi8(head, first1));
      const __m128i tail_hit =
          _mm_or_si128(_mm_cmpeq_epi8(tail, last0), _mm_cmpeq_epi8(tail, last1));
      auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(head_hit, tail_hit)));
      while (mask != 0) {
        const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
        if (MatchesAt(hay + at)) {
          return static_cast<int64_t>(at);
        }
        mask &= mask - 1;
      }
    }
    for (; i <= end; ++i) {
      if (MatchesAt(hay + i)) {
        return static_cast<int64_t>(i);
      }
    }
    return -1;
  }
#endif

  int64_t Plain(const std::uint8_t* hay, size_t size) const {
    for (size_t i = 0; i + n_ <= size; ++i) {
      if (MatchesAt(hay + i)) {
        return static_cast<int64_t>(i);
      }
    }
    return -1;
  }

  const ByteTable& table_;
  const std::uint8_t* pattern_;  // borrowed for the one search
  size_t n_;
  std::array<std::uint8_t, 2> first_{};
  std::array<std::uint8_t, 2> last_{};
  size_t first_count_ = 0;
  size_t last_count_ = 0;
};

int PercentOf(int64_t position, int64_t size) {
  // Halves go to the even neighbour, as the progress line always rounded.
  return static_cast<int>(
      std::nearbyint(static_cast<double>(position) / static_cast<double>(size) * 100.0));
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return c - 'A' + 10;
}

// The code points of a UTF-8 text; nothing when it is not UTF-8.
std::optional<std::u32string> DecodeUtf8(std::string_view utf8) {
  std::u32string codes;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    size_t length = 1;
    char32_t code = lead;
    if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0x80) {
      return std::nullopt;
    }
    if (i + length > utf8.size()) {
      return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        return std::nullopt;
      }
      code = (code << 6) | (next & 0x3F);
    }
    codes += code;
    i += length;
  }
  return codes;
}

// The Windows-1252 form of a UTF-8 text; nothing when a character has none.
std::optional<std::string> TextToAnsi(std::string_view utf8) {
  const auto codes = DecodeUtf8(utf8);
  if (!codes) {
    return std::nullopt;
  }
  std::string ansi;
  ansi.reserve(codes->size());
  for (const char32_t code : *codes) {
    const int found = code < 0x10000 ? UnicodeToAnsi(static_cast<char16_t>(code)) : -1;
    if (found < 0) {
      return std::nullopt;
    }
    ansi += static_cast<char>(found);
  }
  return ansi;
}

void AppendUnit(std::string& out, std::uint16_t unit, bool big_endian) {
  const char low = static_cast<char>(unit & 0xFF);
  const char high = static_cast<char>(unit >> 8);
  out += big_endian ? high : low;
  out += big_endian ? low : high;
}

}  // namespace

THexSearch::THexSearch() {
  for (size_t i = 0; i < 256; ++i) {
    identity_[i] = static_cast<std::uint8_t>(i);
  }
  BuildTables(CharTranslator());
}

void THexSearch::BuildTables(const CharTranslator& translation) {
  for (size_t i = 0; i < 256; ++i) {
    const auto byte = static_cast<std::uint8_t>(i);
    // A byte whose character the other page lacks comes back as a look-alike ("-", "|",
    // "+") or "?"; folding it would make it equal to that real character, so only characters
    // that make the round trip are folded.
    lower_[i] = byte;
    const std::uint8_t ansi = translation.ToAnsi(byte);
    if (translation.FromAnsi(ansi) != byte) {
      continue;
    }
    const std::uint8_t lower = AnsiLowerCase(ansi);
    const std::uint8_t back = translation.FromAnsi(lower);
    if (translation.ToAnsi(back) == lower) {
      lower_[i] = back;
    }
  }
}

std::string THexSearch::PrepareSearchData(std::string_view s, bool ignore_case, bool is_text,
                                          const SearchSettings& settings) {
  if (s.empty()) {
    return {};
  }
  std::string bytes(s);
  const CharTranslator& translation = settings.translation;
  const bool translate = is_text && translation.Kind() != tkAsIs;
  for (char& c : bytes) {
    std::uint8_t b = static_cast<std::uint8_t>(c);
    if (ignore_case) {
      b = AnsiLowerCase(b);
    }
    if (translate) {
      b = translation.FromAnsi(b);
    }
    c = static_cast<char>(b);
  }
  if (is_text && settings.unicode_chars) {
    std::string wide;
    wide.reserve(bytes.size() * 2);
    for (char c : bytes) {
      AppendUnit(wide, AnsiToUnicode(static_cast<std::uint8_t>(c)), settings.unicode_big_endian);
    }
    bytes = std::move(wide);
  }
  BuildTables(translation);
  return bytes;
}

std::string THexSearch::PrepareSearchText(std::string_view utf8, bool ignore_case,
                                          const SearchSettings& settings) {
  if (const auto ansi = TextToAnsi(utf8)) {
    return PrepareSearchData(*ansi, ignore_case, true, settings);
  }
  const auto codes = settings.unicode_chars ? DecodeUtf8(utf8) : std::nullopt;
  if (!codes) {
    return PrepareSearchData(utf8, ignore_case, true, settings);
  }
  std::string wide;
  for (char32_t code : *codes) {
    if (code >= 0x10000) {
      code -= 0x10000;
      AppendUnit(wide, static_cast<std::uint16_t>(0xD800 + (code >> 10)),
                 settings.unicode_big_endian);
      code = 0xDC00 + (code & 0x3FF);
    }
    AppendUnit(wide, static_cast<std::uint16_t>(code), settings.unicode_big_endian);
  }
  BuildTables(settings.translation);
  if (ignore_case) {
    // Find folds the data byte by byte; the pattern's bytes are folded alike, so that the
    // text always finds itself.
    for (char& c : wide) {
      c = static_cast<char>(lower_[static_cast<std::uint8_t>(c)]);
    }
  }
  return wide;
}

int64_t THexSearch::Find(std::span<const std::uint8_t> data, std::string_view pattern,
                         int64_t start, int64_t stop, bool ignore_case,
                         const Progress& progress) const {
  const auto size = static_cast<int64_t>(data.size());
  const auto n = static_cast<int64_t>(pattern.size());
  stop = std::min(stop, size - 1);
  start = std::max<int64_t>(start, 0);
  if (n < 1 || start + n > stop + 1) {
    return -1;
  }
  const int64_t last = stop - n + 1;  // the last possible start of a match
  std::optional<FoldedSearch> folded;
  if (ignore_case) {
    folded.emplace(pattern, lower_);
  }
  // With a progress line the data is searched in slices of 1/500 of its size, so that each
  // slice ends with one event; slices overlap by n - 1 bytes so no match is missed.
  const int64_t slice = progress ? std::max<int64_t>(1, size / 500) : last - start + 1;
  for (int64_t from = start; from <= last; from += slice) {
    const int64_t to = std::min(last, from + slice - 1);
    const std::uint8_t* hay = data.data() + from;
    const auto length = static_cast<size_t>(to - from + n);
    const int64_t hit = folded ? folded->Run(hay, length) : ExactSearch(hay, length, pattern);
    if (hit >= 0) {
      return from + hit;
    }
    if (progress) {
      progress(PercentOf(to + 1, size));
    }
  }
  return -1;
}

namespace {

// The first or the last match in one block. Exact searches go through the same filter as
// folded ones with the identity table: over blocks it outruns memmem, which sets itself up
// anew for every block.
class BlockMatcher {
 public:
  BlockMatcher(std::string_view pattern, const ByteTable& table)
      : n_(pattern.size()), search_(pattern, table) {}
  int64_t First(const std::uint8_t* hay, size_t length) const { return search_.Run(hay, length); }
  int64_t Last(const std::uint8_t* hay, size_t length) const {
    int64_t last = -1;
    size_t from = 0;
    while (from + n_ <= length) {
      const int64_t hit = First(hay + from, length - from);
      if (hit < 0) {
        break;
      }
      last = static_cast<int64_t>(from) + hit;
      from = static_cast<size_t>(last) + 1;
    }
    return last;
  }

 private:
  size_t n_;
  FoldedSearch search_;
};

}  // namespace

int64_t THexSearch::Find(const Reader& read, int64_t size, std::string_view pattern, int64_t start,
                         int64_t stop, bool ignore_case, const Progress& progress,
                         int64_t block) const {
  const auto n = static_cast<int64_t>(pattern.size());
  stop = std::min(stop, size - 1);
  start = std::max<int64_t>(start, 0);
  if (n < 1 || start + n > stop + 1) {
    return -1;
  }
  const int64_t last = stop - n + 1;
  const BlockMatcher matcher(pattern, ignore_case ? lower_ : identity_);
  // As the search in memory: with a progress line one event per 1/500 of the data.
  const int64_t slice =
      progress ? std::clamp<int64_t>(size / 500, 1, block) : std::max<int64_t>(1, block);
  IoBuffer hay;  // aligned: the kernel copies the file into it several times faster
  for (int64_t from = start; from <= last; from += slice) {
    const int64_t to = std::min(last, from + slice - 1);
    hay.Resize(static_cast<size_t>(to - from + n));
    read(from, hay);
    const int64_t hit = matcher.First(hay.data(), hay.size());
    if (hit >= 0) {
      return from + hit;
    }
    if (progress) {
      progress(PercentOf(to + 1, size));
    }
  }
  return -1;
}

int64_t THexSearch::FindBackward(const Reader& read, int64_t size, std::string_view pattern,
                                 int64_t start, int64_t low, bool ignore_case,
                                 const Progress& progress, int64_t block) const {
  const auto n = static_cast<int64_t>(pattern.size());
  low = std::max<int64_t>(low, 0);
  start = std::min(start, size - n);
  if (n < 1 || start < low) {
    return -1;
  }
  const BlockMatcher matcher(pattern, ignore_case ? lower_ : identity_);
  const int64_t total = start - low + 1;
  const int64_t slice =
      progress ? std::clamp<int64_t>(total / 500, 1, block) : std::max<int64_t>(1, block);
  IoBuffer hay;  // aligned: the kernel copies the file into it several times faster
  for (int64_t to = start; to >= low; to -= slice) {
    const int64_t from = std::max(low, to - slice + 1);
    hay.Resize(static_cast<size_t>(to - from + n));
    read(from, hay);
    const int64_t hit = matcher.Last(hay.data(), hay.size());
    if (hit >= 0) {
      return from + hit;
    }
    if (progress) {
      progress(PercentOf(start - from + 1, total));
    }
  }
  return -1;
}

bool IsHexText(std::string_view s) {
  if (s.find_first_not_of(' ') == std::string_view::npos) {
    return false;
  }
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || IsHexDigit(c); });
}

std::string HexToBytes(std::string_view s, bool swap_nibbles) {
  std::string bytes;
  int high = -1;
  for (char c : s) {
    if (!IsHexDigit(c)) {
      continue;
    }
    if (high < 0) {
      high = HexValue(c);
      continue;
    }
    const int low = HexValue(c);
    const int byte = swap_nibbles ? (low << 4) | high : (high << 4) | low;
    bytes += static_cast<char>(byte);
    high = -1;
  }
  return bytes;
}

std::string TextToSearchBytes(std::string_view utf8) {
  const auto ansi = TextToAnsi(utf8);
  return ansi ? *ansi : std::string(utf8);
}

int64_t FindNextStart(int64_t caret_position, size_t find_data_size, int64_t selection_count) {
  int64_t start = std::max<int64_t>(0, caret_position);
  if (find_data_size == 1 && selection_count == 1) {
    ++start;
  }
  return start;
}

}  // namespace qarvo::hex
