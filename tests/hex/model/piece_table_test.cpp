// The byte store on its own: a piece table over a real file, checked against a plain string.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <span>
#include <string>

#include "hex/model/find.h"
#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "hex/model/hex_test_util.h"
#include "hex/model/modified_flags.h"
#include "hex/model/piece_table.h"
#include "support/test_support.h"

namespace qarvo::hex {
namespace {

std::span<const uint8_t> SpanOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string ReadAll(const ByteStore& store, int64_t position = 0, int64_t count = -1) {
  if (count < 0) {
    count = store.Size() - position;
  }
  std::string out(static_cast<size_t>(count), '\0');
  store.Read(position, std::span(reinterpret_cast<uint8_t*>(out.data()), out.size()));
  return out;
}

PieceTable OpenStore(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  const off_t size = lseek(fd, 0, SEEK_END);
  return PieceTable(fd, size, path);
}

// Random overwrites, inserts, deletes and replaces over a file of a few blocks, every one also
// made on a plain string; reads of random ranges (across pieces and cache blocks) must agree,
// slices put back must restore, and the file must be left as it was.
TEST(PieceTable, RandomEditsAgreeWithAPlainString) {
  test::TempDir dir;
  const std::string path = dir.File("data.bin");
  const std::string original = test::RandomBytes(3 * FileBlocks::kBlockSize + 4321, 7);
  test::WriteFile(path, original);
  PieceTable store = OpenStore(path);
  std::string reference = original;
  std::mt19937 random(20261208);
  struct Undo {
    int64_t position, count;
    StoreSlice slice;
    std::string bytes;
  };
  std::vector<Undo> undo;
  for (int step = 0; step < 3000; ++step) {
    const auto size = static_cast<int64_t>(reference.size());
    const int64_t position = size == 0 ? 0 : static_cast<int64_t>(random() % (size + 1));
    const int64_t remove =
        std::min<int64_t>(size - position, random() % 4 == 0 ? random() % 70000 : random() % 9);
    const std::string bytes = test::RandomBytes(random() % 12, static_cast<uint32_t>(step));
    undo.push_back({position, static_cast<int64_t>(bytes.size()), store.Slice(position, remove),
                    reference.substr(static_cast<size_t>(position), static_cast<size_t>(remove))});
    store.Replace(position, remove, SpanOf(bytes));
    reference.replace(static_cast<size_t>(position), static_cast<size_t>(remove), bytes);
    ASSERT_EQ(store.Size(), static_cast<int64_t>(reference.size())) << step;
    if (!reference.empty()) {
      const int64_t from = static_cast<int64_t>(random() % reference.size());
      const int64_t count = static_cast<int64_t>(random() % (reference.size() - from + 1));
      ASSERT_EQ(ReadAll(store, from, count),
                reference.substr(static_cast<size_t>(from), static_cast<size_t>(count)))
          << step;
    }
  }
  ASSERT_EQ(ReadAll(store), reference);
  // Taking every edit back through the kept slices gives the file's bytes again, and the
  // pieces merge back instead of piling up.
  while (!undo.empty()) {
    const Undo& u = undo.back();
    store.Replace(u.position, u.count, u.slice);
    reference.replace(static_cast<size_t>(u.position), static_cast<size_t>(u.count), u.bytes);
    undo.pop_back();
  }
  EXPECT_EQ(ReadAll(store), original);
  EXPECT_EQ(store.PieceCount(), 1U);
  EXPECT_FALSE(store.SourceChanged());
  EXPECT_EQ(test::ReadFile(path), original);
}

TEST(PieceTable, OutOfRangeIsRefusedAndChangesNothing) {
  PieceTable store;
  store.Replace(0, 0, SpanOf("abc"));
  uint8_t byte = 0;
  EXPECT_THROW(store.Read(2, std::span(&byte, 2)), EMPHexEditor);
  EXPECT_THROW(store.Replace(4, 0, SpanOf("x")), EMPHexEditor);
  EXPECT_THROW(store.Replace(1, 3, SpanOf("x")), EMPHexEditor);
  EXPECT_THROW(store.Slice(-1, 1), EMPHexEditor);
  EXPECT_EQ(ReadAll(store), "abc");
}

// A file that shrinks while it is open reads as zeros past its new end and is reported as
// changed; a file whose bytes change at the same size is reported too.
TEST(PieceTable, FileChangedUnderTheStore) {
  test::TempDir dir;
  const std::string path = dir.File("data.bin");
  const std::string original = test::RandomBytes(5 * FileBlocks::kBlockSize, 3);
  test::WriteFile(path, original);
  PieceTable store = OpenStore(path);
  EXPECT_EQ(ReadAll(store, 0, 16), original.substr(0, 16));
  ASSERT_EQ(truncate(path.c_str(), FileBlocks::kBlockSize + 10), 0);
  EXPECT_EQ(store.Size(), static_cast<int64_t>(original.size()));  // as opened
  const std::string tail = ReadAll(store, FileBlocks::kBlockSize, 20);
  EXPECT_EQ(tail.substr(0, 10), original.substr(FileBlocks::kBlockSize, 10));
  EXPECT_EQ(tail.substr(10), std::string(10, '\0'));
  EXPECT_TRUE(store.SourceChanged());
  // A large read past the new end (around the block cache) gives zeros too.
  EXPECT_EQ(ReadAll(store, 3 * FileBlocks::kBlockSize, FileBlocks::kBlockSize),
            std::string(static_cast<size_t>(FileBlocks::kBlockSize), '\0'));

  const std::string second = dir.File("second.bin");
  test::WriteFile(second, "abcdef");
  PieceTable same_size = OpenStore(second);
  struct timespec later[2] = {{0, UTIME_OMIT}, {1, 0}};
  test::WriteFile(second, "ABCDEF");
  ASSERT_EQ(utimensat(AT_FDCWD, second.c_str(), later, 0), 0);
  EXPECT_EQ(ReadAll(same_size), "ABCDEF");
  EXPECT_TRUE(same_size.SourceChanged());
}

TEST(ModifiedFlags, RunsSplitAndMerge) {
  ModifiedFlags flags;
  const int64_t far = int64_t{60} << 30;  // a mark near the end of a huge file costs one run
  flags.Set(far, true);
  EXPECT_TRUE(flags.Get(far));
  EXPECT_FALSE(flags.Get(far - 1));
  EXPECT_EQ(flags.RunCount(), 1U);
  for (int64_t p = 10; p < 20; ++p) {
    flags.Set(p, true);
  }
  flags.Set(21, true);
  flags.Set(20, true);  // closes the gap: one run 10..21
  EXPECT_EQ(flags.RunCount(), 2U);
  flags.Set(15, false);
  EXPECT_FALSE(flags.Get(15));
  EXPECT_TRUE(flags.Get(14));
  EXPECT_TRUE(flags.Get(16));
  EXPECT_EQ(flags.RunCount(), 3U);
  flags.DropFrom(18);
  EXPECT_TRUE(flags.Get(17));
  EXPECT_FALSE(flags.Get(18));
  EXPECT_FALSE(flags.Get(far));
  EXPECT_EQ(flags.Size(), 18);
}

// A range marked at once must leave the same marks and runs as its bytes marked one by one,
// whatever runs it meets, overlaps or touches; a huge range costs one run.
TEST(ModifiedFlags, MarkedRangesAgreeWithBytesMarkedOneByOne) {
  std::mt19937 random(7);
  ModifiedFlags ranges;
  ModifiedFlags bytes;
  for (int round = 0; round < 400; ++round) {
    const int64_t position = random() % 200;
    const int64_t count = random() % 12;
    if (random() % 4 == 0) {
      ranges.Set(position, false);
      bytes.Set(position, false);
      continue;
    }
    ranges.Mark(position, count);
    for (int64_t i = 0; i < count; ++i) {
      bytes.Set(position + i, true);
    }
    ASSERT_EQ(ranges.RunCount(), bytes.RunCount()) << round;
    ASSERT_EQ(ranges.Size(), bytes.Size()) << round;
  }
  for (int64_t p = 0; p < 220; ++p) {
    ASSERT_EQ(ranges.Get(p), bytes.Get(p)) << p;
  }
  ModifiedFlags huge;
  huge.Mark(int64_t{1} << 30, int64_t{16} << 30);
  EXPECT_EQ(huge.RunCount(), 1U);
  EXPECT_TRUE(huge.Get((int64_t{17} << 30) - 1));
  EXPECT_FALSE(huge.Get(int64_t{17} << 30));
}

// The model over a sparse file of 64 GiB: it opens at once, reads both ends, finds a pattern
// near the end, takes a byte typed at the start and gives it back, and the file stays as it was.
TEST(HugeFile, ModelOnASparse64GiBFile) {
  test::TempDir dir;
  const std::string path = dir.File("huge.bin");
  const int64_t size = int64_t{64} << 30;
  {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    ASSERT_EQ(pwrite(fd, "needle in the hay", 17, size - 100), 17);
    ASSERT_EQ(pwrite(fd, "Z", 1, size - 1), 1);
    close(fd);
  }
  HexEditorModel model;
  model.LoadFromFile(path);
  ASSERT_EQ(model.DataSize(), size);
  EXPECT_EQ(model.ByteAt(size - 1), 'Z');

  THexSearch search;
  const std::string pattern = search.PrepareSearchData("NEEDLE IN", true, true, {});
  const auto read = [&](int64_t position, std::span<uint8_t> out) { model.Read(position, out); };
  // From 1 MiB before the end: the whole file would take a while on a slow disk.
  EXPECT_EQ(search.Find(read, size, pattern, size - (1 << 20), size - 1, true), size - 100);
  EXPECT_EQ(search.FindBackward(read, size, pattern, size - 1, size - (1 << 20), true), size - 100);

  model.SetInsertMode(true);
  model.MoveCaret({0, false, 0});
  ASSERT_TRUE(model.KeyPress(u'a'));  // the hex field: one digit makes a byte
  EXPECT_EQ(model.DataSize(), size + 1);
  EXPECT_EQ(model.ByteAt(0), 0xA0);
  EXPECT_EQ(model.ByteAt(size), 'Z');
  model.Undo();
  EXPECT_EQ(model.DataSize(), size);
  EXPECT_EQ(model.ByteAt(0), 0);

  // A mark near the end stays a run, not 64 GiB of flags.
  model.SetInsertMode(false);
  model.ChangeByte(model.ByteAt(size - 2), 0x11, size - 2);
  EXPECT_TRUE(model.IsModified(size - 2));
  model.Undo();

  char tail[17] = {};
  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_EQ(pread(fd, tail, 17, size - 100), 17);
  char first = 1;
  ASSERT_EQ(pread(fd, &first, 1, 0), 1);
  close(fd);
  EXPECT_EQ(std::string(tail, 17), "needle in the hay");
  EXPECT_EQ(first, 0);
}

TEST(HugeFile, SizeZeroProcFileIsReadAsAStream) {
  HexEditorModel model;
  model.LoadFromFile("/proc/self/status");
  ASSERT_GT(model.DataSize(), 5);
  std::string head(5, '\0');
  model.Read(0, std::span(reinterpret_cast<uint8_t*>(head.data()), 5));
  EXPECT_EQ(head, "Name:");
}

TEST(HugeFile, DirectoryAndFifoAreRefusedClearly) {
  test::TempDir dir;
  HexEditorModel model;
  const std::string folder = dir.File("");
  EXPECT_NE(test::ErrorText([&] { model.LoadFromFile(folder); }).find("是文件夹"),
            std::string::npos);
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_NE(test::ErrorText([&] { model.LoadFromFile(pipe); }).find("不是普通文件"),
            std::string::npos);
  EXPECT_EQ(model.DataSize(), 0);
}

}  // namespace
}  // namespace qarvo::hex
