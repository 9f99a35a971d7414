#pragma once

#include <cstddef>
#include <string_view>

namespace qarvo {

// The rule for a new password of a split set or a pack, shared by the password dialogs and the
// command line so that both refuse and accept the same texts.

inline constexpr size_t kPasswordMinLength = 5;
inline constexpr size_t kPasswordMaxLength = 16;

inline constexpr char kPasswordLengthRefusal[] = "密码长度必须小于16,大于4!";
inline constexpr char kPasswordCharactersRefusal[] = "密码必须由字母和数字组成!";

// Characters (code points) of a UTF-8 text: what the user typed, not its bytes. A byte that
// cannot start a sequence counts as one character of its own.
size_t CharacterCount(std::string_view utf8);

// The message that refuses `utf8` as a new password, or nullptr when it passes: first 5 to 16
// characters, then only the ASCII letters and digits 0-9, A-Z, a-z.
const char* PasswordRefusal(std::string_view utf8);

}  // namespace qarvo
