#include "split/header.h"

#include <gtest/gtest.h>

#include <string>

#include "codec/des.h"
#include "codec/digest.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qarvo {
namespace {

const std::string kMarker = kNoPasswordMarker;

// A trailer exactly as the split writer makes it.
std::string TrailerFor(const std::string& header_text) {
  return MakeTrailerBlock(EncryptHeaderWithFiller(header_text), kHeaderTrailerSize);
}

HeaderStatus Read(const std::string& header_text, const std::string& typed = "",
                  SetHeader* out = nullptr) {
  SetHeader header;
  const HeaderStatus status = ReadSetHeader(TrailerFor(header_text), typed, header);
  if (out != nullptr) {
    *out = header;
  }
  return status;
}

// A header text with the given fields after the digest, each followed by "|".
std::string RawText(const std::string& digest, const std::string& check, const std::string& kind,
                    const std::string& flag, const std::string& count, const std::string& name) {
  return "plomsey" + digest + "|" + check + "|" + kind + "|" + flag + "|" + count + "|" + name +
         "|";
}

std::string Unhex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

TEST(SetHeaderText, MatchesTheIndependentImplementation) {
  // Password "abc12", CRC-32 check, not compressed, 3 pieces, a Chinese name stored as GB18030.
  EXPECT_EQ(BuildSetHeaderText("abc12", "33205D67", ChecksumKind::Crc32, false, 3, "样本.txt"),
            "plomseyb2157e7b2ae716a747597717f1efb7a0|33205D67|2|0|3|\xD1\xF9\xB1\xBE.txt|");
  EXPECT_EQ(BuildSetHeaderText("", "8273db653cb01020c526918df853d04f", ChecksumKind::Md5, true, 4,
                               "data.bin"),
            "plomsey" + kMarker + "|8273db653cb01020c526918df853d04f|1|1|4|data.bin|");
}

TEST(SetHeaderText, PasswordsAreDigestedAsGb18030Bytes) {
  EXPECT_EQ(PasswordDigestField(""), kMarker);
  EXPECT_EQ(PasswordDigestField("abc12"), "b2157e7b2ae716a747597717f1efb7a0");
  // MD5 of the GB18030 bytes C3 DC C2 EB, not of the UTF-8 form.
  EXPECT_EQ(PasswordDigestField("密码"), "d2293e30f0c964c5f6242486aa8a483c");

  SetHeader header;
  const std::string text = BuildSetHeaderText("密码", "0", ChecksumKind::None, false, 1, "a.txt");
  EXPECT_EQ(Read(text, "密码"), HeaderStatus::Ok);
  // A header holding the digest of the UTF-8 bytes does not open with the same password.
  const std::string utf8_digest = Md5Hex(Md5OfText("\xE5\xAF\x86\xE7\xA0\x81"));
  EXPECT_EQ(Read(RawText(utf8_digest, "0", "0", "0", "1", "a"), "密码"),
            HeaderStatus::WrongPassword);
}

TEST(SetHeaderText, NamesAreCutTo255BytesAtACharacterBoundary) {
  EXPECT_EQ(StoredSourceName(std::string(300, 'n')), std::string(255, 'n'));
  // 200 two-byte characters: 127 of them fit in 255 bytes.
  std::string chinese;
  for (int i = 0; i < 200; ++i) {
    chinese += "文";
  }
  const std::string stored = StoredSourceName(chinese + ".txt");
  EXPECT_EQ(Utf8ToGb18030(stored).size(), 254U);
  EXPECT_EQ(stored, chinese.substr(0, 127 * 3));
  EXPECT_EQ(PieceBaseOf(chinese + ".txt"), stored);
  EXPECT_EQ(PieceBaseOf("movie.avi"), "movie");
  EXPECT_EQ(PieceBaseOf("README"), "README");
  EXPECT_EQ(PieceBaseOf("a.b.c"), "a.b");
  // Characters that would end the field or be refused by the reader are stored as "_".
  EXPECT_EQ(StoredSourceName("a|b\\c.txt"), "a_b_c.txt");
}

struct RoundTripCase {
  std::string password;
  std::string check;
  int kind;
  bool compressed;
  int32_t count;
  std::string name;
};

TEST(SetHeader, RoundTrips) {
  std::string long_chinese;
  for (int i = 0; i < 150; ++i) {
    long_chinese += "样";
  }
  const RoundTripCase cases[] = {
      {"", "1234567", 2, false, 5, long_chinese + ".txt"},
      {"", "0", 0, false, 1, "README"},
      {"secret", "900150983cd24fb0d6963f7d28e17f72", 1, true, 12, "movie.avi"},
      {"口令", "CBF43926", 2, false, 999999999, "样本.txt"},
      {"", "", 2, true, 3, "zero crc.bin"},
      {"x", "0A8653", 2, true, 7, std::string(255, 'L') + ".ext"},
      {"", "0", 0, false, 2, "clip_nvmvxfts"},  // refused by the cipher at first
  };
  for (const auto& c : cases) {
    const std::string text = BuildSetHeaderText(c.password, c.check, ChecksumKindOfCode(c.kind),
                                                c.compressed, c.count, c.name);
    SetHeader header;
    ASSERT_EQ(Read(text, c.password, &header), HeaderStatus::Ok) << c.name;
    EXPECT_EQ(header.check_text, c.check);
    EXPECT_EQ(ChecksumFormatCode(header.check_kind), c.kind);
    EXPECT_EQ(header.compressed, c.compressed);
    EXPECT_EQ(header.piece_count, c.count);
    EXPECT_EQ(header.source_name, StoredSourceName(c.name));
    EXPECT_EQ(header.piece_base, PieceBaseOf(c.name));
  }
}

TEST(SetHeader, ATextTheCipherRefusesGetsOneFillerByte) {
  const std::string text =
      BuildSetHeaderText("", "0", ChecksumKind::None, false, 2, "clip_nvmvxfts");
  EXPECT_THROW(EncryptHeaderText(text), CipherError);
  const std::string encrypted = EncryptHeaderWithFiller(text);
  const std::string decrypted = DecryptHeaderText(encrypted);
  ASSERT_EQ(decrypted.size(), text.size() + 1);
  EXPECT_EQ(decrypted.substr(0, text.size()), text);
  EXPECT_NE(decrypted.back(), '|');
  EXPECT_NE(decrypted.back(), '\0');
  // A text the cipher accepts is written exactly as it is.
  const std::string plain = BuildSetHeaderText("", "0", ChecksumKind::None, false, 1, "z9.bin");
  EXPECT_EQ(EncryptHeaderWithFiller(plain), EncryptHeaderText(plain));
}

// Encrypted texts with zero bytes inside must still read back: the reader may not stop at the
// first zero byte of the trailer.
TEST(SetHeader, EveryWrittenTrailerReadsBack) {
  int with_inner_zero = 0;
  int refused_at_first = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "f" + std::to_string(i * 7919) + (i % 3 == 0 ? ".dat" : "");
    const std::string text = BuildSetHeaderText(i % 2 ? "pw" : "", i % 5 ? "ABCDEF" : "",
                                                ChecksumKind::Crc32, i % 4 == 0, i + 1, name);
    try {
      EncryptHeaderText(text);
    } catch (const CipherError&) {
      ++refused_at_first;
    }
    const std::string trailer = TrailerFor(text);
    const size_t zero = trailer.find('\0');
    if (zero < (text.size() + 7) / 8 * 8) {
      ++with_inner_zero;
    }
    SetHeader header;
    ASSERT_EQ(ReadSetHeader(trailer, i % 2 ? "pw" : "", header), HeaderStatus::Ok) << name;
    EXPECT_EQ(header.source_name, name);
    EXPECT_EQ(header.piece_count, i + 1);
  }
  EXPECT_GT(with_inner_zero, 0);
  EXPECT_GT(refused_at_first, 0);
}

TEST(SetHeader, LongestTextFillsTheWholeTrailer) {
  const std::string text = BuildSetHeaderText("p", std::string(32, 'a'), ChecksumKind::Md5, true,
                                              999999999, std::string(300, 'n'));
  EXPECT_EQ(text.size(), 343U);
  const std::string encrypted = EncryptHeaderWithFiller(text);
  EXPECT_EQ(encrypted.size(), 344U);
  SetHeader header;
  ASSERT_EQ(ReadSetHeader(MakeTrailerBlock(encrypted, 344), "p", header), HeaderStatus::Ok);
  EXPECT_EQ(header.source_name, std::string(255, 'n'));
  EXPECT_THROW(MakeTrailerBlock(std::string(345, 'x'), 344), std::length_error);
}

TEST(SetHeader, PasswordRules) {
  const std::string open = BuildSetHeaderText("", "0", ChecksumKind::None, false, 1, "a");
  EXPECT_EQ(Read(open, ""), HeaderStatus::Ok);
  EXPECT_EQ(Read(open, "anything"), HeaderStatus::Ok);
  const std::string closed = BuildSetHeaderText("right", "0", ChecksumKind::None, false, 1, "a");
  EXPECT_EQ(Read(closed, "right"), HeaderStatus::Ok);
  EXPECT_EQ(Read(closed, "Right"), HeaderStatus::WrongPassword);
  EXPECT_EQ(Read(closed, ""), HeaderStatus::WrongPassword);
  // The digest is compared as text: an upper-case digest matches no password.
  const std::string upper = RawText("B2157E7B2AE716A747597717F1EFB7A0", "0", "0", "0", "1", "a");
  EXPECT_EQ(Read(upper, "abc12"), HeaderStatus::WrongPassword);
  // The digest's content is not checked for form: any field up to position 72 is compared.
  EXPECT_EQ(Read(RawText("short", "0", "0", "0", "1", "a"), "x"), HeaderStatus::WrongPassword);
}

TEST(SetHeader, RefusalsOfTheFieldRules) {
  const auto ok = [](const std::string& text) { return Read(text) == HeaderStatus::Ok; };
  EXPECT_TRUE(ok(RawText(kMarker, "0", "0", "0", "1", "a")));

  // Magic.
  EXPECT_FALSE(ok("plomsex" + kMarker + "|0|0|0|1|a|"));
  EXPECT_FALSE(ok("plom"));
  // First "|" at most at position 72.
  EXPECT_FALSE(ok("plomsey" + kMarker + "0|0|0|1|a|"));
  EXPECT_FALSE(ok("plomsey" + std::string(65, '0')));
  const std::string digest64(64, 'd');  // "|" at 72
  EXPECT_EQ(Read(RawText(digest64, "0", "0", "0", "1", "a"), ""), HeaderStatus::WrongPassword);
  EXPECT_EQ(Read(RawText(digest64 + "d", "0", "0", "0", "1", "a"), ""),
            HeaderStatus::NotRecognised);
  // Check text: 0 to 32 characters.
  EXPECT_TRUE(ok(RawText(kMarker, std::string(32, 'c'), "1", "0", "1", "a")));
  EXPECT_FALSE(ok(RawText(kMarker, std::string(33, 'c'), "1", "0", "1", "a")));
  // Kind: one of 0, 1, 2.
  EXPECT_TRUE(ok(RawText(kMarker, "0", "2", "0", "1", "a")));
  for (const char* kind : {"", "3", "a", "11"}) {
    EXPECT_FALSE(ok(RawText(kMarker, "0", kind, "0", "1", "a"))) << kind;
  }
  // Compressed flag: 0 or 1.
  for (const char* flag : {"", "2", "10"}) {
    EXPECT_FALSE(ok(RawText(kMarker, "0", "0", flag, "1", "a"))) << flag;
  }
  // Count: 1 to 9 ASCII digits.
  EXPECT_TRUE(ok(RawText(kMarker, "0", "0", "0", "123456789", "a")));
  for (const char* count : {"", "1234567890", "12a", "-1", " 1", "0", "000"}) {
    EXPECT_FALSE(ok(RawText(kMarker, "0", "0", "0", count, "a"))) << count;
  }
  // Name: "|" at 1..257.
  EXPECT_TRUE(ok(RawText(kMarker, "0", "0", "0", "1", std::string(256, 'n'))));
  EXPECT_FALSE(ok(RawText(kMarker, "0", "0", "0", "1", std::string(257, 'n'))));
  // A missing field.
  EXPECT_FALSE(ok("plomsey" + kMarker + "|0|0|0|1|a"));
  EXPECT_FALSE(ok("plomsey" + kMarker + "|0|0|0|"));
  // Not a trailer at all.
  SetHeader header;
  EXPECT_EQ(ReadSetHeader(std::string(344, '\0'), "", header), HeaderStatus::NotRecognised);
  EXPECT_EQ(ReadSetHeader(test::RandomBytes(344, 1), "", header), HeaderStatus::NotRecognised);
  EXPECT_EQ(
      ReadSetHeader(TrailerFor(RawText(kMarker, "0", "0", "0", "1", "a")).substr(1), "", header),
      HeaderStatus::NotRecognised);
}

TEST(SetHeader, FieldsAreReadAsStoredAndTheRestIgnored) {
  SetHeader header;
  ASSERT_EQ(Read(RawText(kMarker, "0", "1", "1", "0042", "a.b.c") + "junk|more", "", &header),
            HeaderStatus::Ok);
  EXPECT_EQ(header.check_kind, ChecksumKind::Md5);
  EXPECT_TRUE(header.compressed);
  EXPECT_EQ(header.piece_count, 42);
  EXPECT_EQ(header.source_name, "a.b.c");
  EXPECT_EQ(header.piece_base, "a.b");
  // A 256-byte name counts only by its first 255 bytes.
  ASSERT_EQ(Read(RawText(kMarker, "0", "0", "0", "1", std::string(255, 'n') + "x"), "", &header),
            HeaderStatus::Ok);
  EXPECT_EQ(header.source_name, std::string(255, 'n'));
}

TEST(SetHeader, UnsafeNamesAreNotRecognised) {
  const std::string names[] = {"",    "   ",  ".",    "..", " .. ",
                               "a/b", "../x", "a\\b", "\\", std::string("a\0b", 3)};
  for (const std::string& name : names) {
    SetHeader header;
    header.source_name = "untouched";
    EXPECT_EQ(ReadSetHeader(TrailerFor(RawText(kMarker, "0", "0", "0", "1", name)), "", header),
              HeaderStatus::NotRecognised)
        << name;
    EXPECT_EQ(header.source_name, "untouched");
  }
  // GB18030 characters whose second byte is 0x5C are not backslashes: 乗 is 81 5C.
  SetHeader header;
  ASSERT_EQ(Read(RawText(kMarker, "0", "0", "0", "1", "\x81\x5C.txt"), "", &header),
            HeaderStatus::Ok);
  EXPECT_EQ(header.source_name, "乗.txt");
  EXPECT_EQ(header.piece_base, "乗");
  ASSERT_EQ(Read(RawText(kMarker, "0", "0", "0", "1", "...x"), "", &header), HeaderStatus::Ok);
  EXPECT_EQ(header.piece_base, "..");
}

TEST(SetHeaderOfPiece, NeedsMoreThanTheTrailer) {
  test::TempDir dir;
  const std::string trailer =
      TrailerFor(BuildSetHeaderText("", "0", ChecksumKind::None, false, 1, "a.txt"));
  SetHeader header;
  test::WriteFile(dir.File("exact"), trailer);
  EXPECT_EQ(ReadSetHeaderOfPiece(dir.File("exact"), "", header), HeaderStatus::NotRecognised);
  test::WriteFile(dir.File("short"), trailer.substr(1));
  EXPECT_EQ(ReadSetHeaderOfPiece(dir.File("short"), "", header), HeaderStatus::NotRecognised);
  test::WriteFile(dir.File("a1.vrk"), "x" + trailer);
  EXPECT_EQ(ReadSetHeaderOfPiece(dir.File("a1.vrk"), "", header), HeaderStatus::Ok);
  EXPECT_EQ(header.source_name, "a.txt");
  EXPECT_THROW(ReadSetHeaderOfPiece(dir.File("missing"), "", header), FileError);
}

TEST(SetHeaderOfPiece, ReadsTheInteroperabilitySets) {
  const std::string crc_dir = test::VectorsDir() + "/split-crc32-password/";
  for (int n = 1; n <= 3; ++n) {
    const std::string piece = crc_dir + "样本" + std::to_string(n) + ".vrk";
    SetHeader header;
    EXPECT_EQ(ReadSetHeaderOfPiece(piece, "", header), HeaderStatus::WrongPassword);
    EXPECT_EQ(ReadSetHeaderOfPiece(piece, "abc1", header), HeaderStatus::WrongPassword);
    ASSERT_EQ(ReadSetHeaderOfPiece(piece, "abc12", header), HeaderStatus::Ok) << piece;
    EXPECT_EQ(header.check_text, "33205D67");
    EXPECT_EQ(header.check_kind, ChecksumKind::Crc32);
    EXPECT_FALSE(header.compressed);
    EXPECT_EQ(header.piece_count, 3);
    EXPECT_EQ(header.source_name, "样本.txt");
    EXPECT_EQ(header.piece_base, "样本");
  }
  const std::string md5_dir = test::VectorsDir() + "/split-md5-compressed/";
  for (int n = 1; n <= 4; ++n) {
    SetHeader header;
    ASSERT_EQ(ReadSetHeaderOfPiece(md5_dir + "data" + std::to_string(n) + ".vrk", "any", header),
              HeaderStatus::Ok);
    EXPECT_EQ(header.check_text, "8273db653cb01020c526918df853d04f");
    EXPECT_EQ(header.check_kind, ChecksumKind::Md5);
    EXPECT_TRUE(header.compressed);
    EXPECT_EQ(header.piece_count, 4);
    EXPECT_EQ(header.source_name, "data.bin");
    EXPECT_EQ(header.piece_base, "data");
  }
  // The writer makes the same trailer as the independent implementation.
  const std::string piece = test::ReadFile(md5_dir + "data2.vrk");
  EXPECT_EQ(TrailerFor(BuildSetHeaderText("", "8273db653cb01020c526918df853d04f", ChecksumKind::Md5,
                                          true, 4, "data.bin")),
            piece.substr(piece.size() - 344));
}

TEST(SetHeader, PackStyleTextsUseTheSameFieldReader) {
  // The pack header of the interoperability vectors: magic, digest, then five fields.
  const std::string text = Unhex(
      "706c6f6d73657930633365396137316435623234383666393361653137306236643463323566387c317c327c33"
      "377c377c36387c");
  const std::string decrypted =
      DecryptTrailerBlock(MakeTrailerBlock(EncryptHeaderWithFiller(text), 174));
  HeaderFieldReader reader(decrypted);
  ASSERT_EQ(reader.ReadMagicAndPassword("whatever"), HeaderStatus::Ok);
  std::string_view field;
  ASSERT_TRUE(reader.Next(2, field));
  EXPECT_EQ(field, "1");
  ASSERT_TRUE(reader.Next(2, field));
  EXPECT_EQ(field, "2");
  EXPECT_FALSE(reader.Next(2, field)) << "\"37|\" puts the bar at position 3";
  ASSERT_TRUE(reader.Next(3, field));
  EXPECT_EQ(field, "37");
}

}  // namespace
}  // namespace qarvo
