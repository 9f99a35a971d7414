#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;
using qarvo::test::ReadFile;
using qarvo::test::RunQarvo;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

// Every file of a folder with its content, to show that a check wrote nothing.
std::map<std::string, std::string> Snapshot(const TempDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return files;
}

std::string Piece(const TempDir& dir, const std::string& stem, int n) {
  return dir.File(stem + std::to_string(n) + ".vrk");
}

// Splits `content` as dir/name with the given split options and removes the source.
void MakeSet(const TempDir& dir, const std::string& name, const std::string& content,
             std::vector<std::string> options) {
  WriteFile(dir.File(name), content);
  options.insert(options.begin(), {"split", dir.File(name), "--delete-source"});
  const CliResult run = RunQarvo(options);
  ASSERT_EQ(run.status, 0) << run.err;
}

std::string Content() {
  std::string content;
  for (int i = 0; i < 20000; ++i) {
    content += "entry " + std::to_string(i % 97) + "\n";
  }
  return content + qarvo::test::RandomBytes(150000, 4);
}

TEST(VerifyCli, AGoodSetPassesWithOneLinePerPieceAndWritesNothing) {
  TempDir dir;
  // With the checksum file every piece's content is checked, so each may be called whole.
  MakeSet(dir, "album.tar", Content(),
          {"--count", "4", "--compress", "max", "--check", "md5", "--sums"});
  const auto before = Snapshot(dir);
  const std::string p = dir.path() + "/album";
  CliResult run = RunQarvo({"verify", Piece(dir, "album", 3)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "正在分析文件...\n第1个文件完好:" + p + "1.vrk\n第2个文件完好:" + p +
                         "2.vrk\n第3个文件完好:" + p + "3.vrk\n第4个文件完好:" + p +
                         "4.vrk\n校验结果:与原文件相同!\n");
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(Snapshot(dir) == before);

  // Uncompressed with CRC-32, with a password; and without a checksum at all.
  TempDir plain;
  MakeSet(plain, "log.txt", Content(),
          {"--count", "3", "--check", "crc32", "--password", "Abc123"});
  run = RunQarvo({"verify", Piece(plain, "log", 1), "--password", "Abc123"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("校验结果:与原文件相同!\n"), std::string::npos);
  run = RunQarvo({"verify", Piece(plain, "log", 1), "--password", "wrong1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在分析文件...\n文件校验:此文件需要密码才能校验,请在密码选项输入正确的密码!\n"
            "校验结果:分割集不能合并!\n");

  TempDir bare;
  MakeSet(bare, "raw.bin", Content(), {"--count", "2", "--compress", "fastest"});
  run = RunQarvo({"verify", Piece(bare, "raw", 2), "--quiet"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("校验结果:分割集完整,可以合并!\n"), std::string::npos) << run.out;
}

TEST(VerifyCli, NamesAMissingPiece) {
  TempDir dir;
  MakeSet(dir, "set.bin", Content(), {"--count", "5", "--compress", "default"});
  std::filesystem::remove(Piece(dir, "set", 4));
  const CliResult run = RunQarvo({"verify", Piece(dir, "set", 1)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件校验:文件" + Piece(dir, "set", 4) +
                         "不存在!\n校验结果:分割集不能合并!\n");
}

TEST(VerifyCli, NamesAPieceOfAnotherSet) {
  TempDir dir;
  TempDir other;
  MakeSet(dir, "q.bin", Content(), {"--count", "3"});
  // The same name and size, but another set's trailer.
  MakeSet(other, "q.bin", Content(), {"--count", "3", "--check", "crc32"});
  std::filesystem::copy_file(Piece(other, "q", 2), Piece(dir, "q", 2),
                             std::filesystem::copy_options::overwrite_existing);
  const CliResult run = RunQarvo({"verify", Piece(dir, "q", 3)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件校验:文件" + Piece(dir, "q", 2) +
                         "不属于这个分割集!\n校验结果:分割集不能合并!\n");
}

TEST(VerifyCli, NamesADamagedCompressedPiece) {
  TempDir dir;
  MakeSet(dir, "arc.bin", Content(), {"--count", "3", "--compress", "default", "--check", "crc32"});
  std::string bytes = ReadFile(Piece(dir, "arc", 2));
  for (size_t i = 100; i < 300; ++i) {
    bytes[i] = static_cast<char>(~bytes[i]);
  }
  WriteFile(Piece(dir, "arc", 2), bytes);
  const CliResult run = RunQarvo({"verify", Piece(dir, "arc", 1)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n第1个文件压缩数据完整:" + Piece(dir, "arc", 1) +
                         "\n文件校验:文件" + Piece(dir, "arc", 2) +
                         "已损坏!\n校验结果:分割集不能合并!\n");
}

TEST(VerifyCli, NamesAPieceWhoseSizeDoesNotFit) {
  TempDir dir;
  MakeSet(dir, "cut.bin", Content(), {"--count", "3"});
  std::string bytes = ReadFile(Piece(dir, "cut", 1));
  WriteFile(Piece(dir, "cut", 1), bytes.substr(0, 1000) + bytes.substr(bytes.size() - 344));
  const CliResult run = RunQarvo({"verify", Piece(dir, "cut", 2)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件校验:文件" + Piece(dir, "cut", 1) +
                         "的大小与分割集不符!\n校验结果:分割集不能合并!\n");
}

TEST(VerifyCli, AChecksumMismatchIsTheMergesOwnLine) {
  for (const std::string check : {"md5", "crc32"}) {
    TempDir dir;
    MakeSet(dir, "doc.bin", Content(), {"--count", "2", "--check", check});
    std::string bytes = ReadFile(Piece(dir, "doc", 2));
    bytes[10] = static_cast<char>(bytes[10] ^ 1);
    WriteFile(Piece(dir, "doc", 2), bytes);
    const CliResult run = RunQarvo({"verify", Piece(dir, "doc", 1)});
    EXPECT_EQ(run.status, 1) << check;
    // Without a checksum file nothing vouched for the pieces' content.
    EXPECT_EQ(
        run.out,
        "正在分析文件...\n第1个文件名称、分割信息和大小相符,内容未检查:" + Piece(dir, "doc", 1) +
            "\n第2个文件名称、分割信息和大小相符,内容未检查:" + Piece(dir, "doc", 2) +
            "\n校验结果:与原文件不符!\n")
        << check;
  }
}

TEST(VerifyCli, NothingStartsWithoutAFileOrWithBadUsage) {
  TempDir dir;
  CliResult run = RunQarvo({"verify", dir.File("none.vrk")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "文件校验:文件不存在!\n");
  run = RunQarvo({"verify"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("用法: qarvo verify"), std::string::npos);
  run = RunQarvo({"verify", "a.vrk", "--bogus"});
  EXPECT_EQ(run.status, 2);
  // A file that is no piece is a refusal of the check, not a usage error.
  WriteFile(dir.File("x.vrk"), std::string(500, 'x'));
  run = RunQarvo({"verify", dir.File("x.vrk")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件校验:无法识别文件!\n校验结果:分割集不能合并!\n");
}

}  // namespace
