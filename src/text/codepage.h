#pragma once

// The text layer: GB18030 <-> UTF-8 and cutting texts to a byte length without splitting a
// character (this header), and the checks of texts before they are stored or parsed (checks.h).
// Every conversion between on-disk names and the program's UTF-8 goes through here.

#include <cstddef>
#include <string>
#include <string_view>

namespace qarvo {

// Texts stored in files (names in headers, pack lists, passwords before digesting) are in the
// Chinese Windows code page, taken here as GB18030 (a superset of GBK). Everything else in the
// program is UTF-8.

// UTF-8 to GB18030. Every Unicode character has a GB18030 form; invalid UTF-8 input bytes are
// passed through unchanged.
std::string Utf8ToGb18030(std::string_view utf8);

// GB18030 to UTF-8. Byte sequences that are not GB18030 become U+FFFD.
std::string Gb18030ToUtf8(std::string_view gb);

// Length in bytes of the GB18030 character starting at `text[at]` (1, 2 or 4); a malformed or
// truncated sequence counts as 1.
size_t Gb18030CharLength(std::string_view text, size_t at);

// The longest prefix of `gb` that is at most `max_bytes` long and does not cut a character.
std::string_view CutGb18030(std::string_view gb, size_t max_bytes);

// The UTF-8 text whose GB18030 form is at most `max_bytes` long, cut at a character boundary.
std::string CutUtf8ToGb18030Bytes(std::string_view utf8, size_t max_bytes);

}  // namespace qarvo
