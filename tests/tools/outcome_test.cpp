#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include "support/capture_log.h"
#include "support/test_support.h"
#include "tools/bundle.h"
#include "tools/compare.h"
#include "tools/unpack.h"

namespace qarvo {
namespace {

using test::CaptureLog;
using test::TempDir;
using test::WriteFile;

template <typename Worker>
JobOutcome OutcomeOf(const std::shared_ptr<Worker>& worker) {
  EXPECT_TRUE(worker->WaitFinished(std::chrono::seconds(60)));
  return worker->Outcome();
}

JobHost Host() {
  return JobHost{std::make_shared<CaptureLog>(), nullptr};
}

// The result of a job is a value: what the command line's exit status and any other caller read
// instead of the job's lines.
TEST(JobOutcome, CompareBundleAndUnpackEndAsValues) {
  TempDir dir;
  WriteFile(dir.File("a"), "same");
  WriteFile(dir.File("b"), "same");
  WriteFile(dir.File("c"), "other");
  EXPECT_EQ(
      OutcomeOf(TCmpFile::Create(CompareMode::Md5, dir.File("a"), dir.File("b"), Host())).result,
      JobResult::Succeeded);
  const JobOutcome differs =
      OutcomeOf(TCmpFile::Create(CompareMode::Crc32, dir.File("a"), dir.File("c"), Host()));
  EXPECT_EQ(differs.result, JobResult::Mismatch);
  EXPECT_FALSE(differs.failure);

  // The head cannot be opened: the outcome carries the file and the system's reason.
  const JobOutcome failed = OutcomeOf(TAddFile::Create(dir.File("missing"), dir.File("a"), Host()));
  EXPECT_EQ(failed.result, JobResult::Failed);
  ASSERT_TRUE(failed.failure);
  EXPECT_EQ(failed.failure->path(), dir.File("missing"));
  EXPECT_EQ(failed.failure->error_number(), ENOENT);

  // A file that is no pack is refused, not failed.
  WriteFile(dir.File("x.pak"), std::string(400, 'x'));
  const JobOutcome refused =
      OutcomeOf(TSDfile::Create(dir.File("x.pak"), TSMWorkInfos{}, dir.path(), Host()));
  EXPECT_EQ(refused.result, JobResult::Refused);
  EXPECT_FALSE(refused.failure);
}

}  // namespace
}  // namespace qarvo
