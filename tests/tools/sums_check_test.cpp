#include "tools/sums_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "codec/sha.h"
#include "jobs/recorder.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qarvo {
namespace {

using test::TempDir;
using test::WriteFile;

using test::JobRun;

JobRun Check(const std::string& sums_file) {
  auto recorder = std::make_shared<test::Recorder>();
  return test::RunToEnd(TCheckSums::Create(sums_file, JobHost{recorder, recorder}), *recorder);
}

std::string Sha256(const std::string& bytes) {
  return ShaHexOf(ShaKind::Sha256, bytes);
}

// A list as sha256sum on Windows or an editor there leaves it: CRLF line ends, names in UTF-8
// and in the Chinese code page, a file in a subfolder, one that changed, one that is gone and
// a line that is no checksum line. Every name is taken from the list's own folder.
TEST(SumsCheck, EveryListedFileGetsItsLineAndTheSummaryCountsThem) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("set").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.File("set/sub").c_str(), 0755), 0);
  const std::string a = test::RandomBytes(300000, 1);
  WriteFile(dir.File("set/a.txt"), a);
  WriteFile(dir.File("set/中文名.txt"), "中文");
  WriteFile(dir.File("set/名字.bin"), "gb");
  WriteFile(dir.File("set/sub/b.txt"), "b");
  WriteFile(dir.File("set/c.txt"), "changed");
  const std::string list = Sha256(a) + "  a.txt\r\n" + Sha256("中文") + " *中文名.txt\r\n" +
                           Sha256("gb") + "  " + Utf8ToGb18030("名字.bin") + "\r\n" + Sha256("b") +
                           "  sub/b.txt\r\n" + Sha256("original") + "  c.txt\r\n" + Sha256("x") +
                           "  missing.txt\r\n" + "this is no checksum line\r\n\r\n";
  WriteFile(dir.File("set/list.sha256"), list);

  const JobRun run = Check(dir.File("set/list.sha256"));
  EXPECT_EQ(run.lines, (std::vector<std::string>{
                           "正在检查校验文件 " + dir.File("set/list.sha256") + " ...",
                           "a.txt: 相符", "中文名.txt: 相符", "名字.bin: 相符", "sub/b.txt: 相符",
                           "c.txt: 不相符", "missing.txt: 文件不存在", "有 1 行无法识别: 第 7 行",
                           "共 6 个文件: 4 个相符, 1 个不相符, 1 个文件不存在"}));
  EXPECT_EQ(run.outcome.result, JobResult::Mismatch);
  EXPECT_FALSE(run.outcome.failure);
  ASSERT_FALSE(run.progress.empty());
  const int64_t total = static_cast<int64_t>(a.size() + 6 + 2 + 1 + 7);
  EXPECT_EQ(run.progress.front(), (std::pair<int64_t, int64_t>{0, total}));
  EXPECT_EQ(run.progress.back().first, total);
}

TEST(SumsCheck, BsdSha1AndSfvListsThatAllMatchSucceed) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
  WriteFile(dir.File("abc"), "abc");
  WriteFile(dir.File("sub/nine"), "123456789");
  WriteFile(dir.File("list.md5"), "MD5 (abc) = 900150983cd24fb0d6963f7d28e17f72\n");
  WriteFile(dir.File("list.sha1"), "a9993e364706816aba3e25717850c26c9cd0d89d *abc\n");
  // Made on Windows: "\" between folder and name.
  WriteFile(dir.File("list.sfv"), "; made elsewhere\r\nabc 352441C2\r\nsub\\nine cbf43926\r\n");
  for (const char* name : {"list.md5", "list.sha1"}) {
    const JobRun run = Check(dir.File(name));
    EXPECT_EQ(run.lines.back(), "共 1 个文件,全部相符") << name;
    EXPECT_EQ(run.outcome.result, JobResult::Succeeded) << name;
  }
  const JobRun sfv = Check(dir.File("list.sfv"));
  EXPECT_EQ(sfv.lines,
            (std::vector<std::string>{"正在检查校验文件 " + dir.File("list.sfv") + " ...",
                                      "abc: 相符", "sub/nine: 相符", "共 2 个文件,全部相符"}));
  EXPECT_EQ(sfv.outcome.result, JobResult::Succeeded);
}

TEST(SumsCheck, AListWithNothingToCheckIsRefusedAndAnUnreadableOneFails) {
  TempDir dir;
  WriteFile(dir.File("junk.sha256"), "hello\nworld  \n");
  JobRun run = Check(dir.File("junk.sha256"));
  EXPECT_EQ(
      run.lines,
      (std::vector<std::string>{
          "正在检查校验文件 " + dir.File("junk.sha256") + " ...", "有 2 行无法识别: 第 1, 2 行",
          std::string(kSumsCheckJob) + "文件中没有可识别的校验行 " + dir.File("junk.sha256")}));
  EXPECT_EQ(run.outcome.result, JobResult::Refused);

  run = Check(dir.File("gone.sha256"));
  EXPECT_EQ(run.lines.back(), std::string(kSumsCheckJob) + "无法读取文件 " +
                                  dir.File("gone.sha256") + " (No such file or directory)");
  EXPECT_EQ(run.outcome.result, JobResult::Failed);
}

TEST(SumsCheck, AListedFileThatCannotBeReadIsNamedWithTheReason) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
  WriteFile(dir.File("ok"), "x");
  WriteFile(dir.File("list.sha256"), Sha256("") + "  folder\n" + Sha256("x") + "  ok\n");
  const JobRun run = Check(dir.File("list.sha256"));
  EXPECT_EQ(run.lines, (std::vector<std::string>{
                           "正在检查校验文件 " + dir.File("list.sha256") + " ...",
                           "folder: 无法读取 (Is a directory)", "ok: 相符",
                           "共 2 个文件: 1 个相符, 0 个不相符, 0 个文件不存在, 1 个无法读取"}));
  EXPECT_EQ(run.outcome.result, JobResult::Mismatch);
  ASSERT_TRUE(run.outcome.failure);
  EXPECT_EQ(run.outcome.failure->path(), dir.File("folder"));
}

TEST(SumsCheck, ListedPathsResolveFromTheListsFolder) {
  TempDir dir;
  WriteFile(dir.File("名字"), "");
  std::string shown;
  EXPECT_EQ(ListedFilePath(dir.path(), Utf8ToGb18030("名字"), &shown), dir.File("名字"));
  EXPECT_EQ(shown, "名字");
  EXPECT_EQ(ListedFilePath(dir.path(), "/etc/hostname", &shown), "/etc/hostname");
  // A line break in a name would break the job's line in two.
  WriteFile(dir.File("new\nline"), "");
  EXPECT_EQ(ListedFilePath(dir.path(), "new\nline", &shown), dir.File("new\nline"));
  EXPECT_EQ(shown, "new\\nline");
  // Nothing exists: the name as UTF-8, so that the line can say it is missing.
  EXPECT_EQ(ListedFilePath(dir.path(), "a\\b", &shown), dir.File("a\\b"));
  EXPECT_EQ(shown, "a\\b");
}

}  // namespace
}  // namespace qarvo
