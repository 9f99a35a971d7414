#include "hex/model/save_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace qarvo::hex {
namespace {

using test::NamesIn;
using test::RandomBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A content served from a string, remembering the largest read it was asked for.
struct Content {
  std::string bytes;
  int64_t largest_read = 0;
  int64_t fail_at = -1;  // a read that reaches this position throws
  ContentReader Reader() {
    return [this](int64_t position, std::span<uint8_t> out) {
      largest_read = std::max<int64_t>(largest_read, static_cast<int64_t>(out.size()));
      if (fail_at >= 0 && position + static_cast<int64_t>(out.size()) > fail_at) {
        throw std::runtime_error("read failed");
      }
      std::memcpy(out.data(), bytes.data() + position, out.size());
    };
  }
};

TEST(SaveCopy, WritesEveryBlockAndReplacesOnlyAtTheEnd) {
  TempDir dir;
  const std::string path = dir.path() + "/copy.bin";
  Content content{RandomBytes(3 * kCopyStep + 17, 7)};
  std::vector<int> percents;
  SaveContentCopy(content.Reader(), static_cast<int64_t>(content.bytes.size()), path,
                  [&](int percent) {
                    // The name appears only once everything is written.
                    EXPECT_FALSE(std::filesystem::exists(path));
                    percents.push_back(percent);
                    return true;
                  });
  EXPECT_EQ(ReadFile(path), content.bytes);
  EXPECT_EQ(content.largest_read, kCopyStep);  // block by block, never the whole
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"copy.bin"});

  // An empty content gives an empty file, over an old one.
  Content empty;
  SaveContentCopy(empty.Reader(), 0, path, {});
  EXPECT_EQ(ReadFile(path), "");
}

TEST(SaveCopy, CancelOrFailureLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.path() + "/keep.bin";
  WriteFile(path, "old contents");
  Content content{RandomBytes(2 * kCopyStep, 9)};
  EXPECT_THROW(SaveContentCopy(content.Reader(), static_cast<int64_t>(content.bytes.size()), path,
                               [](int) { return false; }),
               EMPHexEditor);
  EXPECT_EQ(ReadFile(path), "old contents");
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"keep.bin"});

  content.fail_at = kCopyStep + 5;
  EXPECT_THROW(
      SaveContentCopy(content.Reader(), static_cast<int64_t>(content.bytes.size()), path, {}),
      std::runtime_error);
  EXPECT_EQ(ReadFile(path), "old contents");
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"keep.bin"});

  // A folder that does not exist: a file error, nothing created.
  EXPECT_THROW(SaveContentCopy(content.Reader(), 1, dir.path() + "/no/such.bin", {}), FileError);
}

}  // namespace
}  // namespace qarvo::hex
