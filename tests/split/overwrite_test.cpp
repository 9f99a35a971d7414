// Outputs that already exist, results that fail their check, and inputs that change while a
// split or a merge runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "platform/file.h"
#include "platform/file_checks.h"
#include "split/cut_file.h"
#include "split/job_runs.h"
#include "split/merger_file.h"
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

bool HasEvent(const Events& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

// Two sources whose pieces share their names: the second split must not take the first one's
// set, which is all that is left of a source deleted after its split.
TEST(Overwrite, ASplitLeavesPiecesOfTheSameNameAloneUnlessAgreed) {
  TempDir dir;
  TempDir out;
  const std::string mp4 = test::RandomBytes(30000, 1);
  test::WriteFile(dir.File("clip.mp4"), mp4);
  test::WriteFile(dir.File("clip.mkv"), test::RandomBytes(20000, 2));
  TCWorkInfos gone;
  gone.DeleteSource = 1;
  gone.CheckKind = ChecksumKind::Md5;
  Events events = RunSplit(dir.File("clip.mp4"), gone, 3, dir.path());
  ASSERT_EQ(events[events.size() - 2], kSplitSucceeded);
  ASSERT_FALSE(FileExists(dir.File("clip.mp4")));

  EXPECT_EQ(SplitPiecePaths(dir.File("clip.mkv"), 3, dir.path()),
            (std::vector<std::string>{dir.File("clip1.vrk"), dir.File("clip2.vrk"),
                                      dir.File("clip3.vrk")}));
  const std::string piece1 = test::ReadFile(dir.File("clip1.vrk"));
  auto recorder = std::make_shared<Recorder>();
  TCWorkInfos unasked;
  unasked.Log = recorder;
  auto worker = TCutFile::Create(dir.File("clip.mkv"), unasked, 3, dir.path(), recorder);
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  EXPECT_EQ(worker->Outcome().result, JobResult::Refused);
  EXPECT_EQ(recorder->Events(),
            (Events{kSplitGathering, kBusy,
                    "文件分割:文件" + dir.File("clip1.vrk") + "已存在,共有3个文件已存在,未覆盖!",
                    kIdle}));
  EXPECT_TRUE(test::ReadFile(dir.File("clip1.vrk")) == piece1);
  events = RunMerge(dir.File("clip2.vrk"), {}, out.path());
  EXPECT_EQ(events[events.size() - 2], kMergeSucceeded);
  EXPECT_TRUE(test::ReadFile(out.File("clip.mp4")) == mp4);

  // A set of fewer pieces counts only the names it writes.
  TCWorkInfos agreed;
  agreed.Overwrite = 1;
  events = RunSplit(dir.File("clip.mkv"), agreed, 2, dir.path());
  EXPECT_EQ(events[events.size() - 2], kSplitSucceeded);
  EXPECT_FALSE(test::ReadFile(dir.File("clip1.vrk")) == piece1);
}

TEST(Overwrite, ASourceChangedDuringTheSplitIsNotDeleted) {
  TempDir dir;
  const std::string source = dir.File("live.bin");
  const std::string content = test::RandomBytes(90000, 3);
  test::WriteFile(source, content);
  auto recorder = std::make_shared<Recorder>();
  const std::string changed = test::RandomBytes(90000, 4);  // same size, other bytes
  recorder->OnLine([&](const std::string& line) {
    if (line == SplitProgressLine(2, 1)) {
      test::WriteFile(source, changed);
    }
  });
  TCWorkInfos options;
  options.DeleteSource = 1;
  options.CheckKind = ChecksumKind::Crc32;
  const Events events = RunSplit(source, options, 3, dir.path(), recorder);
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件分割:文件" + source + "读取后被改动过,未删除!", kSplitFailed, kIdle}));
  EXPECT_TRUE(test::ReadFile(source) == changed);
}

class MergeOverwrite : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir_.File("data.bin"), content_);
    TCWorkInfos md5;
    md5.CheckKind = ChecksumKind::Md5;
    const Events events = RunSplit(dir_.File("data.bin"), md5, 3, dir_.path());
    ASSERT_EQ(events[events.size() - 2], kSplitSucceeded);
    std::filesystem::remove(dir_.File("data.bin"));
  }
  void DamagePiece2() {
    std::string piece = test::ReadFile(dir_.File("data2.vrk"));
    piece[7] = static_cast<char>(piece[7] ^ 0x21);
    test::WriteFile(dir_.File("data2.vrk"), piece);
  }
  bool PiecesStay() const {
    return FileExists(dir_.File("data1.vrk")) && FileExists(dir_.File("data2.vrk")) &&
           FileExists(dir_.File("data3.vrk"));
  }

  TempDir dir_;
  TempDir out_;
  const std::string content_ = test::RandomBytes(60000, 5);
};

TEST_F(MergeOverwrite, AJoinedFileThatFailsItsCheckNeverReplacesTheOldOne) {
  DamagePiece2();
  const std::string output = out_.File("data.bin");
  ASSERT_EQ(MergeOutputPath(dir_.File("data3.vrk"), "", out_.path()), output);
  test::WriteFile(output, "the good old copy");
  auto recorder = std::make_shared<Recorder>();
  recorder->SetShake(true);
  TMWorkInfos agreed;
  agreed.Overwrite = 1;
  agreed.DeletePieces = 1;
  auto events = RunMerge(dir_.File("data1.vrk"), agreed, out_.path(), recorder);
  EXPECT_EQ(Events(events.end() - 4, events.end()),
            (Events{kMergeDiffersFromSource, kMergeKeptPieces,
                    "文件合并:合并出的文件" + output +
                        ".校验失败与原文件不符,合并失败!原有的同名文件未被覆盖。",
                    kIdle}));
  EXPECT_FALSE(HasEvent(events, kMergeSucceeded));
  EXPECT_FALSE(HasEvent(events, kShake));
  EXPECT_EQ(test::ReadFile(output), "the good old copy");
  EXPECT_EQ(test::ReadFile(output + ".校验失败").size(), content_.size());
  EXPECT_TRUE(PiecesStay());

  // Without an older file the joined file takes its own name, for the user to look at.
  std::filesystem::remove(output);
  std::filesystem::remove(output + ".校验失败");
  events = RunMerge(dir_.File("data1.vrk"), {}, out_.path());
  EXPECT_EQ(events[events.size() - 2], MergeMismatchLine(output, false));
  EXPECT_EQ(test::NamesIn(out_.path()), std::vector<std::string>{"data.bin"});
}

TEST_F(MergeOverwrite, AFileThatTakesTheNameDuringTheJoinStaysWithoutConsent) {
  const std::string output = out_.File("data.bin");
  auto recorder = std::make_shared<Recorder>();
  recorder->OnLine([&](const std::string& line) {
    if (line == kMergeVerifying) {
      test::WriteFile(output, "came meanwhile");
    }
  });
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  auto worker = TMergerFile::Create(
      dir_.File("data1.vrk"),
      [&] {
        TMWorkInfos with_log = merge;
        with_log.Log = recorder;
        return with_log;
      }(),
      out_.path(), recorder);
  ASSERT_TRUE(worker->WaitFinished(test::kJobDeadline));
  const Events events = recorder->Events();
  EXPECT_EQ(Events(events.end() - 3, events.end()),
            (Events{"文件合并:文件" + output + "已存在,未覆盖!", kMergeFailed, kIdle}));
  EXPECT_EQ(worker->Outcome().result, JobResult::Failed);
  EXPECT_EQ(test::ReadFile(output), "came meanwhile");
  EXPECT_EQ(test::NamesIn(out_.path()), std::vector<std::string>{"data.bin"});
  EXPECT_TRUE(PiecesStay());
}

TEST_F(MergeOverwrite, APieceChangedAfterItWasReadIsNotDeleted) {
  auto recorder = std::make_shared<Recorder>();
  recorder->OnLine([&](const std::string& line) {
    if (line == kMergeVerifying) {
      // Same bytes written again: only its times say it was touched.
      test::WriteFile(dir_.File("data3.vrk"), test::ReadFile(dir_.File("data3.vrk")));
    }
  });
  TMWorkInfos merge;
  merge.DeletePieces = 1;
  const Events events = RunMerge(dir_.File("data1.vrk"), merge, out_.path(), recorder);
  EXPECT_EQ(Events(events.end() - 4, events.end()),
            (Events{kMergeSameAsSource,
                    "文件合并:文件" + dir_.File("data3.vrk") + "读取后被改动过,未删除!",
                    kMergeFailed, kIdle}));
  EXPECT_TRUE(PiecesStay());
  EXPECT_TRUE(test::ReadFile(out_.File("data.bin")) == content_);
}

}  // namespace
}  // namespace qarvo
