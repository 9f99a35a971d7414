#include "codec/password_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace qarvo {
namespace {

std::string Refusal(std::string_view password) {
  const char* text = PasswordRefusal(password);
  return text == nullptr ? std::string("accepted") : std::string(text);
}

TEST(PasswordRule, LengthBoundsInAsciiCharacters) {
  EXPECT_EQ(Refusal(""), kPasswordLengthRefusal);
  EXPECT_EQ(Refusal("abcd"), kPasswordLengthRefusal);
  EXPECT_EQ(Refusal("abcd5"), "accepted");
  EXPECT_EQ(Refusal("Abcdefgh12345678"), "accepted");
  EXPECT_EQ(Refusal("Abcdefgh123456789"), kPasswordLengthRefusal);
}

TEST(PasswordRule, OnlyAsciiLettersAndDigits) {
  EXPECT_EQ(Refusal("0123456789"), "accepted");
  EXPECT_EQ(Refusal("ABCDEFGHIJKLMNOP"), "accepted");
  EXPECT_EQ(Refusal("qrstuvwxyz"), "accepted");
  for (const char* bad :
       {"abc d1", "abc-12", "abc_12", "abc.12", "abc@1", "abc12!", "\tabc12", "abc12\n"}) {
    EXPECT_EQ(Refusal(bad), kPasswordCharactersRefusal) << bad;
  }
  // An embedded NUL is no letter, though a C string would end before it.
  EXPECT_EQ(Refusal(std::string_view("abc\0"
                                     "12",
                                     6)),
            kPasswordCharactersRefusal);
  // Length comes first: a short text with a blank gets the length message.
  EXPECT_EQ(Refusal("ab c"), kPasswordLengthRefusal);
}

// Chinese letters are letters to the user but not to the rule; they count one character each,
// never three bytes.
TEST(PasswordRule, NonAsciiTextCountsCharacters) {
  EXPECT_EQ(CharacterCount("密码"), 2u);
  EXPECT_EQ(CharacterCount("a密😀"), 3u);
  // Four characters (twelve bytes): too short, not "too long".
  EXPECT_EQ(Refusal("密码密码"), kPasswordLengthRefusal);
  // Six characters (eighteen bytes): long enough, but no letters and digits.
  EXPECT_EQ(Refusal("密码密码密码"), kPasswordCharactersRefusal);
  EXPECT_EQ(Refusal("abc密码"), kPasswordCharactersRefusal);
  // Sixteen characters of 48 bytes still fit; seventeen do not.
  std::string sixteen;
  for (int i = 0; i < 16; ++i) {
    sixteen += "密";
  }
  EXPECT_EQ(Refusal(sixteen), kPasswordCharactersRefusal);
  EXPECT_EQ(Refusal(sixteen + "码"), kPasswordLengthRefusal);
  // Outside the basic plane: one character each (two UTF-16 units, four bytes).
  EXPECT_EQ(Refusal("😀😀😀😀"), kPasswordLengthRefusal);
  EXPECT_EQ(Refusal("😀😀😀😀😀"), kPasswordCharactersRefusal);
}

}  // namespace
}  // namespace qarvo
