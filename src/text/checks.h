#pragma once

// Checks of texts the program takes from users and files before it stores or parses them.

#include <string_view>

namespace qarvo {

// True when the text is well-formed UTF-8 (no stray, overlong or surrogate sequences). Linux
// file names are bytes; only a valid UTF-8 name can be stored as a GB18030 name.
bool IsValidUtf8(std::string_view text);
// Non-empty and ASCII digits only.
bool IsAllDigits(std::string_view text);

}  // namespace qarvo
