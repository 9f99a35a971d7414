#include "platform/file_info.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "support/test_support.h"

namespace qarvo {
namespace {

using test::LocalTm;

TEST(FileInfo, AttributesFromTheModeAndName) {
  EXPECT_EQ(AttributesFromMode(S_IFREG | 0644, "/tmp/a.bin"), kAttributeArchive);
  EXPECT_EQ(AttributesFromMode(S_IFREG | 0444, "a.bin"), kAttributeArchive | kAttributeReadOnly);
  // Group and others may write; the owner decides.
  EXPECT_EQ(AttributesFromMode(S_IFREG | 0466, "a"), kAttributeArchive | kAttributeReadOnly);
  EXPECT_EQ(AttributesFromMode(S_IFREG | 0600, "/home/u/.profile"),
            kAttributeArchive | kAttributeHidden);
  // Only the last name counts.
  EXPECT_EQ(AttributesFromMode(S_IFREG | 0600, "/home/.cache/x"), kAttributeArchive);
  EXPECT_EQ(AttributesFromMode(S_IFDIR | 0755, "/tmp"), kAttributeDirectory);
  EXPECT_EQ(AttributesFromMode(S_IFCHR | 0666, "/dev/null"), kAttributeDevice);
  EXPECT_EQ(AttributesFromMode(S_IFIFO | 0644, "/tmp/fifo"), kAttributeNormal);
}

TEST(FileInfo, DosDateTimeFieldsAndRange) {
  // 2026-12-08 10:20:31: date 46/12/8, time 10:20:15 (two-second steps).
  EXPECT_EQ(DosDateTimeFromLocal(LocalTm(2026, 12, 8, 10, 20, 31)), 0x5D88528Fu);
  const std::tm back = LocalFromDosDateTime(0x5D88528F);
  EXPECT_EQ(back.tm_year, 126);
  EXPECT_EQ(back.tm_mon, 11);
  EXPECT_EQ(back.tm_mday, 8);
  EXPECT_EQ(back.tm_hour, 10);
  EXPECT_EQ(back.tm_min, 20);
  EXPECT_EQ(back.tm_sec, 30);

  EXPECT_EQ(DosDateTimeFromLocal(LocalTm(1980, 1, 1, 0, 0, 0)), 0x00210000u);
  EXPECT_TRUE(DosDateTimeFromLocal(LocalTm(2107, 12, 31, 23, 59, 59)).has_value());
  EXPECT_FALSE(DosDateTimeFromLocal(LocalTm(1979, 12, 31, 23, 59, 59)).has_value());
  EXPECT_FALSE(DosDateTimeFromLocal(LocalTm(2108, 1, 1, 0, 0, 0)).has_value());
}

TEST(FileInfo, ReadsSizeAttributesAndTimes) {
  test::TempDir dir;
  const std::string path = dir.File("f.bin");
  test::WriteFile(path, std::string(2000, 'x'));
  const timespec times[2] = {{1796725231, 0}, {1796725231, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto before = std::time(nullptr);

  const auto info = ReadFileInfo(path);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->size, 2000);
  EXPECT_EQ(info->attributes, kAttributeArchive);
  EXPECT_EQ(info->modification.seconds, 1796725231);
  // Birth time or status change: either way the file was made (or touched) just now.
  EXPECT_GE(info->creation.seconds, before - 60);
  EXPECT_LE(info->creation.seconds, before + 60);

  EXPECT_FALSE(ReadFileInfo(dir.File("missing")).has_value());
}

}  // namespace
}  // namespace qarvo
