#include "platform/copy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/io_buffer.h"
#include "support/test_support.h"

namespace qarvo {
namespace {

class RecordingObserver : public CopyObserver {
 public:
  std::unique_lock<std::mutex> BeforeBlock() override {
    ++before;
    return std::unique_lock<std::mutex>(mutex_);
  }
  void Advanced(int64_t bytes) override {
    // The block's lock is released before progress is reported.
    EXPECT_TRUE(mutex_.try_lock());
    mutex_.unlock();
    blocks.push_back(bytes);
  }
  int before = 0;
  std::vector<int64_t> blocks;

 private:
  std::mutex mutex_;
};

TEST(CopyBytes, CopiesARangeInBoundedBlocks) {
  test::TempDir dir;
  const std::string data = test::RandomBytes(200000, 11);
  test::WriteFile(dir.File("in"), data);
  File in(dir.File("in"), OpenMode::Read, Share::Exclusive);
  File out(dir.File("out"), OpenMode::Create, Share::Exclusive);
  in.Seek(1000);
  out.Write("H", 1);
  RecordingObserver observer;
  CopyBytes(in, out, 150000, &observer);
  EXPECT_EQ(in.Position(), 151000);
  out.Close();
  EXPECT_EQ(test::ReadFile(dir.File("out")), "H" + data.substr(1000, 150000));
  int64_t total = 0;
  for (const int64_t block : observer.blocks) {
    EXPECT_GT(block, 0);
    EXPECT_LE(block, static_cast<int64_t>(kKernelCopyStep));
    total += block;
  }
  EXPECT_EQ(total, 150000);
  EXPECT_EQ(observer.before, static_cast<int>(observer.blocks.size()));
}

TEST(CopyBytes, WithoutKernelCopyBlocksStayWithinTheBuffer) {
  // The kernel refuses to copy into a character device, so this takes the buffered path.
  test::TempDir dir;
  test::WriteFile(dir.File("in"), test::RandomBytes(200000, 12));
  File in(dir.File("in"), OpenMode::Read, Share::Shared);
  File out("/dev/null", OpenMode::ReadWrite, Share::Shared);
  RecordingObserver observer;
  CopyBytes(in, out, 200000, &observer);
  EXPECT_EQ(in.Position(), 200000);
  int64_t total = 0;
  for (const int64_t block : observer.blocks) {
    EXPECT_GT(block, 0);
    EXPECT_LE(block, static_cast<int64_t>(kCopyBlockSize));
    total += block;
  }
  EXPECT_EQ(total, 200000);
  EXPECT_GE(observer.blocks.size(), 4u);
}

TEST(CopyBytes, ZeroBytesAndNoObserver) {
  test::TempDir dir;
  test::WriteFile(dir.File("in"), "abc");
  File in(dir.File("in"), OpenMode::Read, Share::Shared);
  File out(dir.File("out"), OpenMode::Create, Share::Exclusive);
  CopyBytes(in, out, 0, nullptr);
  CopyBytes(in, out, 3, nullptr);
  out.Close();
  EXPECT_EQ(test::ReadFile(dir.File("out")), "abc");
}

TEST(CopyBytes, ASourceThatEndsEarlyFails) {
  test::TempDir dir;
  test::WriteFile(dir.File("in"), "short");
  File in(dir.File("in"), OpenMode::Read, Share::Shared);
  File out(dir.File("out"), OpenMode::Create, Share::Exclusive);
  try {
    CopyBytes(in, out, 6, nullptr);
    FAIL();
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find(dir.File("in")), std::string::npos);
  }
}

TEST(CopyBytes, WritesToAFullDeviceFail) {
  test::TempDir dir;
  test::WriteFile(dir.File("in"), test::RandomBytes(100000, 2));
  File in(dir.File("in"), OpenMode::Read, Share::Shared);
  File full("/dev/full", OpenMode::ReadWrite, Share::Shared);
  EXPECT_THROW(CopyBytes(in, full, 100000, nullptr), FileError);
}

// Blocks of at most the asked size, each handed over while the observer's lock is held, and
// exactly the asked range; a source that ends early fails.
TEST(ReadInBlocks, HandsOverExactlyTheRangeInBoundedBlocksUnderTheLock) {
  test::TempDir dir;
  const std::string data = test::RandomBytes(100000, 13);
  test::WriteFile(dir.File("in"), data);
  File in(dir.File("in"), OpenMode::Read, Share::Shared);
  in.Seek(10);
  RecordingObserver observer;
  std::string seen;
  ReadInBlocks(in, 70000, 30000, &observer, [&](const uint8_t* bytes, size_t size) {
    EXPECT_EQ(observer.before, static_cast<int>(observer.blocks.size()) + 1);
    seen.append(reinterpret_cast<const char*>(bytes), size);
  });
  EXPECT_EQ(seen, data.substr(10, 70000));
  EXPECT_EQ(observer.blocks, (std::vector<int64_t>{30000, 30000, 10000}));
  EXPECT_EQ(in.Position(), 70010);

  seen.clear();
  ReadInBlocks(in, 0, 30000, nullptr, [&](const uint8_t*, size_t) { seen = "called"; });
  EXPECT_EQ(seen, "");
  EXPECT_THROW(ReadInBlocks(in, 40000, 30000, nullptr,
                            [&](const uint8_t* bytes, size_t size) {
                              seen.append(reinterpret_cast<const char*>(bytes), size);
                            }),
               FileError);
  EXPECT_EQ(seen, "") << "a block that cannot be read whole is not handed over";
}

// The copy loops rely on page-aligned buffers for their speed, and a buffer that is reused for
// a smaller block must not be given up and taken again on every block.
TEST(IoBufferTest, PageAlignedAndReusedWhenShrinking) {
  for (const size_t size : {size_t{1}, size_t{61440}, size_t{4} << 20}) {
    IoBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % IoBuffer::kAlignment, 0u) << size;
    buffer[size - 1] = 0x5A;
    const uint8_t* memory = buffer.data();
    buffer.Resize(size / 2 + 1);
    EXPECT_EQ(buffer.data(), memory);
    EXPECT_EQ(buffer.size(), size / 2 + 1);
    buffer.Resize(size * 2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % IoBuffer::kAlignment, 0u) << size;
    EXPECT_EQ(buffer.span().size(), size * 2);
  }
}

}  // namespace
}  // namespace qarvo
