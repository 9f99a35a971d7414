#include "codec/password_rule.h"

namespace qarvo {

namespace {

bool IsAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8) {
    // Continuation bytes (10xxxxxx) belong to the character before them.
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++count;
    }
  }
  return count;
}

const char* PasswordRefusal(std::string_view utf8) {
  const size_t length = CharacterCount(utf8);
  if (length < kPasswordMinLength || length > kPasswordMaxLength) {
    return kPasswordLengthRefusal;
  }
  for (const char c : utf8) {
    if (!IsAsciiAlphanumeric(c)) {
      return kPasswordCharactersRefusal;
    }
  }
  return nullptr;
}

}  // namespace qarvo
