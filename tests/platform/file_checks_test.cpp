#include "platform/file_checks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_output.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

TEST(FileChecks, ExistingOutputsAreCountedInTheJobsOrderLinksIncluded) {
  test::TempDir dir;
  test::WriteFile(dir.File("b"), "b");
  std::filesystem::create_symlink(dir.File("nowhere"), dir.File("c"));
  std::filesystem::create_directory(dir.File("d"));
  const ExistingOutputs none = FindExisting({dir.File("a")});
  EXPECT_FALSE(none.Any());
  const ExistingOutputs some =
      FindExisting({dir.File("a"), dir.File("b"), dir.File("c"), dir.File("d"), dir.File("e")});
  EXPECT_EQ(some.first, dir.File("b"));
  EXPECT_EQ(some.count, 3u);
  EXPECT_EQ(ExistingOutputsLine("文件分割:", some),
            "文件分割:文件" + dir.File("b") + "已存在,共有3个文件已存在,未覆盖!");
  EXPECT_EQ(ExistingOutputsLine("文件合并:", {dir.File("b"), 1}),
            "文件合并:文件" + dir.File("b") + "已存在,未覆盖!");
}

TEST(FileChecks, AnInputRewrittenInPlaceOrReplacedIsNoLongerUnchanged) {
  test::TempDir dir;
  const std::string path = dir.File("in");
  test::WriteFile(path, "0123456789");
  const auto stamp = StampOf(path);
  ASSERT_TRUE(stamp.has_value());
  EXPECT_TRUE(Unchanged(path, stamp));
  // Reading leaves it as it was.
  EXPECT_EQ(test::ReadFile(path), "0123456789");
  EXPECT_TRUE(Unchanged(path, stamp));

  // Same size, other bytes, and the old modification time put back: the change time tells.
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  test::WriteFile(path, "9876543210");
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_FALSE(Unchanged(path, stamp));

  // Another file under the name.
  const auto second = StampOf(path);
  test::WriteFile(dir.File("other"), "9876543210");
  std::filesystem::rename(dir.File("other"), path);
  EXPECT_FALSE(Unchanged(path, second));
  std::filesystem::remove(path);
  EXPECT_FALSE(Unchanged(path, second));
  EXPECT_FALSE(Unchanged(path, std::nullopt));
}

TEST(FileChecks, APublishWithoutReplacingKeepsAFileThatTookTheName) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  AtomicOutput output(path);
  output.file().Write("new", 3);
  output.Seal(false);
  test::WriteFile(path, "came meanwhile");
  try {
    output.Publish(false, false);
    ADD_FAILURE() << "published over an existing file";
  } catch (const FileError& error) {
    EXPECT_EQ(error.error_number(), EEXIST);
    EXPECT_EQ(error.path(), path);
  }
  EXPECT_EQ(test::ReadFile(path), "came meanwhile");
  EXPECT_TRUE(output.IsPending());
  output.Discard();
  EXPECT_EQ(test::NamesIn(dir.path()), std::vector<std::string>{"out.bin"});

  AtomicOutput fresh(dir.File("fresh.bin"));
  fresh.Seal(false);
  fresh.Publish(true, false);
  EXPECT_TRUE(FileExists(dir.File("fresh.bin")));
}

TEST(FileChecks, AResultThatFailedItsCheckGoesBesideWithoutReplacingAnything) {
  test::TempDir dir;
  const std::string path = dir.File("joined.bin");
  test::WriteFile(path, "the good old copy");
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    AtomicOutput output(path);
    output.file().Write("bad", 3);
    output.Seal(false);
    names.push_back(output.PublishBeside(kFailedCheckMark, i == 2));
    EXPECT_FALSE(output.IsPending());
  }
  EXPECT_EQ(names, (std::vector<std::string>{path + ".校验失败", path + ".校验失败 (2)",
                                             path + ".校验失败 (3)"}));
  EXPECT_EQ(test::ReadFile(path), "the good old copy");
  for (const std::string& name : names) {
    EXPECT_EQ(test::ReadFile(name), "bad");
  }
  EXPECT_EQ(test::NamesIn(dir.path()).size(), 4u);
}

}  // namespace
}  // namespace qarvo
