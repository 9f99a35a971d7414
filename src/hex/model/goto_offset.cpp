#include "hex/model/goto_offset.h"

#include <limits>

#include "hex/model/offset_format.h"

namespace qarvo::hex {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

}  // namespace

GotoTarget ParseGotoOffset(std::string_view text, int64_t caret, int64_t size, int unit) {
  std::string_view s = Trim(text);
  if (s.empty()) {
    return {GotoError::kEmpty};
  }
  int sign = 0;
  if (s.front() == '+' || s.front() == '-') {
    sign = s.front() == '+' ? 1 : -1;
    s = Trim(s.substr(1));
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (s.size() > 1 && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && (s.back() == 'h' || s.back() == 'H')) {
    base = 16;
    s.remove_suffix(1);
  }
  if (s.empty()) {
    return {GotoError::kNotANumber};
  }
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  bool too_large = false;
  for (char c : s) {
    const int d = HexDigitValue(static_cast<unsigned char>(c));
    if (d < 0 || d >= base) {
      return {GotoError::kNotANumber};
    }
    if (value > (kMax - d) / base) {
      too_large = true;
    } else {
      value = value * base + d;
    }
  }
  if (too_large || value > kMax / (unit < 1 ? 1 : unit)) {
    return {GotoError::kTooLarge};
  }
  const int64_t bytes = value * (unit < 1 ? 1 : unit);
  int64_t position = bytes;
  if (sign > 0) {
    if (bytes > kMax - caret) {
      return {GotoError::kPastEnd};
    }
    position = caret + bytes;
  } else if (sign < 0) {
    position = caret - bytes;
  }
  if (position < 0) {
    return {GotoError::kBeforeStart};
  }
  if (position >= size) {
    return {GotoError::kPastEnd};
  }
  return {GotoError::kNone, position};
}

}  // namespace qarvo::hex
