// Pack and unpack: outputs that already exist, two files of one name, results that fail their
// check and inputs that change while the job runs.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/capture_log.h"
#include "support/test_support.h"
#include "tools/pack.h"
#include "tools/unpack.h"

namespace qarvo {
namespace {

using test::CaptureLog;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using Lines = std::vector<std::string>;

struct Ran {
  Lines lines;
  JobResult result = JobResult::Failed;
};

Ran Pack(const std::string& out_dir, const std::string& name, const Lines& paths,
         TSMWorkInfos infos = {}, std::function<void(const std::string&)> on_line = nullptr) {
  infos.OutName = name;
  infos.Paths = paths;
  for (const std::string& path : paths) {
    infos.Sizes.push_back(std::to_string(FileSizeOf(path)));
  }
  auto log = std::make_shared<CaptureLog>();
  log->on_line = std::move(on_line);
  auto worker = TSMfile::Create(out_dir, infos, JobHost{log, nullptr});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return {log->Lines(), worker->Outcome().result};
}

Ran Unpack(const std::string& pack, const std::string& out_dir, TSMWorkInfos infos = {},
           std::function<void(const std::string&)> on_line = nullptr) {
  auto log = std::make_shared<CaptureLog>();
  log->on_line = std::move(on_line);
  auto worker = TSDfile::Create(pack, infos, out_dir, JobHost{log, nullptr});
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return {log->Lines(), worker->Outcome().result};
}

TEST(PackOverwrite, TwoFilesOfOneNameAreRefusedAndNothingIsTouched) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("d1"));
  std::filesystem::create_directories(dir.File("d2"));
  WriteFile(dir.File("d1/a"), "first a");
  WriteFile(dir.File("d2/a"), "second a");
  WriteFile(dir.File("b"), "b");
  TSMWorkInfos gone;
  gone.DeleteSource = true;
  Ran run = Pack(dir.path(), "p.pak", {dir.File("b"), dir.File("d1/a"), dir.File("d2/a")}, gone);
  EXPECT_EQ(run.lines, Lines{"文件打包:文件" + dir.File("d1/a") + "与" + dir.File("d2/a") +
                             "解包后同名,无法打包!"});
  EXPECT_EQ(run.result, JobResult::Refused);
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pak")));
  EXPECT_EQ(ReadFile(dir.File("d1/a")), "first a");
  EXPECT_EQ(ReadFile(dir.File("d2/a")), "second a");
  EXPECT_EQ(ReadFile(dir.File("b")), "b");
  // The same file listed twice, and names that differ only in the folder part of a stored line.
  run = Pack(dir.path(), "p.pak", {dir.File("b"), dir.File("b")});
  EXPECT_EQ(run.lines.back(), PackSameNameLine(dir.File("b"), dir.File("b")));
  WriteFile(dir.File("x:b"), "colon");  // unpacks as "b": the text after the ":"
  run = Pack(dir.path(), "p.pak", {dir.File("b"), dir.File("x:b")});
  EXPECT_EQ(run.lines.back(), PackSameNameLine(dir.File("b"), dir.File("x:b")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.pak")));
}

TEST(PackOverwrite, AnExistingPackIsReplacedOnlyWhenAgreed) {
  TempDir dir;
  WriteFile(dir.File("a"), "abc");
  WriteFile(dir.File("p.pak"), "an older pack");
  ASSERT_EQ(PackOutputPath(dir.path(), "p.pak"), dir.File("p.pak"));
  TSMWorkInfos gone;
  gone.DeleteSource = true;
  Ran run = Pack(dir.path(), "p.pak", {dir.File("a")}, gone);
  EXPECT_EQ(run.lines, Lines{"文件打包:文件" + dir.File("p.pak") + "已存在,未覆盖!"});
  EXPECT_EQ(run.result, JobResult::Refused);
  EXPECT_EQ(ReadFile(dir.File("p.pak")), "an older pack");
  EXPECT_TRUE(FileExists(dir.File("a")));
  gone.Overwrite = true;
  run = Pack(dir.path(), "p.pak", {dir.File("a")}, gone);
  EXPECT_EQ(run.lines.back(), kPackDone);
  EXPECT_FALSE(FileExists(dir.File("a")));
  EXPECT_NE(ReadFile(dir.File("p.pak")), "an older pack");
}

TEST(PackOverwrite, ASourceChangedWhileItIsPackedIsNotDeleted) {
  TempDir dir;
  WriteFile(dir.File("a"), "aaaa");
  WriteFile(dir.File("b"), "bbbb");
  TSMWorkInfos gone;
  gone.DeleteSource = true;
  gone.CheckKind = ChecksumKind::Crc32;
  const Ran run =
      Pack(dir.path(), "p.pak", {dir.File("a"), dir.File("b")}, gone, [&](const std::string& line) {
        if (line.rfind("正在打包第2个文件", 0) == 0) {
          WriteFile(dir.File("a"), "AAAA");
        }
      });
  EXPECT_EQ(run.lines.back(), "文件打包:文件" + dir.File("a") + "读取后被改动过,未删除!");
  EXPECT_EQ(run.result, JobResult::Failed);
  EXPECT_EQ(ReadFile(dir.File("a")), "AAAA");
  EXPECT_FALSE(FileExists(dir.File("b")));  // as it was read: its copy in the pack stands
  EXPECT_TRUE(FileExists(dir.File("p.pak")));
}

class UnpackOverwrite : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("src"));
    WriteFile(dir_.File("src/x1"), "one");
    WriteFile(dir_.File("src/x2"), "two");
    TSMWorkInfos md5;
    md5.CheckKind = ChecksumKind::Md5;
    const Ran run = Pack(dir_.path(), "p.pak", {dir_.File("src/x1"), dir_.File("src/x2")}, md5);
    ASSERT_EQ(run.lines.back(), kPackDone);
    std::filesystem::create_directories(dir_.File("out"));
  }
  TempDir dir_;
};

TEST_F(UnpackOverwrite, ExistingFilesAreNamedOnceAndNothingIsWrittenUnlessAgreed) {
  WriteFile(dir_.File("out/x1"), "old one");
  WriteFile(dir_.File("out/x2"), "old two");
  EXPECT_EQ(TSDfile::OutputPaths(dir_.File("p.pak"), "", dir_.File("out")),
            (Lines{dir_.File("out/x1"), dir_.File("out/x2")}));
  TSMWorkInfos gone;
  gone.DeleteSource = true;
  Ran run = Unpack(dir_.File("p.pak"), dir_.File("out"), gone);
  EXPECT_EQ(run.lines, (Lines{"正在分析文件...", "文件解包:文件" + dir_.File("out/x1") +
                                                     "已存在,共有2个文件已存在,未覆盖!"}));
  EXPECT_NE(run.result, JobResult::Succeeded);
  EXPECT_EQ(ReadFile(dir_.File("out/x1")), "old one");
  EXPECT_EQ(test::NamesIn(dir_.File("out")), (Lines{"x1", "x2"}));
  EXPECT_TRUE(FileExists(dir_.File("p.pak")));

  gone.Overwrite = true;
  run = Unpack(dir_.File("p.pak"), dir_.File("out"), gone);
  EXPECT_EQ(run.lines.back(), kUnpackDone);
  EXPECT_EQ(ReadFile(dir_.File("out/x1")), "one");
  EXPECT_FALSE(FileExists(dir_.File("p.pak")));
}

TEST_F(UnpackOverwrite, AFileThatFailsItsCheckGoesBesideTheOldOne) {
  std::string pack = ReadFile(dir_.File("p.pak"));
  pack[0] = 'O';  // x1's first byte
  WriteFile(dir_.File("p.pak"), pack);
  WriteFile(dir_.File("out/x1"), "old one");
  TSMWorkInfos agreed;
  agreed.Overwrite = true;
  agreed.DeleteSource = true;
  const Ran run = Unpack(dir_.File("p.pak"), dir_.File("out"), agreed);
  EXPECT_EQ(run.lines, (Lines{"正在分析文件...", "正在解包第1个文件,剩余1个文件...",
                              "正在解包第2个文件,剩余0个文件...", "正在校验文件...",
                              std::string("x1") + kUnpackDiffers, std::string("x2") + kUnpackSame,
                              UnpackKeptBesideLine("x1", dir_.File("out/x1.校验失败")),
                              kUnpackKeptPack, kUnpackDone}));
  EXPECT_EQ(run.result, JobResult::Mismatch);
  EXPECT_EQ(ReadFile(dir_.File("out/x1")), "old one");
  EXPECT_EQ(ReadFile(dir_.File("out/x1.校验失败")), "One");
  EXPECT_EQ(ReadFile(dir_.File("out/x2")), "two");
  EXPECT_TRUE(FileExists(dir_.File("p.pak")));
}

TEST_F(UnpackOverwrite, APackChangedWhileItIsUnpackedIsNotDeleted) {
  TSMWorkInfos gone;
  gone.DeleteSource = true;
  const Ran run = Unpack(dir_.File("p.pak"), dir_.File("out"), gone, [&](const std::string& line) {
    if (line == "正在校验文件...") {
      WriteFile(dir_.File("p.pak"), ReadFile(dir_.File("p.pak")));
    }
  });
  EXPECT_EQ(run.lines.back(), "文件解包:文件" + dir_.File("p.pak") + "读取后被改动过,未删除!");
  EXPECT_EQ(run.result, JobResult::Failed);
  EXPECT_TRUE(FileExists(dir_.File("p.pak")));
  EXPECT_EQ(ReadFile(dir_.File("out/x2")), "two");
}

TEST(UnpackNames, NumbersGoBeforeTheExtension) {
  EXPECT_EQ(NumberedName("a", 2), "a (2)");
  EXPECT_EQ(NumberedName("a.txt", 3), "a (3).txt");
  EXPECT_EQ(NumberedName(".hidden", 2), ".hidden (2)");
  EXPECT_EQ(NumberedName("a.tar.gz", 2), "a.tar (2).gz");
}

}  // namespace
}  // namespace qarvo
