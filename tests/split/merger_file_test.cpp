#include "split/merger_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "split/cut_file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::kBusy;
using test::kIdle;
using test::kShake;
using test::Recorder;
using test::RunMerge;
using test::RunSplit;
using test::TempDir;
using Events = std::vector<std::string>;

// Splits `content`, written as dir/name, and removes the source so that only the set remains.
void MakeSet(const TempDir& dir, const std::string& name, const std::string& content, int32_t count,
             TCWorkInfos options = {}) {
  const std::string source = dir.File(name);
  test::WriteFile(source, content);
  const Events events = RunSplit(source, options, count, dir.path());
  ASSERT_GE(events.size(), 2u);
  ASSERT_EQ(events[events.size() - 2], "分割成功!");
  std::filesystem::remove(source);
}

void Overwrite(const std::string& path, int64_t at, const std::string& bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(at);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good());
}

class MergerFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  TempDir out_;
};

TEST_F(MergerFileTest, JoinsAndVerifiesFromAnyPiece) {
  const std::string content = test::RandomBytes(100003, 1);
  TCWorkInfos options;
  options.CheckKind = ChecksumKind::Crc32;
  MakeSet(dir_, "clip.mp4", content, 5, options);
  auto recorder = std::make_shared<Recorder>();
  recorder->SetShake(true);
  EXPECT_EQ(RunMerge(dir_.File("clip3.vrk"), {}, out_.path(), recorder),
            (Events{kBusy, "正在分析文件...", "正在合并第1个文件,剩余4个文件...",
                    "正在合并第2个文件,剩余3个文件...", "正在合并第3个文件,剩余2个文件...",
                    "正在合并第4个文件,剩余1个文件...", "正在合并第5个文件,剩余0个文件...",
                    "正在验证生成文件...", "校验结果:与原文件相同!", "合并成功!", kIdle, kShake}));
  EXPECT_TRUE(test::ReadFile(out_.File("clip.mp4")) == content);
  // Without deletion the pieces stay.
  EXPECT_TRUE(FileExists(dir_.File("clip1.vrk")));
  const auto progress = recorder->ProgressCalls();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().first, progress.back().second);
  // The verification follows the writing, so the bar runs once over the output, never back.
  for (const auto& [done, total] : progress) {
    EXPECT_EQ(total, static_cast<int64_t>(content.size())) << done;
  }
}

TEST_F(MergerFileTest, CompressedSetWithMd5AndDeletion) {
  std::string content;
  for (int i = 0; i < 20000; ++i) {
    content += "row " + std::to_string(i) + "\n";
  }
  TCWorkInfos options;
  options.CheckKind = ChecksumKind::Md5;
  options.Compress = 1;
  options.Level = 3;
  MakeSet(dir_, "rows.csv", content, 4, options);
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  merge.Password = "typed but not needed";
  const Events events = RunMerge(dir_.File("rows4.vrk"), merge, out_.path());
  EXPECT_EQ(Events(events.end() - 5, events.end()),
            (Events{"正在合并第4个文件,剩余0个文件...", "正在验证生成文件...",
                    "校验结果:与原文件相同!", "合并成功!", kIdle}));
  EXPECT_TRUE(test::ReadFile(out_.File("rows.csv")) == content);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_FALSE(FileExists(dir_.File("rows" + std::to_string(n) + ".vrk")));
  }
}

TEST_F(MergerFileTest, NoVerificationLineWithoutChecksumOrWhenSkipped) {
  const std::string content = test::RandomBytes(5000, 2);
  MakeSet(dir_, "plain.bin", content, 2);
  const Events plain = RunMerge(dir_.File("plain1.vrk"), {}, out_.path());
  EXPECT_EQ(plain, (Events{kBusy, "正在分析文件...", "正在合并第1个文件,剩余1个文件...",
                           "正在合并第2个文件,剩余0个文件...", "合并成功!", kIdle}));

  TCWorkInfos crc;
  crc.CheckKind = ChecksumKind::Crc32;
  MakeSet(dir_, "checked.bin", content, 2, crc);
  TMWorkInfos skip;
  skip.SkipVerify = 1;
  EXPECT_EQ(RunMerge(dir_.File("checked2.vrk"), skip, out_.path()),
            (Events{kBusy, "正在分析文件...", "正在合并第1个文件,剩余1个文件...",
                    "正在合并第2个文件,剩余0个文件...", "合并成功!", kIdle}));
  EXPECT_TRUE(test::ReadFile(out_.File("checked.bin")) == content);
}

TEST_F(MergerFileTest, MismatchIsReportedAndThePiecesStay) {
  const std::string content = test::RandomBytes(3000, 3);
  TCWorkInfos md5;
  md5.CheckKind = ChecksumKind::Md5;
  MakeSet(dir_, "t.dat", content, 3, md5);
  Overwrite(dir_.File("t2.vrk"), 10, std::string(1, static_cast<char>(content[1010] ^ 0x55)));
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  auto recorder = std::make_shared<Recorder>();
  recorder->SetShake(true);
  const Events events = RunMerge(dir_.File("t1.vrk"), merge, out_.path(), recorder);
  // A mismatch is a failure: no success line, no shake, and the line names the joined file.
  EXPECT_EQ(Events(events.end() - 5, events.end()),
            (Events{"正在验证生成文件...", "校验结果:与原文件不符!", kMergeKeptPieces,
                    MergeMismatchLine(out_.File("t.dat"), false), kIdle}));
  EXPECT_EQ(test::NamesIn(out_.path()), std::vector<std::string>{"t.dat"});
  // The pieces may be the only good copy left.
  EXPECT_TRUE(FileExists(dir_.File("t1.vrk")));
  EXPECT_TRUE(FileExists(dir_.File("t2.vrk")));
  EXPECT_TRUE(FileExists(dir_.File("t3.vrk")));
  EXPECT_EQ(std::filesystem::file_size(out_.File("t.dat")), content.size());

  // Without the deletion asked for, no line about keeping them.
  const Events kept = RunMerge(dir_.File("t1.vrk"), {}, out_.path());
  EXPECT_FALSE(std::count(kept.begin(), kept.end(), std::string(kMergeKeptPieces)));
}

TEST_F(MergerFileTest, PasswordIsCheckedBeforeAnythingIsWritten) {
  const std::string content = test::RandomBytes(2000, 4);
  TCWorkInfos options;
  options.Password = "Secret99";
  MakeSet(dir_, "locked.txt", content, 2, options);
  for (const std::string typed : {"", "secret99", "Secret9"}) {
    TMWorkInfos merge;
    merge.Password = typed;
    auto recorder = std::make_shared<Recorder>();
    recorder->SetShake(true);
    EXPECT_EQ(RunMerge(dir_.File("locked2.vrk"), merge, out_.path(), recorder),
              (Events{kBusy, "正在分析文件...",
                      "文件合并:此文件需要密码才能合并,请在密码选项输入正确的密码!", kIdle}))
        << typed;
    EXPECT_FALSE(FileExists(out_.File("locked.txt")));
  }
  TMWorkInfos right;
  right.Password = "Secret99";
  const Events events = RunMerge(dir_.File("locked2.vrk"), right, out_.path());
  EXPECT_EQ(events[events.size() - 2], "合并成功!");
  EXPECT_TRUE(test::ReadFile(out_.File("locked.txt")) == content);
}

TEST_F(MergerFileTest, NamesComeFromTheHeaderNotFromTheChosenFile) {
  const std::string content = test::RandomBytes(4000, 5);
  MakeSet(dir_, "album.zip", content, 3);
  for (int n = 1; n <= 3; ++n) {
    std::filesystem::rename(dir_.File("album" + std::to_string(n) + ".vrk"),
                            dir_.File("renamed" + std::to_string(n) + ".vrk"));
  }
  EXPECT_EQ(RunMerge(dir_.File("renamed2.vrk"), {}, out_.path()),
            (Events{kBusy, "正在分析文件...", "文件合并:文件" + dir_.File("album1.vrk") + "不存在!",
                    kIdle}));
  EXPECT_FALSE(FileExists(out_.File("album.zip")));

  // The chosen file itself may have any name as long as the set is complete beside it.
  std::filesystem::rename(dir_.File("renamed1.vrk"), dir_.File("album1.vrk"));
  std::filesystem::rename(dir_.File("renamed3.vrk"), dir_.File("album3.vrk"));
  std::filesystem::copy_file(dir_.File("renamed2.vrk"), dir_.File("album2.vrk"));
  const Events events = RunMerge(dir_.File("renamed2.vrk"), {}, out_.path());
  EXPECT_EQ(events[events.size() - 2], "合并成功!");
  EXPECT_TRUE(test::ReadFile(out_.File("album.zip")) == content);
}

TEST_F(MergerFileTest, OnlyTheFirstMissingPieceIsNamed) {
  MakeSet(dir_, "m.bin", test::RandomBytes(500, 6), 4);
  std::filesystem::remove(dir_.File("m2.vrk"));
  std::filesystem::remove(dir_.File("m3.vrk"));
  test::WriteFile(dir_.File("m5.vrk"), "an extra file beyond the count is ignored");
  EXPECT_EQ(
      RunMerge(dir_.File("m4.vrk"), {}, out_.path()),
      (Events{kBusy, "正在分析文件...", "文件合并:文件" + dir_.File("m2.vrk") + "不存在!", kIdle}));
  EXPECT_FALSE(FileExists(out_.File("m.bin")));
}

TEST_F(MergerFileTest, FilesThatAreNotPiecesAreNotRecognised) {
  const Events refused = {kBusy, "正在分析文件...", "文件合并:无法识别文件!", kIdle};
  test::WriteFile(dir_.File("short.vrk"), std::string(344, 'x'));
  EXPECT_EQ(RunMerge(dir_.File("short.vrk"), {}, out_.path()), refused);
  test::WriteFile(dir_.File("empty.vrk"), "");
  EXPECT_EQ(RunMerge(dir_.File("empty.vrk"), {}, out_.path()), refused);
  test::WriteFile(dir_.File("noise.vrk"), test::RandomBytes(2000, 7));
  EXPECT_EQ(RunMerge(dir_.File("noise.vrk"), {}, out_.path()), refused);
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(MergerFileTest, ReplacesAFileOfTheSourceName) {
  const std::string content = test::RandomBytes(1234, 8);
  MakeSet(dir_, "same.txt", content, 2);
  const std::string older(100000, 'o');
  test::WriteFile(out_.File("same.txt"), older);
  // Unasked, the file stays and nothing is written.
  EXPECT_EQ(RunMerge(dir_.File("same1.vrk"), {}, out_.path()),
            (Events{kBusy, "正在分析文件...",
                    ExistingOutputsLine(kMergeJob, {out_.File("same.txt"), 1}), kIdle}));
  EXPECT_TRUE(test::ReadFile(out_.File("same.txt")) == older);
  EXPECT_EQ(test::NamesIn(out_.path()), std::vector<std::string>{"same.txt"});
  TMWorkInfos agreed;
  agreed.Overwrite = 1;
  RunMerge(dir_.File("same1.vrk"), agreed, out_.path());
  EXPECT_TRUE(test::ReadFile(out_.File("same.txt")) == content);
}

TEST_F(MergerFileTest, NeverWritesTheOutputOverAPiece) {
  MakeSet(dir_, "loop.bin", test::RandomBytes(900, 19), 2);
  const std::string piece = test::ReadFile(dir_.File("loop1.vrk"));
  std::filesystem::create_symlink(dir_.File("loop1.vrk"), out_.File("loop.bin"));
  TMWorkInfos agreed;  // even when the user agreed to replace the file of that name
  agreed.Overwrite = 1;
  const Events events = RunMerge(dir_.File("loop2.vrk"), agreed, out_.path());
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件合并:文件很可能正在被其它程序调用!",
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  EXPECT_TRUE(test::ReadFile(dir_.File("loop1.vrk")) == piece);
}

TEST_F(MergerFileTest, AnOutputDirectoryWithOrWithoutTrailingSeparator) {
  const std::string content = test::RandomBytes(700, 9);
  MakeSet(dir_, "slash.bin", content, 2);
  RunMerge(dir_.File("slash1.vrk"), {}, out_.path() + "/");
  EXPECT_TRUE(test::ReadFile(out_.File("slash.bin")) == content);
  // Output into the pieces' own folder.
  RunMerge(dir_.File("slash2.vrk"), {}, dir_.path());
  EXPECT_TRUE(test::ReadFile(dir_.File("slash.bin")) == content);
}

TEST_F(MergerFileTest, ShortPieceFailsTheJoinWithoutTrailerBytes) {
  const std::string content = test::RandomBytes(3000, 10);
  MakeSet(dir_, "cut.bin", content, 3);
  std::filesystem::resize_file(dir_.File("cut2.vrk"), 344);
  auto recorder = std::make_shared<Recorder>();
  recorder->SetShake(true);
  EXPECT_EQ(RunMerge(dir_.File("cut1.vrk"), {}, out_.path(), recorder),
            (Events{kBusy, "正在分析文件...", MergeWrongSizeLine(dir_.File("cut2.vrk")), kIdle}));
  EXPECT_FALSE(std::filesystem::exists(out_.File("cut.bin")));
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(MergerFileTest, DamagedOrShortCompressedPieceFailsWithoutInventedBytes) {
  const std::string content = test::RandomBytes(30000, 11);
  TCWorkInfos options;
  options.Compress = 1;
  MakeSet(dir_, "z.bin", content, 3, options);
  const std::string backup = test::ReadFile(dir_.File("z2.vrk"));

  // A stream cut short: the piece keeps its trailer but loses the end of its zlib data.
  const std::string trailer = backup.substr(backup.size() - 344);
  test::WriteFile(dir_.File("z2.vrk"), backup.substr(0, backup.size() - 344 - 3000) + trailer);
  Events events = RunMerge(dir_.File("z1.vrk"), {}, out_.path());
  // Named as the set check names it, not as a file in use.
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件合并:文件" + dir_.File("z2.vrk") + "已损坏!",
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  // Nothing of a failed join is left, not even the whole pieces before the bad one.
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));

  // Damaged deflate data.
  std::string damaged = backup;
  for (size_t i = 100; i < 200; ++i) {
    damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
  }
  test::WriteFile(dir_.File("z2.vrk"), damaged);
  events = RunMerge(dir_.File("z3.vrk"), {}, out_.path());
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件合并:文件" + dir_.File("z2.vrk") + "已损坏!",
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));

  // A declared length that does not fit the set is refused before anything is written.
  std::string longer = backup;
  longer[3] = 0x10;
  test::WriteFile(dir_.File("z2.vrk"), longer);
  events = RunMerge(dir_.File("z3.vrk"), {}, out_.path());
  EXPECT_EQ(events,
            (Events{kBusy, "正在分析文件...", MergeWrongSizeLine(dir_.File("z2.vrk")), kIdle}));
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(MergerFileTest, UnreadableChosenPieceGetsItsOwnLine) {
  MakeSet(dir_, "busy.bin", test::RandomBytes(2000, 12), 2);
  File holder(dir_.File("busy2.vrk"), OpenMode::Read, Share::Exclusive);
  EXPECT_EQ(RunMerge(dir_.File("busy2.vrk"), {}, out_.path()),
            (Events{kBusy, "正在分析文件...",
                    "文件合并:无法读取文件" + dir_.File("busy2.vrk") + ",它可能正在被其它程序使用!",
                    kIdle}));
  EXPECT_FALSE(FileExists(out_.File("busy.bin")));
}

TEST_F(MergerFileTest, LockedPieceDuringTheJoinFailsIt) {
  const std::string content = test::RandomBytes(2000, 13);
  MakeSet(dir_, "held.bin", content, 2);
  File holder(dir_.File("held2.vrk"), OpenMode::Read, Share::Exclusive);
  const Events events = RunMerge(dir_.File("held1.vrk"), {}, out_.path());
  EXPECT_EQ(Events(events.end() - 4, events.end()),
            (Events{"正在合并第2个文件,剩余0个文件...", "文件合并:文件很可能正在被其它程序调用!",
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(MergerFileTest, TheOutputStaysTheJobsOwnThroughTheVerification) {
  const std::string content = test::RandomBytes(40000, 14);
  TCWorkInfos crc;
  crc.CheckKind = ChecksumKind::Crc32;
  MakeSet(dir_, "mine.bin", content, 2, crc);
  auto recorder = std::make_shared<Recorder>();
  const std::string output = out_.File("mine.bin");
  // Another job writes under the output's name while this one verifies what it joined.
  recorder->OnLine([&](const std::string& line) {
    if (line == "正在验证生成文件...") {
      test::WriteFile(output, "not the joined file");
    }
  });
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  merge.Overwrite = 1;
  const Events events = RunMerge(dir_.File("mine1.vrk"), merge, out_.path(), recorder);
  EXPECT_EQ(Events(events.end() - 4, events.end()),
            (Events{"正在验证生成文件...", "校验结果:与原文件相同!", "合并成功!", kIdle}));
  EXPECT_TRUE(test::ReadFile(output) == content);
  EXPECT_FALSE(FileExists(dir_.File("mine1.vrk")));
  EXPECT_FALSE(FileExists(dir_.File("mine2.vrk")));
}

TEST_F(MergerFileTest, WriteFailureInTheMiddleOfTheOutput) {
  const std::string content = test::RandomBytes(400000, 15);
  MakeSet(dir_, "full.bin", content, 2);
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  merge.Overwrite = 1;
  test::WriteFile(out_.File("full.bin"), "an older file of that name");
  Events events;
  {
    test::FileSizeLimit limit(300000);
    ASSERT_TRUE(limit.ok());
    events = RunMerge(dir_.File("full1.vrk"), merge, out_.path());
  }
  EXPECT_EQ(events,
            (Events{kBusy, "正在分析文件...", "正在合并第1个文件,剩余1个文件...",
                    "正在合并第2个文件,剩余0个文件...", "文件合并:文件很可能正在被其它程序调用!",
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  EXPECT_TRUE(FileExists(dir_.File("full1.vrk")));
  EXPECT_TRUE(FileExists(dir_.File("full2.vrk")));
  // No half file: the older file of that name is as it was, and no temporary file is left.
  EXPECT_EQ(test::ReadFile(out_.File("full.bin")), "an older file of that name");
  EXPECT_EQ(test::NamesIn(out_.path()), std::vector<std::string>{"full.bin"});
}

TEST_F(MergerFileTest, PauseHoldsBackLinesAndOutputData) {
  std::string content;
  const std::string block = test::RandomBytes(1024 * 1024, 16);
  for (int i = 0; i < 40; ++i) {
    content += block;
    content[content.size() - 1] = static_cast<char>(i);
  }
  TCWorkInfos crc;
  crc.CheckKind = ChecksumKind::Crc32;
  MakeSet(dir_, "paused.bin", content, 2, crc);
  auto recorder = std::make_shared<Recorder>();
  // The job announces its total just before its first piece; it is paused right there.
  test::JobLatch latch;
  test::ReleaseOnExit release(latch);
  latch.AtFirstProgress(*recorder);
  TMWorkInfos merge;
  merge.Log = recorder;
  auto worker = TMergerFile::Create(dir_.File("paused1.vrk"), merge, out_.path(), recorder);
  ASSERT_TRUE(latch.WaitArrived());
  worker->Pause();
  latch.Release();
  const size_t events_at_pause = recorder->Count();
  const std::string output = out_.File("paused.bin");
  const auto size_at_pause = FileExists(output) ? std::filesystem::file_size(output) : 0;
  EXPECT_FALSE(recorder->WaitForMoreThan(events_at_pause, std::chrono::milliseconds(300)));
  EXPECT_EQ(FileExists(output) ? std::filesystem::file_size(output) : 0, size_at_pause);
  EXPECT_FALSE(recorder->Has("正在合并第1个文件,剩余1个文件..."));
  worker->Continue();
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  EXPECT_TRUE(recorder->Has("校验结果:与原文件相同!"));
  EXPECT_TRUE(test::ReadFile(output) == content);
}

TEST_F(MergerFileTest, SplitAndMergeRunAtTheSameTime) {
  const std::string merged_content = test::RandomBytes(8 * 1024 * 1024, 17);
  TCWorkInfos md5;
  md5.CheckKind = ChecksumKind::Md5;
  MakeSet(dir_, "a.bin", merged_content, 3, md5);
  const std::string split_content = test::RandomBytes(8 * 1024 * 1024, 18);
  test::WriteFile(out_.File("b.bin"), split_content);

  auto merge_log = std::make_shared<Recorder>();
  auto split_log = std::make_shared<Recorder>();
  TMWorkInfos merge;
  merge.Log = merge_log;
  TCWorkInfos split;
  split.Log = split_log;
  split.CheckKind = ChecksumKind::Md5;
  auto merger = TMergerFile::Create(dir_.File("a2.vrk"), merge, out_.path(), merge_log);
  auto cutter = TCutFile::Create(out_.File("b.bin"), split, 3, out_.path(), split_log);
  ASSERT_TRUE(merger->WaitFinished(test::kJobDeadline));
  ASSERT_TRUE(cutter->WaitFinished(test::kJobDeadline));
  EXPECT_TRUE(merge_log->Has("校验结果:与原文件相同!"));
  EXPECT_TRUE(merge_log->Has("合并成功!"));
  EXPECT_TRUE(split_log->Has("分割成功!"));
  EXPECT_TRUE(test::ReadFile(out_.File("a.bin")) == merged_content);
  EXPECT_TRUE(FileExists(out_.File("b3.vrk")));
}

// A piece file rebuilt from its payload and trailer.
void Rebuild(const std::string& piece, const std::string& payload) {
  const std::string bytes = test::ReadFile(piece);
  test::WriteFile(piece, payload + bytes.substr(bytes.size() - kHeaderTrailerSize));
}

std::string PayloadOf(const std::string& piece) {
  const std::string bytes = test::ReadFile(piece);
  return bytes.substr(0, bytes.size() - kHeaderTrailerSize);
}

TEST_F(MergerFileTest, APieceOfAnotherSetUnderTheExpectedNameIsNamed) {
  // Splitting "q1" writes q11.vrk, the name of piece 11 of "q".
  MakeSet(dir_, "q", test::RandomBytes(1100, 31), 11);
  TCWorkInfos agreed;
  agreed.Overwrite = 1;
  MakeSet(dir_, "q1", test::RandomBytes(300, 32), 3, agreed);
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  EXPECT_EQ(RunMerge(dir_.File("q3.vrk"), merge, out_.path()),
            (Events{kBusy, "正在分析文件...", MergeForeignPieceLine(dir_.File("q11.vrk")), kIdle}));
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
  EXPECT_TRUE(FileExists(dir_.File("q1.vrk")));
  // The set of "q1" itself is whole and joins.
  const Events q1 = RunMerge(dir_.File("q12.vrk"), {}, out_.path());
  EXPECT_EQ(q1[q1.size() - 2], "合并成功!");
}

TEST_F(MergerFileTest, PiecesMustHaveTheSizesASplitGivesThem) {
  const std::string content = test::RandomBytes(4003, 33);  // shares 1000, 1000, 1000, 1003
  MakeSet(dir_, "s.bin", content, 4);
  const std::string second = PayloadOf(dir_.File("s2.vrk"));
  const std::string first = PayloadOf(dir_.File("s1.vrk"));
  const std::string last = PayloadOf(dir_.File("s4.vrk"));
  struct Case {
    std::string piece;
    std::string payload;
  };
  const std::vector<Case> cases = {
      {"s2.vrk", second + "x"},      // a middle piece too long
      {"s2.vrk", second.substr(1)},  // a middle piece too short
      {"s1.vrk", first.substr(2)},   // the first piece alone stands out
      {"s4.vrk", last.substr(4)},    // the last shorter than the others
      {"s4.vrk", last + "1"},        // remainder 4 is not below the count 4
  };
  for (const Case& bad : cases) {
    const std::string good = test::ReadFile(dir_.File(bad.piece));
    Rebuild(dir_.File(bad.piece), bad.payload);
    EXPECT_EQ(RunMerge(dir_.File("s3.vrk"), {}, out_.path()),
              (Events{kBusy, "正在分析文件...", MergeWrongSizeLine(dir_.File(bad.piece)), kIdle}))
        << bad.piece << " " << bad.payload.size();
    EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
    test::WriteFile(dir_.File(bad.piece), good);
  }
  // The largest remainder a split leaves still fits.
  Rebuild(dir_.File("s4.vrk"), last.substr(0, 1000) + "abc");
  const Events events = RunMerge(dir_.File("s3.vrk"), {}, out_.path());
  EXPECT_EQ(events[events.size() - 2], "合并成功!");
}

TEST_F(MergerFileTest, APieceSwappedDuringTheJoinFailsItAndLeavesNothing) {
  const std::string content = test::RandomBytes(3000, 34);
  MakeSet(dir_, "w.bin", content, 3);
  MakeSet(dir_, "other", test::RandomBytes(3000, 35), 3);
  test::WriteFile(out_.File("w.bin"), "older");
  auto recorder = std::make_shared<Recorder>();
  // Another program puts a piece of another set in place after the analysis approved the set.
  recorder->OnLine([&](const std::string& line) {
    if (line == MergeProgressLine(1, 2)) {
      std::filesystem::copy_file(dir_.File("other2.vrk"), dir_.File("w2.vrk"),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  });
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  merge.Overwrite = 1;
  const Events events = RunMerge(dir_.File("w1.vrk"), merge, out_.path(), recorder);
  EXPECT_EQ(Events(events.end() - 4, events.end()),
            (Events{MergeProgressLine(2, 1), MergeForeignPieceLine(dir_.File("w2.vrk")),
                    "文件合并:合并失败!如有疑问请与作者联系。", kIdle}));
  EXPECT_EQ(test::ReadFile(out_.File("w.bin")), "older");
  EXPECT_TRUE(FileExists(dir_.File("w1.vrk")));
  EXPECT_TRUE(FileExists(dir_.File("w3.vrk")));
}

TEST_F(MergerFileTest, AnOutputNameThatIsASymbolicLinkIsReplaced) {
  const std::string content = test::RandomBytes(2000, 36);
  MakeSet(dir_, "link.bin", content, 2);
  test::WriteFile(dir_.File("target"), "keep me");
  std::filesystem::create_symlink(dir_.File("target"), out_.File("link.bin"));
  TMWorkInfos agreed;
  agreed.Overwrite = 1;
  const Events events = RunMerge(dir_.File("link1.vrk"), agreed, out_.path());
  EXPECT_EQ(events[events.size() - 2], "合并成功!");
  EXPECT_EQ(test::ReadFile(dir_.File("target")), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(out_.File("link.bin")));
  EXPECT_TRUE(test::ReadFile(out_.File("link.bin")) == content);
}

TEST_F(MergerFileTest, PiecesGoAfterAGoodOrNoVerification) {
  const std::string content = test::RandomBytes(5000, 37);
  TCWorkInfos md5;
  md5.CheckKind = ChecksumKind::Md5;
  MakeSet(dir_, "g.bin", content, 2, md5);
  MakeSet(dir_, "n.bin", content, 2);
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  const Events checked = RunMerge(dir_.File("g1.vrk"), merge, out_.path());
  EXPECT_EQ(Events(checked.end() - 3, checked.end()),
            (Events{"校验结果:与原文件相同!", "合并成功!", kIdle}));
  const Events unchecked = RunMerge(dir_.File("n1.vrk"), merge, out_.path());
  EXPECT_EQ(unchecked[unchecked.size() - 2], "合并成功!");
  for (const char* piece : {"g1.vrk", "g2.vrk", "n1.vrk", "n2.vrk"}) {
    EXPECT_FALSE(FileExists(dir_.File(piece))) << piece;
  }
  EXPECT_TRUE(test::ReadFile(out_.File("g.bin")) == content);
  EXPECT_TRUE(test::ReadFile(out_.File("n.bin")) == content);
}

}  // namespace
}  // namespace qarvo
