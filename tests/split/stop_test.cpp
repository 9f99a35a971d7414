// A split or merge told to stop (the program closing, a signal) ends at its next block, also
// when paused: its temporary files go, its inputs stay as they were and no line follows.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "platform/file.h"
#include "split/cut_file.h"
#include "split/header.h"
#include "split/job_runs.h"
#include "split/merger_file.h"
#include "split/parallel_pieces.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::JobLatch;
using test::Recorder;
using test::ReleaseOnExit;
using test::TempDir;

// Holds the job at its first progress report after a block of data has moved: its output is
// then open under a temporary name.
bool HasTemporaryFile(const std::string& dir) {
  for (const std::string& name : test::NamesIn(dir)) {
    if (name.rfind(".qarvo-", 0) == 0) {
      return true;
    }
  }
  return false;
}

// Stops a held job, paused first when `paused`, and waits for its end.
void StopHeldJob(WorkerThread& worker, JobLatch& latch, bool paused) {
  if (paused) {
    worker.Pause();
  }
  latch.Release();
  worker.Stop();
  ASSERT_TRUE(worker.WaitFinished(test::kJobDeadline));
  EXPECT_EQ(worker.Outcome().result, JobResult::Failed);
  EXPECT_FALSE(worker.Outcome().failure.has_value()) << "a stop is no failure of a file";
}

class StopSplitTest : public ::testing::TestWithParam<bool> {};

// Plain and compressed (every piece on its own thread), paused or running when stopped; the
// source was to be deleted after the split.
TEST_P(StopSplitTest, LeavesOnlyTheSource) {
  const bool compressed = GetParam();
  SetPieceThreads(compressed ? 3 : 0);
  TempDir dir;
  const std::string source = dir.File("movie.bin");
  const std::string content = test::RandomBytes(6 << 20, 17);
  test::WriteFile(source, content);
  for (const bool paused : {true, false}) {
    auto recorder = std::make_shared<Recorder>();
    recorder->SetShake(true);
    JobLatch latch;
    ReleaseOnExit release(latch);
    latch.AtFirstBlock(*recorder);
    TCWorkInfos options;
    options.DeleteSource = 1;
    options.Compress = compressed ? 1 : 0;
    options.Log = recorder;
    auto worker = TCutFile::Create(source, options, 3, dir.path(), recorder);
    ASSERT_TRUE(latch.WaitArrived());
    EXPECT_TRUE(HasTemporaryFile(dir.path()));
    const size_t lines_at_stop = recorder->Lines().size();
    StopHeldJob(*worker, latch, paused);

    EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"movie.bin"});
    EXPECT_TRUE(test::ReadFile(source) == content);
    EXPECT_EQ(recorder->Lines().size(), lines_at_stop) << "no line after the stop";
    // The window gets its buttons back; a stopped job does not shake it.
    EXPECT_EQ(recorder->Events().back(), test::kIdle);
    EXPECT_FALSE(recorder->Has(test::kShake));
  }
  SetPieceThreads(0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, StopSplitTest, ::testing::Bool());

class StopMergeTest : public ::testing::TestWithParam<bool> {};

TEST_P(StopMergeTest, LeavesNoOutputAndThePieces) {
  const bool compressed = GetParam();
  SetPieceThreads(compressed ? 3 : 0);
  TempDir dir;
  TempDir out;
  const std::string source = dir.File("disk.img");
  test::WriteFile(source, test::RandomBytes(6 << 20, 5));
  TCWorkInfos split;
  split.Compress = compressed ? 1 : 0;
  split.CheckKind = ChecksumKind::Md5;
  ASSERT_EQ(test::RunSplit(source, split, 3, dir.path()).back(), test::kIdle);
  std::vector<std::string> pieces;
  for (int n = 1; n <= 3; ++n) {
    pieces.push_back(test::ReadFile(dir.File("disk" + std::to_string(n) + ".vrk")));
  }

  auto recorder = std::make_shared<Recorder>();
  JobLatch latch;
  ReleaseOnExit release(latch);
  latch.AtFirstBlock(*recorder);
  TMWorkInfos options;
  options.DeletePieces = 1;
  options.Log = recorder;
  auto worker = TMergerFile::Create(dir.File("disk2.vrk"), options, out.path(), recorder);
  ASSERT_TRUE(latch.WaitArrived());
  EXPECT_TRUE(HasTemporaryFile(out.path()));
  StopHeldJob(*worker, latch, /*paused=*/true);

  EXPECT_TRUE(test::NamesIn(out.path()).empty());
  for (int n = 1; n <= 3; ++n) {
    EXPECT_TRUE(test::ReadFile(dir.File("disk" + std::to_string(n) + ".vrk")) ==
                pieces[static_cast<size_t>(n - 1)])
        << n;
  }
  EXPECT_FALSE(recorder->Has(kMergeSucceeded));
  SetPieceThreads(0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, StopMergeTest, ::testing::Bool());

// Closing the program stops every job at once, however many run and whether paused or not.
TEST(StopAllTest, StopsEveryRunningJob) {
  TempDir dir;
  std::vector<std::shared_ptr<TCutFile>> workers;
  std::vector<JobLatch> latches(2);
  std::vector<std::unique_ptr<ReleaseOnExit>> releases;
  for (JobLatch& latch : latches) {
    auto recorder = std::make_shared<Recorder>();
    releases.push_back(std::make_unique<ReleaseOnExit>(latch));
    latch.AtFirstBlock(*recorder);
    TCWorkInfos options;
    options.Log = recorder;
    const std::string out = dir.File("out" + std::to_string(workers.size()));
    std::filesystem::create_directory(out);
    const std::string source = out + "/a.bin";
    test::WriteFile(source, test::RandomBytes(4 << 20, 2));
    workers.push_back(TCutFile::Create(source, options, 2, out, recorder));
    ASSERT_TRUE(latch.WaitArrived());
  }
  workers[0]->Pause();
  WorkerThread::StopAll();
  for (JobLatch& latch : latches) {
    latch.Release();
  }
  EXPECT_TRUE(WorkerThread::WaitAllFinished(test::kJobDeadline));
  EXPECT_EQ(WorkerThread::Running(), 0);
  EXPECT_EQ(test::NamesIn(dir.File("out0")), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(test::NamesIn(dir.File("out1")), std::vector<std::string>{"a.bin"});
}

// A piece that is there but is no file is named as what it is: a named pipe would hold the join
// until something writes to it.
TEST(MergeNotAFileTest, NamesWhatThePieceIs) {
  TempDir dir;
  const std::string source = dir.File("x.bin");
  test::WriteFile(source, test::RandomBytes(3000, 1));
  ASSERT_EQ(test::RunSplit(source, {}, 3, dir.path()).back(), test::kIdle);
  std::filesystem::remove(source);
  const std::string second = dir.File("x2.vrk");
  std::filesystem::remove(second);
  std::filesystem::create_directory(second);
  std::vector<std::string> events = test::RunMerge(dir.File("x1.vrk"), {}, dir.path());
  EXPECT_NE(std::find(events.begin(), events.end(),
                      "文件合并:文件" + second + "是一个文件夹,不是普通文件!"),
            events.end());
  std::filesystem::remove(second);
  ASSERT_EQ(::mkfifo(second.c_str(), 0600), 0);
  events = test::RunMerge(dir.File("x1.vrk"), {}, dir.path());
  EXPECT_NE(std::find(events.begin(), events.end(),
                      "文件合并:文件" + second + "是一个命名管道,不是普通文件!"),
            events.end());
  EXPECT_FALSE(FileExists(source));
}

}  // namespace
}  // namespace qarvo
