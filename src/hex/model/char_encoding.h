#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qarvo::hex {

// How the character column reads the bytes: through the control's own one-byte translations,
// or as the multi-byte encodings that Chinese text comes in.
enum class TextEncoding { kControl, kUtf8, kGb18030 };

// One character read from the start of `bytes`, which may end at the end of the data: a
// sequence cut short there is invalid. An invalid sequence covers one byte.
struct DecodedChar {
  int length = 1;
  char32_t code = 0;
  bool valid = false;
};
DecodedChar DecodeChar(TextEncoding encoding, std::span<const uint8_t> bytes);

// What one byte's cell of the character column shows.
enum class CellKind { kStart, kContinuation, kInvalid };
struct CharCell {
  CellKind kind = CellKind::kInvalid;
  char32_t code = 0;  // the character, for kStart
  int length = 1;     // bytes of the character the byte belongs to
  int index = 0;      // which of them the byte is
};

// The cell of `window[index]`. Neither encoding can be read backwards from any byte, so the
// character boundary is found by going back through `window` to a byte that can only stand
// alone (UTF-8: a lead byte within three bytes; GB18030: a byte below 0x30, which no
// multi-byte character contains), or to the window's start, which the caller puts at the
// data's start or a few hundred bytes before the cell. The window must reach three bytes past
// the cell or to the data's end.
CharCell CharCellAt(TextEncoding encoding, std::span<const uint8_t> window, size_t index);

// The bytes of the UTF-8 text `utf8` in `encoding` (kControl gives the text unchanged);
// empty with `ok` false when a character has no bytes there.
std::string EncodeText(TextEncoding encoding, std::string_view utf8, bool& ok);

// A code point as UTF-8; nothing for a surrogate or a value past U+10FFFF.
std::string Utf8Of(char32_t code);

}  // namespace qarvo::hex
