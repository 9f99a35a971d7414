#include "codec/sums_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace qarvo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kSha(64, 'a');
const std::string kMd5 = "D41D8CD98F00B204E9800998ECF8427E";

TEST(SumsFile, ReadsGnuBsdAndSfvLinesWithTheirKinds) {
  const std::string text = "\xEF\xBB\xBF" + kSha + "  plain name.bin\r\n" + kSha +
                           " *binary.bin\n\n# a comment\nSHA256 (bsd (1).iso) = " + kSha + "\r\n" +
                           kMd5 + "  upper.md5\n";
  const SumsList list = ParseSums(text, std::nullopt);
  ASSERT_EQ(list.entries.size(), 4u);
  EXPECT_TRUE(list.bad_lines.empty());
  EXPECT_EQ(list.entries[0].name, "plain name.bin");
  EXPECT_EQ(list.entries[0].line, 1);
  EXPECT_EQ(list.entries[1].name, "binary.bin");
  EXPECT_EQ(list.entries[2].name, "bsd (1).iso");
  EXPECT_EQ(list.entries[2].kind, SumKind::Sha256);
  EXPECT_EQ(list.entries[2].line, 5);
  EXPECT_EQ(list.entries[3].kind, SumKind::Md5);
  EXPECT_EQ(list.entries[3].hex, "d41d8cd98f00b204e9800998ecf8427e");

  const SumsList sfv =
      ParseSums("; made by hand\r\nname with blanks.rar  0A1b2C3d\r\n", SumKind::Crc32);
  ASSERT_EQ(sfv.entries.size(), 1u);
  EXPECT_EQ(sfv.entries[0].name, "name with blanks.rar");
  EXPECT_EQ(sfv.entries[0].hex, "0a1b2c3d");
}

TEST(SumsFile, CountsLinesThatDoNotParseAndGoesOn) {
  const std::string text = "garbage\n" + kSha.substr(1) + "  short.bin\n" + kMd5 +
                           "  wrong kind for .sha256\nSHA1 (x) = " + kSha + "\n" + kSha + "  \n\\" +
                           kSha + "  bad\\qescape\n" + kSha + "  good\n";
  const SumsList list = ParseSums(text, SumKind::Sha256);
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].name, "good");
  EXPECT_EQ(list.bad_lines, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(SumsFile, NamesKeepTheirBytesAndEscapesRoundTrip) {
  const std::string gb18030 = "\xD1\xF9\xB1\xBE.txt";  // 样本 in GB18030
  const std::string utf8 = "样本 1.txt";
  const std::string odd = "back\\slash\nnew line";
  const std::string text =
      GnuSumLine(kSha, gb18030) + GnuSumLine(kSha, utf8) + GnuSumLine(kSha, odd);
  EXPECT_EQ(GnuSumLine(kSha, utf8), kSha + "  " + utf8 + "\n");
  EXPECT_EQ(GnuSumLine(kSha, odd), "\\" + kSha + "  back\\\\slash\\nnew line\n");
  const SumsList list = ParseSums(text, SumKind::Sha256);
  ASSERT_EQ(list.entries.size(), 3u);
  EXPECT_EQ(list.entries[0].name, gb18030);
  EXPECT_EQ(list.entries[1].name, utf8);
  EXPECT_EQ(list.entries[2].name, odd);
}

TEST(SumsFile, KindsFromNamesAndLengths) {
  EXPECT_EQ(SumKindOfFileName("a/B.SHA256"), SumKind::Sha256);
  EXPECT_EQ(SumKindOfFileName("x.sha1"), SumKind::Sha1);
  EXPECT_EQ(SumKindOfFileName("x.md5"), SumKind::Md5);
  EXPECT_EQ(SumKindOfFileName("x.sfv"), SumKind::Crc32);
  EXPECT_EQ(SumKindOfFileName(".sfv"), std::nullopt);
  EXPECT_EQ(SumKindOfFileName("x.txt"), std::nullopt);
  EXPECT_EQ(SumKindOfHexLength(40), SumKind::Sha1);
  EXPECT_EQ(SumKindOfHexLength(33), std::nullopt);
  EXPECT_EQ(HexDigitsOf(SumKind::Crc32), 8u);
  EXPECT_STREQ(SumKindName(SumKind::Sha256), "SHA256");
  EXPECT_FALSE(IsHexText(""));
  EXPECT_FALSE(IsHexText("12g4"));
}

// What GNU sha256sum writes, including its escaped form, reads back name for name.
TEST(SumsFile, ReadsWhatSha256sumWrites) {
  TempDir dir;
  const std::string odd = "with\\backslash";
  WriteFile(dir.path() + "/" + odd, "abc");
  WriteFile(dir.path() + "/样本.bin", "abc");
  const std::string command =
      "cd '" + dir.path() + "' && sha256sum 'with\\backslash' 样本.bin > sums.sha256";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const SumsList list = ParseSums(ReadFile(dir.path() + "/sums.sha256"), SumKind::Sha256);
  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0].name, odd);
  EXPECT_EQ(list.entries[1].name, "样本.bin");
  EXPECT_EQ(list.entries[1].hex,
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // And what we write, sha256sum checks.
  WriteFile(dir.path() + "/ours.sha256",
            GnuSumLine(list.entries[1].hex, odd) + GnuSumLine(list.entries[1].hex, "样本.bin"));
  EXPECT_EQ(std::system(("cd '" + dir.path() + "' && sha256sum --quiet -c ours.sha256").c_str()),
            0);
}

}  // namespace
}  // namespace qarvo
