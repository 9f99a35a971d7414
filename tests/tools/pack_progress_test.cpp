#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/capture_log.h"
#include "support/test_support.h"
#include "tools/pack.h"
#include "tools/unpack.h"

namespace qarvo {
namespace {

using test::TempDir;
using test::WriteFile;

class ProgressRecorder : public JobCallbacks {
 public:
  void Progress(int64_t done, int64_t total) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.emplace_back(done, total);
  }
  std::vector<std::pair<int64_t, int64_t>> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<int64_t, int64_t>> calls_;
};

// Pack and unpack report progress like every other job: from zero to the whole. The pack reads
// each file once for its copy and its checksum, and the unpack digests each entry from the blocks
// that write it: both count every byte once.
TEST(PackProgress, PackAndUnpackReportFromZeroToTheWhole) {
  TempDir dir;
  WriteFile(dir.File("a"), test::RandomBytes(150000, 1));
  WriteFile(dir.File("b"), test::RandomBytes(50000, 2));
  TSMWorkInfos infos;
  infos.CheckKind = ChecksumKind::Md5;
  infos.OutName = "p.pak";
  infos.Paths = {dir.File("a"), dir.File("b")};
  infos.Sizes = {"150000", "50000"};
  auto packing = std::make_shared<ProgressRecorder>();
  auto pack =
      TSMfile::Create(dir.path(), infos, JobHost{std::make_shared<test::CaptureLog>(), packing});
  ASSERT_TRUE(pack->WaitFinished(std::chrono::seconds(60)));
  ASSERT_TRUE(pack->Outcome().Succeeded());
  auto calls = packing->Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), (std::pair<int64_t, int64_t>{0, 200000}));
  EXPECT_EQ(calls.back(), (std::pair<int64_t, int64_t>{200000, 200000}));

  std::filesystem::create_directory(dir.File("out"));
  auto unpacking = std::make_shared<ProgressRecorder>();
  auto unpack = TSDfile::Create(dir.File("p.pak"), TSMWorkInfos{}, dir.File("out"),
                                JobHost{std::make_shared<test::CaptureLog>(), unpacking});
  ASSERT_TRUE(unpack->WaitFinished(std::chrono::seconds(60)));
  ASSERT_TRUE(unpack->Outcome().Succeeded());
  calls = unpacking->Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), (std::pair<int64_t, int64_t>{0, 200000}));
  EXPECT_EQ(calls.back(), (std::pair<int64_t, int64_t>{200000, 200000}));
}

}  // namespace
}  // namespace qarvo
