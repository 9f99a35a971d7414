#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
#include "split/job_runs.h"
#include "support/read_fault.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

using test::ReadFaultGuard;
using test::TempDir;
using test::WriteFile;

// A source that fails in the middle, while it is copied and digested in one pass, fails the
// split and leaves no piece, not even the ones already whole.
TEST(ReadFault, SplitFailsWhenTheSourceFailsWhileItIsDigested) {
  for (const int compress : {0, 1}) {
    TempDir dir;
    WriteFile(dir.File("s.bin"), test::RandomBytes(500000, 11));
    ReadFaultGuard fault(dir.File("s.bin"), 400000);
    TCWorkInfos options;
    options.CheckKind = ChecksumKind::Md5;
    options.Compress = static_cast<uint8_t>(compress);
    const auto events = test::RunSplit(dir.File("s.bin"), options, 3, dir.path());
    EXPECT_NE(std::find(events.begin(), events.end(), kSplitBusyFailure), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), kSplitFailed), events.end());
    EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"s.bin"});
    EXPECT_GT(fault.Failures(), 0);
  }
}

}  // namespace
}  // namespace qarvo
