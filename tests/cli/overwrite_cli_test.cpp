#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/run_qarvo.h"
#include "support/test_support.h"

namespace {

using qarvo::test::CliResult;
using qarvo::test::Contains;
using qarvo::test::ReadFile;
using qarvo::test::RunQarvo;
using qarvo::test::TempDir;
using qarvo::test::WriteFile;

// Two sources whose piece names are the same: the second split is refused, and the first
// source, deleted after its split, comes back whole from its pieces.
TEST(OverwriteCli, ClipMp4AndClipMkvKeepTheFirstSet) {
  TempDir dir;
  const std::string mp4 = qarvo::test::RandomBytes(50000, 1);
  WriteFile(dir.File("clip.mp4"), mp4);
  WriteFile(dir.File("clip.mkv"), qarvo::test::RandomBytes(40000, 2));
  CliResult run = RunQarvo(
      {"split", dir.File("clip.mp4"), "--count", "3", "--delete-source", "--check", "md5"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(std::filesystem::exists(dir.File("clip.mp4")));
  run = RunQarvo({"split", dir.File("clip.mkv"), "--count", "3"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Contains(
      run.err, "qarvo split: 文件" + dir.File("clip1.vrk") + "已存在,共有3个文件已存在,未覆盖!"))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "--overwrite")) << run.err;
  run = RunQarvo({"merge", dir.File("clip1.vrk")});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(ReadFile(dir.File("clip.mp4")) == mp4);
  // Asked for, the second set replaces the first.
  std::filesystem::remove(dir.File("clip.mp4"));
  run = RunQarvo({"split", dir.File("clip.mkv"), "--count", "3", "--overwrite"});
  EXPECT_EQ(run.status, 0) << run.err;
  TempDir out;
  run = RunQarvo({"merge", dir.File("clip1.vrk"), "--out", out.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(ReadFile(out.File("clip.mkv")) == ReadFile(dir.File("clip.mkv")));
}

// Two files named "a" in one pack: the pack is refused, nothing is written or deleted.
TEST(OverwriteCli, TwoFilesNamedAAreNotPacked) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("d1"));
  std::filesystem::create_directories(dir.File("d2"));
  WriteFile(dir.File("d1/a"), "one");
  WriteFile(dir.File("d2/a"), "two");
  const CliResult run = RunQarvo({"pack", dir.File("d1/a"), dir.File("d2/a"), "--out", dir.path(),
                                  "--name", "p.pak", "--delete-sources"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "文件打包:文件" + dir.File("d1/a") + "与" + dir.File("d2/a") +
                         "解包后同名,无法打包!\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pak")));
  EXPECT_EQ(ReadFile(dir.File("d1/a")), "one");
  EXPECT_EQ(ReadFile(dir.File("d2/a")), "two");
}

TEST(OverwriteCli, EveryWritingCommandRefusesExistingFilesWithoutOverwrite) {
  TempDir dir;
  TempDir out;
  WriteFile(dir.File("a"), "abc");
  WriteFile(dir.File("song.mp3"), qarvo::test::RandomBytes(1000, 3));
  ASSERT_EQ(RunQarvo({"pack", dir.File("a"), "--out", dir.path(), "--name", "p.pak"}).status, 0);
  WriteFile(out.File("a"), "older a");
  WriteFile(dir.File("song剪辑.mp3"), "older cut");
  struct Case {
    std::vector<std::string> args;
    std::string existing;
  };
  const std::vector<Case> cases = {
      {{"pack", dir.File("a"), "--out", dir.path(), "--name", "p.pak"}, dir.File("p.pak")},
      {{"unpack", dir.File("p.pak"), "--out", out.path(), "--delete-pack"}, out.File("a")},
      {{"mp3cut", dir.File("song.mp3"), "--length", "0:0:10", "--start", "0:0:1", "--end", "0:0:2"},
       dir.File("song剪辑.mp3")},
  };
  const std::string pack = ReadFile(dir.File("p.pak"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    CliResult run = RunQarvo(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "qarvo " + c.args[0] + ": 文件" + c.existing + "已存在"))
        << run.err;
    EXPECT_EQ(ReadFile(dir.File("p.pak")), pack);
    EXPECT_EQ(ReadFile(out.File("a")), "older a");
    EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")), "older cut");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> args = c.args;
    args.push_back("--overwrite");
    const CliResult run = RunQarvo(args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
  }
  EXPECT_EQ(ReadFile(out.File("a")), "abc");
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pak")));
  EXPECT_EQ(ReadFile(dir.File("song剪辑.mp3")).size(), 100u);
}

}  // namespace
