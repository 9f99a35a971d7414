#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;

CliResult Qarvo(const std::vector<std::string>& args) {
  return qarvo::test::RunQarvo(args);
}

using qarvo::test::ReadFile;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

TEST(ToolsCli, BundleAppendsAndRefusesTheSameFile) {
  TempDir dir;
  WriteFile(dir.File("h"), "0123456789");
  WriteFile(dir.File("t"), "abcde");
  CliResult run = Qarvo({"bundle", dir.File("h"), dir.File("t")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "头文件大小:10字节,尾文件大小:5字节\n正在添加...\n添加完毕!\n");
  EXPECT_EQ(ReadFile(dir.File("h")), "0123456789abcde");

  run = Qarvo({"bundle", dir.File("h"), dir.File("h")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "文件很可能正在被另外一个程序调用!\n");
  EXPECT_EQ(ReadFile(dir.File("h")), "0123456789abcde");

  run = Qarvo({"bundle", dir.File("none"), dir.File("t")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Qarvo({"bundle", dir.File("h")}).status, 2);
}

TEST(ToolsCli, CompareExitStatusFollowsTheVerdict) {
  TempDir dir;
  WriteFile(dir.File("a"), "123456789");
  WriteFile(dir.File("b"), "123456789");
  WriteFile(dir.File("c"), "abc");
  CliResult run = Qarvo({"compare", dir.File("a"), dir.File("b")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "正在生成文件1 CRC32值....\n文件1 CRC32值:CBF43926\n正在生成文件2 CRC32值...\n"
            "文件2 CRC32值:CBF43926\n两文件相同\n");
  run = Qarvo({"compare", "--md5", dir.File("a"), dir.File("c")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "正在生成文件1 MD5值...\n文件1 MD5值:25f9e794323b453885f5181f1b624d0b\n"
            "正在生成文件2 MD5值...\n文件2 MD5值:900150983cd24fb0d6963f7d28e17f72\n两文件不相同\n");
  EXPECT_EQ(Qarvo({"compare", dir.File("a"), dir.path()}).status, 2);
  EXPECT_EQ(Qarvo({"compare", dir.File("a"), dir.File("b"), "--sha"}).status, 2);
}

TEST(ToolsCli, Mp3CutCutsAndRefusesWrongTimes) {
  TempDir dir;
  const std::string source = qarvo::test::RandomBytes(1000000, 9);
  WriteFile(dir.File("song.mp3"), source);
  CliResult run = Qarvo({"mp3cut", dir.File("song.mp3"), "--length", "0:1:40", "--start",
                         "00:00:10", "--end", "0:0:20"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "正在剪辑...\n剪辑完毕!\n");
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), source.substr(100000, 100000));

  const std::string out_dir = dir.File("out");
  ASSERT_EQ(::mkdir(out_dir.c_str(), 0755), 0);
  run = Qarvo({"mp3cut", dir.File("song.mp3"), "--length=0:1:40", "--start=0:0:0", "--end=0:1:40",
               "--out", out_dir});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(out_dir + "/song剪辑.mp3"), source);

  // Zero playing time, end before start, end after the playing time, minutes above 60, bad
  // fields: each refused before anything starts.
  const std::vector<std::vector<std::string>> wrong{
      {"0:0:0", "0:0:0", "0:0:0"},   {"0:1:40", "0:0:20", "0:0:10"}, {"0:3:0", "0:0:0", "0:3:1"},
      {"0:61:0", "0:0:0", "0:0:1"},  {"0:1:0", "0:0:0", "0:0:x"},    {"0:1:0", "0:0", "0:0:1"},
      {"0:1:0", "0:0:0", "0:0:100"},
  };
  for (const auto& times : wrong) {
    run = Qarvo({"mp3cut", dir.File("song.mp3"), "--length", times[0], "--start", times[1], "--end",
                 times[2], "--out", dir.File("fresh")});
    EXPECT_EQ(run.status, 2) << times[0] << " " << times[1] << " " << times[2];
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(Qarvo({"mp3cut", dir.File("song.mp3"), "--length", "0:1:0", "--start", "0:0:0", "--end",
                   "0:0:1", "--out", dir.File("missing")})
                .status,
            2);
  EXPECT_EQ(Qarvo({"mp3cut", dir.File("song.mp3"), "--length", "0:1:0", "--start", "0:0:0"}).status,
            2);
}

TEST(ToolsCli, HelpGoesToStdoutAndSucceeds) {
  for (const char* command : {"bundle", "compare", "mp3cut"}) {
    const CliResult run = Qarvo({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_EQ(run.out.rfind("用法: qarvo ", 0), 0u) << command;
  }
}

}  // namespace
