#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "split/job_runs.h"
#include "support/read_fault.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::ReadFaultGuard;
using test::TempDir;
using test::WriteFile;

// A source that fails in the middle of its checksum fails the split before any piece exists.
TEST(ReadFault, SplitFailsWhenTheSourceFailsWhileItIsDigested) {
  TempDir dir;
  WriteFile(dir.File("s.bin"), test::RandomBytes(500000, 11));
  ReadFaultGuard fault(dir.File("s.bin"), 250000);
  TCWorkInfos options;
  options.CheckKind = ChecksumKind::Md5;
  const auto events = test::RunSplit(dir.File("s.bin"), options, 3, dir.path());
  EXPECT_NE(std::find(events.begin(), events.end(), kSplitBusyFailure), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), kSplitFailed), events.end());
  EXPECT_FALSE(FileExists(dir.File("s1.vrk")));
  EXPECT_GT(fault.Failures(), 0);
}

}  // namespace
}  // namespace qarvo
