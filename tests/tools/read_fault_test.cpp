#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/capture_log.h"
#include "support/read_fault.h"
#include "support/test_support.h"
#include "tools/compare.h"
#include "tools/pack.h"
#include "tools/unpack.h"

namespace qarvo {
namespace {

using test::CaptureLog;
using test::ReadFaultGuard;
using test::TempDir;
using test::WriteFile;

constexpr auto kDeadline = std::chrono::seconds(60);

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& line : lines) {
    if (line.compare(0, start.size(), start) == 0) {
      return true;
    }
  }
  return false;
}

// Two equal files, one of which cannot be read past its middle: the comparison shows that file's
// text as empty, never calls the two the same, and names the file with its reason; the byte
// compare stops there with the same line.
TEST(ReadFault, CompareNeverCallsPartOfAFileTheSame) {
  TempDir dir;
  const std::string content = test::RandomBytes(400000, 7);
  WriteFile(dir.File("a"), content);
  WriteFile(dir.File("b"), content);
  const std::string reason_line = std::string(kCompareJob) + "无法读取文件 " + dir.File("b") + " (";
  for (const CompareMode mode : {CompareMode::Crc32, CompareMode::Md5, CompareMode::Sha256}) {
    ReadFaultGuard fault(dir.File("b"), 200000);
    auto log = std::make_shared<CaptureLog>();
    auto worker = TCmpFile::Create(mode, dir.File("a"), dir.File("b"), JobHost{log, nullptr});
    ASSERT_TRUE(worker->WaitFinished(kDeadline));
    const auto lines = log->Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], mode == CompareMode::Md5      ? "文件2 MD5值:"
                        : mode == CompareMode::Sha256 ? "文件2 SHA256值:"
                                                      : "文件2 CRC32值:");
    EXPECT_EQ(lines[4], kCompareDifferent);
    EXPECT_TRUE(HasLineStartingWith({lines[5]}, reason_line)) << lines[5];
    EXPECT_NE(worker->FailureReason().find(dir.File("b")), std::string::npos);
    EXPECT_GT(fault.Failures(), 0);
  }
  ReadFaultGuard fault(dir.File("b"), 200000);
  auto log = std::make_shared<CaptureLog>();
  auto worker =
      TCmpFile::Create(CompareMode::Bytes, dir.File("a"), dir.File("b"), JobHost{log, nullptr});
  ASSERT_TRUE(worker->WaitFinished(kDeadline));
  const auto lines = log->Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(HasLineStartingWith({lines[1]}, reason_line)) << lines[1];
  EXPECT_EQ(worker->Outcome().result, JobResult::Failed);
  EXPECT_GT(fault.Failures(), 0);
}

// A pack that cannot be read past the middle of an entry, while that entry is written and
// digested in one pass, ends the unpack with the pack's reason: no entry takes its name and the
// pack stays although its deletion was asked for.
TEST(ReadFault, UnpackLeavesNoEntryWhenThePackFailsWhileItIsDigested) {
  TempDir dir;
  WriteFile(dir.File("a.bin"), test::RandomBytes(300000, 8));
  std::filesystem::create_directory(dir.File("out"));
  TSMWorkInfos pack;
  pack.CheckKind = ChecksumKind::Md5;
  pack.OutName = "x.pak";
  pack.Paths = {dir.File("a.bin")};
  pack.Sizes = {"300000"};
  auto pack_log = std::make_shared<CaptureLog>();
  ASSERT_TRUE(
      TSMfile::Create(dir.path(), pack, JobHost{pack_log, nullptr})->WaitFinished(kDeadline));
  ASSERT_TRUE(FileExists(dir.File("x.pak")));

  ReadFaultGuard fault(dir.File("x.pak"), 100000);
  TSMWorkInfos infos;
  infos.DeleteSource = true;
  auto log = std::make_shared<CaptureLog>();
  auto worker = TSDfile::Create(dir.File("x.pak"), infos, dir.File("out"), JobHost{log, nullptr});
  ASSERT_TRUE(worker->WaitFinished(kDeadline));
  const auto lines = log->Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(HasLineStartingWith({lines.back()}, "文件解包:无法读取文件 " + dir.File("x.pak")))
      << lines.back();
  EXPECT_FALSE(HasLineStartingWith(lines, "正在校验文件..."));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
  EXPECT_TRUE(FileExists(dir.File("x.pak")));
  EXPECT_NE(worker->FailureReason().find(dir.File("x.pak")), std::string::npos);
  EXPECT_GT(fault.Failures(), 0);
}

// A source that fails while its checksum is made fails the pack: no pack appears.
TEST(ReadFault, PackEndsWithoutAPackWhenASourceFailsWhileItIsDigested) {
  TempDir dir;
  WriteFile(dir.File("a.bin"), test::RandomBytes(300000, 9));
  ReadFaultGuard fault(dir.File("a.bin"), 100000);
  TSMWorkInfos pack;
  pack.CheckKind = ChecksumKind::Crc32;
  pack.OutName = "x.pak";
  pack.Paths = {dir.File("a.bin")};
  pack.Sizes = {"300000"};
  auto log = std::make_shared<CaptureLog>();
  auto worker = TSMfile::Create(dir.path(), pack, JobHost{log, nullptr});
  ASSERT_TRUE(worker->WaitFinished(kDeadline));
  EXPECT_TRUE(HasLineStartingWith(log->Lines(), "文件打包:无法读取文件 " + dir.File("a.bin")));
  EXPECT_FALSE(FileExists(dir.File("x.pak")));
  EXPECT_FALSE(worker->FailureReason().empty());
}

}  // namespace
}  // namespace qarvo
