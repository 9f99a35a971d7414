#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "split/merger_file.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;

CliResult Qarvo(const std::vector<std::string>& args) {
  return qarvo::test::RunQarvo(args);
}

using qarvo::test::ReadFile;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

TEST(SplitMergeCli, SplitAndMergeWithEveryOption) {
  TempDir dir;
  TempDir out;
  const std::string content = qarvo::test::RandomBytes(123457, 1);
  WriteFile(dir.File("photo.raw"), content);
  CliResult run = Qarvo({"split", dir.File("photo.raw"), "--count", "4", "--compress", "max",
                         "--check", "md5", "--password", "Key2026x", "--delete-source"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "正在搜集文件信息...\n正在生成文件MD5值...\n正在分割第1个文件,剩余3个文件...\n"
            "正在分割第2个文件,剩余2个文件...\n正在分割第3个文件,剩余1个文件...\n"
            "正在分割第4个文件,剩余0个文件...\n分割成功!\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("photo.raw")));

  run = Qarvo({"merge", dir.File("photo2.vrk"), "--out", out.path(), "--password", "Key2026x",
               "--delete-pieces"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "正在分析文件...\n正在合并第1个文件,剩余3个文件...\n正在合并第2个文件,剩余2个文件...\n"
            "正在合并第3个文件,剩余1个文件...\n正在合并第4个文件,剩余0个文件...\n"
            "正在验证生成文件...\n校验结果:与原文件相同!\n合并成功!\n");
  EXPECT_TRUE(ReadFile(out.File("photo.raw")) == content);
  EXPECT_FALSE(std::filesystem::exists(dir.File("photo1.vrk")));
}

TEST(SplitMergeCli, DefaultsAreThreePiecesBesideTheSource) {
  TempDir dir;
  WriteFile(dir.File("doc.txt"), "abcdefghij");
  CliResult run = Qarvo({"split", dir.File("doc.txt")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir.File("doc3.vrk")).substr(0, 4), "ghij");
  // Merging beside the pieces replaces the source with the joined copy, when asked to.
  WriteFile(dir.File("doc.txt"), "stale");
  run = Qarvo({"merge", dir.File("doc1.vrk")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(dir.File("doc.txt") + "已存在"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("--overwrite"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir.File("doc.txt")), "stale");
  run = Qarvo({"merge", dir.File("doc1.vrk"), "--overwrite"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "正在分析文件...\n正在合并第1个文件,剩余2个文件...\n正在合并第2个文件,剩余1个文件...\n"
            "正在合并第3个文件,剩余0个文件...\n合并成功!\n");
  EXPECT_EQ(ReadFile(dir.File("doc.txt")), "abcdefghij");
}

TEST(SplitMergeCli, ValidationLinesGoToStdoutAndStartNothing) {
  TempDir dir;
  WriteFile(dir.File("s.bin"), "0123456789");
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"split", dir.File("missing")}, "文件分割:文件不存在!\n"},
      {{"split", dir.File("s.bin"), "--count", ""}, "文件分割:请输入正确的分割数量!\n"},
      {{"split", dir.File("s.bin"), "--count", "-3"}, "文件分割:请输入正确的分割数量!\n"},
      {{"split", dir.File("s.bin"), "--count", "1234567890"}, "文件分割:请输入正确的分割数量!\n"},
      {{"split", dir.File("s.bin"), "--out", dir.File("nowhere")}, "文件分割:目录不存在!\n"},
      {{"merge", dir.File("missing.vrk")}, "文件合并:文件不存在!\n"},
      {{"merge", dir.File("s.bin"), "--out", dir.File("nowhere")}, "文件合并:目录不存在!\n"},
  };
  for (const Case& c : cases) {
    const CliResult run = Qarvo(c.args);
    EXPECT_EQ(run.status, 2) << c.out;
    EXPECT_EQ(run.out, c.out);
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().extension(), ".vrk");
  }
}

TEST(SplitMergeCli, PasswordRulesAndUsageErrorsGoToStderr) {
  TempDir dir;
  WriteFile(dir.File("s.bin"), "0123456789");
  CliResult run = Qarvo({"split", dir.File("s.bin"), "--password", "abcd"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("密码长度必须小于16,大于4!"), std::string::npos);
  run = Qarvo({"split", dir.File("s.bin"), "--password", "abc 123"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("密码必须由字母和数字组成!"), std::string::npos);
  run = Qarvo({"split", dir.File("s.bin"), "--password", "密码密码密码"});
  EXPECT_NE(run.err.find("密码必须由字母和数字组成!"), std::string::npos);
  EXPECT_EQ(Qarvo({"split", dir.File("s.bin"), "--password", "Abcdef0123456789"}).status, 0);

  for (const std::vector<std::string>& args : {std::vector<std::string>{"split"},
                                               {"split", "a", "b"},
                                               {"split", "a", "--compress", "zip"},
                                               {"split", "a", "--check", "sha1"},
                                               {"split", "a", "--bogus"},
                                               {"merge"},
                                               {"merge", "a.vrk", "--out"}}) {
    run = Qarvo(args);
    EXPECT_EQ(run.status, 2) << args.size();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("用法: qarvo"), std::string::npos);
  }
}

TEST(SplitMergeCli, FailuresAndMismatchesExitWithOne) {
  TempDir dir;
  const std::string content = qarvo::test::RandomBytes(3000, 2);
  WriteFile(dir.File("m.bin"), content);
  ASSERT_EQ(Qarvo({"split", dir.File("m.bin"), "--check", "crc32", "--password", "abc12"}).status,
            0);
  // Wrong password.
  CliResult run = Qarvo({"merge", dir.File("m1.vrk"), "--password", "nope1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在分析文件...\n文件合并:此文件需要密码才能合并,请在密码选项输入正确的密码!\n");

  // A changed byte: the join succeeds, the verification does not.
  {
    std::string piece = ReadFile(dir.File("m2.vrk"));
    piece[5] = static_cast<char>(piece[5] ^ 1);
    WriteFile(dir.File("m2.vrk"), piece);
  }
  run = Qarvo({"merge", dir.File("m1.vrk"), "--password", "abc12", "--overwrite"});
  EXPECT_EQ(run.status, 1);
  // The source is still there: the joined file that failed its check goes beside it.
  EXPECT_NE(run.out.find("校验结果:与原文件不符!\n" +
                         qarvo::MergeMismatchLine(dir.File("m.bin.校验失败"), true) + "\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find(qarvo::kMergeSucceeded), std::string::npos);
  EXPECT_TRUE(ReadFile(dir.File("m.bin")) == content);
  EXPECT_EQ(ReadFile(dir.File("m.bin.校验失败")).size(), content.size());
  run = Qarvo({"merge", dir.File("m1.vrk"), "--password", "abc12", "--no-verify", "--overwrite"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find("正在验证生成文件"), std::string::npos);

  // A missing piece.
  std::filesystem::remove(dir.File("m3.vrk"));
  run = Qarvo({"merge", dir.File("m1.vrk"), "--password", "abc12", "--overwrite"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件合并:文件" + dir.File("m3.vrk") + "不存在!\n");

  // An empty source cannot be split.
  WriteFile(dir.File("empty"), "");
  run = Qarvo({"split", dir.File("empty")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在搜集文件信息...\n文件分割:文件很可能正在被其它程序调用!\n分割失败!\n");
}

TEST(SplitMergeCli, HelpIsInChinese) {
  for (const char* command : {"split", "merge"}) {
    const CliResult run = Qarvo({command, "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("用法: qarvo ") + command, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("退出码"), std::string::npos);
  }
  const CliResult run = Qarvo({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("split"), std::string::npos);
  EXPECT_NE(run.out.find("merge"), std::string::npos);
}

}  // namespace

namespace {

TEST(SplitMergeCli, SplitBySizeWithChecksumFile) {
  TempDir dir;
  const std::string content = qarvo::test::RandomBytes(100000, 8);
  WriteFile(dir.File("clip.mov"), content);
  CliResult run = Qarvo({"split", dir.File("clip.mov"), "--size", "40K", "--sums"});
  ASSERT_EQ(run.status, 0) << run.err;
  // 100000 bytes, at most 40960 - 344 per piece: 3 pieces.
  EXPECT_EQ(run.out,
            "正在搜集文件信息...\n正在分割第1个文件,剩余2个文件...\n"
            "正在分割第2个文件,剩余1个文件...\n正在分割第3个文件,剩余0个文件...\n"
            "已生成校验文件:" +
                dir.File("clip.sha256") + "\n分割成功!\n");
  for (int n = 1; n <= 3; ++n) {
    EXPECT_LE(std::filesystem::file_size(dir.File("clip" + std::to_string(n) + ".vrk")), 40960u);
  }
  const std::string check = "cd '" + dir.path() + "' && sha256sum --quiet -c clip.sha256";
  EXPECT_EQ(std::system(check.c_str()), 0);

  // A byte flipped in piece 2: verify and merge name it, the merge writes and deletes nothing.
  std::string bytes = ReadFile(dir.File("clip2.vrk"));
  bytes[5] = static_cast<char>(bytes[5] ^ 1);
  WriteFile(dir.File("clip2.vrk"), bytes);
  run = Qarvo({"verify", dir.File("clip1.vrk")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("第2个分割文件已损坏:" + dir.File("clip2.vrk") + "\n"), std::string::npos)
      << run.out;
  TempDir out;
  run = Qarvo({"merge", dir.File("clip1.vrk"), "--out", out.path(), "--delete-pieces"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("文件合并:第2个分割文件已损坏:" + dir.File("clip2.vrk") + "\n"),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(qarvo::test::NamesIn(out.path()).empty());
  EXPECT_TRUE(std::filesystem::exists(dir.File("clip2.vrk")));
}

TEST(SplitMergeCli, SizeRefusals) {
  TempDir dir;
  WriteFile(dir.File("a.bin"), "0123456789");
  CliResult run = Qarvo({"split", dir.File("a.bin"), "--size", "1M", "--count", "2"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--size 和 --count 不能同时使用"), std::string::npos) << run.err;
  for (const char* bad : {"1.5G", "12X", "", "-3"}) {
    run = Qarvo({"split", dir.File("a.bin"), "--size", bad});
    EXPECT_EQ(run.status, 2) << bad;
  }
  for (const char* tiny : {"344", "0"}) {
    run = Qarvo({"split", dir.File("a.bin"), "--size", tiny});
    EXPECT_EQ(run.status, 2) << tiny;
    EXPECT_EQ(run.out,
              "文件分割:分割大小太小,每个分割文件至少要放下1字节数据和344字节的分割信息!\n");
  }
  // Two thousand million bytes (a sparse file) at one byte per piece: ten digits of pieces.
  std::filesystem::resize_file(dir.File("a.bin"), 2000000000);
  run = Qarvo({"split", dir.File("a.bin"), "--size", "345"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "文件分割:按这个大小分割需要的文件数超过9位数,请选择更大的分割大小!\n");
  EXPECT_EQ(qarvo::test::NamesIn(dir.path()), std::vector<std::string>{"a.bin"});
}

}  // namespace
