#pragma once

#include <cstdint>
#include <string_view>

namespace qarvo::hex {

enum class GotoError { kNone, kEmpty, kNotANumber, kTooLarge, kBeforeStart, kPastEnd };

struct GotoTarget {
  GotoError error = GotoError::kNone;
  int64_t position = 0;  // a byte position, when error is kNone
};

// The byte that "转到" goes to for a typed offset: decimal ("1234"), hexadecimal with "0x" or
// "$" in front or "h" behind ("0x4D2", "$4d2", "4D2h"), and with "+" or "-" in front a move
// from `caret` rather than from the start. Blanks around the parts are allowed. The number
// counts units of `unit` bytes, as the offset column does. The result must be a byte of the
// data: [0, size).
GotoTarget ParseGotoOffset(std::string_view text, int64_t caret, int64_t size, int unit = 1);

}  // namespace qarvo::hex
