#include "codec/des.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qarvo {
namespace {

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

DesBlock BlockOf(const std::string& hex) {
  const std::string bytes = Unhex(hex);
  DesBlock block{};
  for (size_t i = 0; i < 8; ++i) {
    block[i] = static_cast<uint8_t>(bytes[i]);
  }
  return block;
}

TEST(DesBlock, MatchesPublishedVectors) {
  struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Vector vectors[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
      {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
  };
  for (const auto& v : vectors) {
    const DesKeySchedule schedule = MakeDesKeySchedule(Unhex(v.key));
    EXPECT_EQ(DesCryptBlock(BlockOf(v.plain), schedule, CipherDirection::Encrypt),
              BlockOf(v.cipher))
        << v.key;
    EXPECT_EQ(DesCryptBlock(BlockOf(v.cipher), schedule, CipherDirection::Decrypt),
              BlockOf(v.plain))
        << v.key;
  }
}

TEST(DesText, LengthsArePaddedToWholeBlocks) {
  EXPECT_EQ(DesEncryptText("", "key"), "");
  EXPECT_EQ(DesDecryptText("", "key"), "");
  EXPECT_EQ(DesEncryptText("12345678", "key").size(), 8U);
  EXPECT_EQ(DesEncryptText("123456789", "key").size(), 16U);
  // Zero padding: the 9-byte text's second block is "9" and seven zero bytes.
  const std::string cipher = DesEncryptText("123456789", "key");
  EXPECT_EQ(cipher.substr(8), DesEncryptText("9", "key"));
}

TEST(DesText, RefusesTextEndingInZeroWhateverTheKey) {
  for (const std::string key : {"", "tazu", "plomsey", "a much longer key"}) {
    try {
      DesEncryptText(std::string("abc\0", 4), key);
      FAIL() << "accepted a text ending in a zero byte";
    } catch (const CipherError& error) {
      EXPECT_STREQ(error.what(), "Error: the last char is NULL char.");
    }
  }
  EXPECT_THROW(DesEncryptText(std::string(1, '\0'), "k"), CipherError);
}

TEST(DesText, ZeroBytesInsideSurviveARoundTrip) {
  const std::string text("a\0b\0\0c", 6);
  EXPECT_EQ(DesDecryptText(DesEncryptText(text, "k"), "k"), text);
  const std::string eight("\0\0\0\0\0\0\0x", 8);
  EXPECT_EQ(DesDecryptText(DesEncryptText(eight, "k"), "k"), eight);
}

TEST(DesText, KeyRules) {
  const std::string text = "some header text";
  EXPECT_EQ(DesEncryptText(text, "abcdefgh"), DesEncryptText(text, "abcdefghIGNORED"));
  // Flipping the lowest bit of each key byte (the parity bit) changes nothing.
  EXPECT_EQ(DesEncryptText(text, "abcdefgh"), DesEncryptText(text, "`cbedgfi"));
  EXPECT_EQ(DesEncryptText(text, ""), DesEncryptText(text, std::string(8, '\0')));
  EXPECT_EQ(DesEncryptText(text, "tazu"), DesEncryptText(text, std::string("tazu\0\0\0\0", 8)));
  EXPECT_NE(DesEncryptText(text, "abcdefgh"), DesEncryptText(text, "abcdefgj"));
  // A wrong key decrypts to other bytes without complaint.
  EXPECT_NE(DesDecryptText(DesEncryptText(text, "right"), "wrong"), text);
}

TEST(DesText, TrailingPartialBlockIsIgnored) {
  const std::string cipher = DesEncryptText("sixteen bytes!!!", "k");
  EXPECT_EQ(DesDecryptText(cipher + "xyz", "k"), "sixteen bytes!!!");
  EXPECT_EQ(DesDecryptText(cipher.substr(0, 15), "k"), "sixteen ");
}

TEST(HeaderCipher, UsesBothKeysInOrder) {
  const std::string text = "plomsey header|";
  EXPECT_EQ(EncryptHeaderText(text), DesEncryptText(DesEncryptText(text, "tazu"), "plomsey"));
  EXPECT_EQ(DecryptHeaderText(EncryptHeaderText(text)), text);
}

// Every text the two-key operation accepts comes back exactly; every refusal is the outer pass
// meeting an inner cipher text that ends in a zero byte.
TEST(HeaderCipher, RoundTripsOrRefusesForTheDocumentedReason) {
  int refused = 0;
  for (uint32_t seed = 0; seed < 3000; ++seed) {
    std::string text = test::RandomBytes(1 + seed % 60, seed);
    if (text.back() == '\0') {
      text.back() = '|';
    }
    try {
      EXPECT_EQ(DecryptHeaderText(EncryptHeaderText(text)), text) << seed;
    } catch (const CipherError&) {
      ++refused;
      EXPECT_EQ(DesEncryptText(text, "tazu").back(), '\0') << seed;
    }
  }
  // About one text in 256 is refused.
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, 40);
}

TEST(HeaderCipher, MatchesTheInteroperabilityVectors) {
  std::ifstream in(test::VectorsDir() + "/header-cipher.txt");
  ASSERT_TRUE(in);
  std::string line;
  std::string text;
  int ciphers = 0;
  int errors = 0;
  while (std::getline(in, line)) {
    if (line.rfind("text ", 0) == 0) {
      text = Unhex(line.substr(line.find_first_not_of(' ', 4)));
    } else if (line.rfind("cipher ", 0) == 0) {
      const std::string cipher = Unhex(line.substr(line.find_first_not_of(' ', 6)));
      EXPECT_EQ(EncryptHeaderText(text), cipher) << text;
      EXPECT_EQ(DecryptHeaderText(cipher), text);
      ++ciphers;
    } else if (line.rfind("error ", 0) == 0) {
      try {
        EncryptHeaderText(text);
        ADD_FAILURE() << "accepted " << text;
      } catch (const CipherError& error) {
        EXPECT_EQ(std::string(error.what()), line.substr(line.find_first_not_of(' ', 5)));
      }
      ++errors;
    }
  }
  EXPECT_EQ(ciphers, 5);
  EXPECT_EQ(errors, 1);
}

}  // namespace
}  // namespace qarvo
