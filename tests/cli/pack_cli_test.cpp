#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;
using qarvo::test::RunQarvo;

using qarvo::test::ReadFile;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

TEST(PackCli, PackAndUnpackWithEveryOption) {
  TempDir dir;
  TempDir out;
  WriteFile(dir.File("a.txt"), "hello");
  WriteFile(dir.File("b.bin"), "hello world!");
  CliResult run =
      RunQarvo({"pack", dir.File("a.txt"), dir.File("b.bin"), "--out", dir.path(), "--name",
                "all.pak", "--check", "crc32", "--password", "abc12", "--delete-sources"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "正在生成文件CRC32值...\n" + dir.File("a.txt") + "   CRC32值:\n3610A686\n" +
                         dir.File("b.bin") + "   CRC32值:\n3B4C26D\n" +
                         "正在打包第1个文件,剩余1个文件...\n正在打包第2个文件,剩余0个文件...\n"
                         "打包完成!\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.txt")));

  run = RunQarvo({"unpack", dir.File("all.pak"), "--out", out.path(), "--password", "abc1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在分析文件...\n文件解包:此文件需要密码才能解包,请在密码选项输入正确的密码!\n");

  run = RunQarvo(
      {"unpack", dir.File("all.pak"), "--out", out.path(), "--password", "abc12", "--delete-pack"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "正在分析文件...\n正在解包第1个文件,剩余1个文件...\n正在解包第2个文件,剩余0个文件...\n"
            "正在校验文件...\na.txt与原文件相同!\nb.bin与原文件相同!\n解包完成!\n");
  EXPECT_EQ(ReadFile(out.File("b.bin")), "hello world!");
  EXPECT_FALSE(std::filesystem::exists(dir.File("all.pak")));
}

TEST(PackCli, UnpackDefaultsToThePacksFolderAndReadsTheWindowsVector) {
  TempDir dir;
  std::filesystem::copy_file(qarvo::test::VectorsDir() + "/pack-windows-paths/files.pak",
                             dir.File("files.pak"));
  CliResult run = RunQarvo({"unpack", dir.File("files.pak"), "--no-verify"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "正在分析文件...\n正在解包第1个文件,剩余1个文件...\n正在解包第2个文件,剩余0个文件...\n"
            "解包完成!\n");
  EXPECT_EQ(ReadFile(dir.File("a.txt")),
            ReadFile(qarvo::test::VectorsDir() + "/pack-windows-paths/a.txt"));
}

TEST(PackCli, MismatchMakesTheStatusOne) {
  TempDir dir;
  WriteFile(dir.File("x1"), "one");
  WriteFile(dir.File("x2"), "two");
  CliResult run = RunQarvo({"pack", dir.File("x1"), dir.File("x2"), "--out", dir.path(), "--name",
                            "dup.pak", "--check", "md5"});
  ASSERT_EQ(run.status, 0) << run.err;
  // The first entry's bytes change after the pack was made.
  std::string pack = ReadFile(dir.File("dup.pak"));
  pack[0] = 'O';
  WriteFile(dir.File("dup.pak"), pack);
  TempDir out;
  run = RunQarvo({"unpack", dir.File("dup.pak"), "--out", out.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("x1与原文件不相符!\n"), std::string::npos);
  EXPECT_NE(run.out.find("解包完成!\n"), std::string::npos);
}

TEST(PackCli, WindowRefusalsGoToStderrWithStatusTwo) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  const auto refused = [](const std::vector<std::string>& args, const std::string& text) {
    const CliResult run = RunQarvo(args);
    EXPECT_EQ(run.status, 2) << text;
    EXPECT_EQ(run.out, "") << text;
    EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
  };
  refused({"pack", "--out", dir.path(), "--name", "p"}, "请先导入文件!");
  refused({"pack", dir.File("a"), "--out", dir.File("none"), "--name", "p"}, "输出目录不存在!");
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", std::string(51, 'n')},
          "输出文件名不符合格式!");
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", "a:b"}, "输出文件名不符合格式!");
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", "p", "--password", "abcd"},
          "密码长度必须小于16,大于4!");
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", "p", "--password", "abc d1"},
          "密码必须由字母和数字组成!");
  // Characters, not bytes: six Chinese letters are long enough but no letters and digits.
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", "p", "--password", "密码密码密码"},
          "密码必须由字母和数字组成!");
  refused({"pack", dir.File("a"), "--out", dir.path(), "--name", "p", "--check", "sha1"},
          "--check");
  refused({"pack", dir.File("a"), "--name", "p"}, "--out");
  refused({"unpack", dir.File("none.pak")}, "文件不存在!");
  refused({"unpack", dir.File("a"), "--out", dir.File("none")}, "目的目录不存在!");
  EXPECT_FALSE(std::filesystem::exists(dir.File("p")));

  const CliResult help = RunQarvo({"pack", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("打包后删除源文件"), std::string::npos);
  EXPECT_NE(RunQarvo({"unpack", "--help"}).out.find("即使有校验信息也不校验文件"),
            std::string::npos);
}

TEST(PackCli, JobThatEndsEarlyExitsWithOne) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  // The pack would be written over one of its own sources.
  CliResult run = RunQarvo(
      {"pack", dir.File("a"), "--out", dir.path(), "--name", "a", "--check", "md5", "--overwrite"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "文件打包:打包文件不能是被打包的文件 " + dir.File("a") + "\n");
  EXPECT_EQ(ReadFile(dir.File("a")), "abc");

  WriteFile(dir.File("junk"), std::string(300, 'j'));
  run = RunQarvo({"unpack", dir.File("junk")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "正在分析文件...\n文件解包:无法识别文件!\n");
}

}  // namespace
