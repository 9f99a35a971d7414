// Tool jobs stopped in the middle (the program closing, a signal): what they put back on a
// failure they put back, and what they had begun to write goes.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "jobs/recorder.h"
#include "support/test_support.h"
#include "tools/bundle.h"

namespace qarvo {
namespace {

using test::JobLatch;
using test::Recorder;
using test::ReleaseOnExit;
using test::TempDir;

TEST(ToolStopTest, AStoppedBundleLeavesTheHeadAsItWas) {
  TempDir dir;
  const std::string head = dir.File("setup.exe");
  const std::string tail = dir.File("data.bin");
  test::WriteFile(head, "MZ head");
  const std::string tail_bytes = test::RandomBytes(8 << 20, 3);
  test::WriteFile(tail, tail_bytes);
  auto recorder = std::make_shared<Recorder>();
  JobLatch latch;
  ReleaseOnExit release(latch);
  latch.AtFirstBlock(*recorder);
  auto worker = TAddFile::Create(head, tail, JobHost{recorder, recorder});
  ASSERT_TRUE(latch.WaitArrived());
  EXPECT_GT(test::ReadFile(head).size(), 7u) << "the first block is in";
  worker->Stop();
  latch.Release();
  ASSERT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  EXPECT_EQ(test::ReadFile(head), "MZ head");
  EXPECT_TRUE(test::ReadFile(tail) == tail_bytes);
  EXPECT_FALSE(recorder->Has(kBundleDone));
}

}  // namespace
}  // namespace qarvo
