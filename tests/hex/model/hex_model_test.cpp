#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "hex/model/hex_test_util.h"
#include "hex/model/piece_table.h"
#include "support/test_support.h"

namespace qarvo::hex {
namespace {

using qarvo::test::ErrorText;

// Claims a size and hands out zeros, so that sizes of gigabytes cost no memory in the test.
class ZeroSource : public ByteSource {
 public:
  explicit ZeroSource(int64_t size) : size_(size) {}
  int64_t Size() const override { return size_; }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override { position_ = position; }
  size_t Read(void* buffer, size_t count) override {
    ++reads;
    std::memset(buffer, 0, count);
    position_ += static_cast<int64_t>(count);
    return count;
  }
  int reads = 0;

 private:
  int64_t size_;
  int64_t position_ = 0;
};

struct ProgressLog {
  std::vector<int> percents;
  std::vector<std::string> names;
  int cancel_at = -1;  // index of the event that cancels
};

void Record(HexEditorModel& model, ProgressLog& log) {
  model.on_progress = [&log](TMPHProgressKind kind, const std::string& name, int percent,
                             bool& cancel) {
    EXPECT_EQ(kind, pkLoad);
    if (static_cast<int>(log.percents.size()) == log.cancel_at) {
      cancel = true;
    }
    log.percents.push_back(percent);
    log.names.push_back(name);
  };
}

HexEditorModel LoadedWith(const std::string& bytes) {
  HexEditorModel model;
  MemorySource source(bytes);
  model.LoadFromStream(source);
  return model;
}

TEST(HexModelLoad, EmptyLoadFiresNoProgress) {
  HexEditorModel model;
  ProgressLog log;
  Record(model, log);
  MemorySource source("");
  model.LoadFromStream(source);
  EXPECT_TRUE(log.percents.empty());
  EXPECT_EQ(model.DataSize(), 0);
}

TEST(HexModelLoad, SmallLoadReportsOneHundredOnce) {
  for (size_t size : {size_t{1}, size_t{61440}}) {
    HexEditorModel model;
    ProgressLog log;
    Record(model, log);
    const std::string bytes = test::RandomBytes(size, 3);
    MemorySource source(bytes);
    model.LoadFromStream(source);
    EXPECT_EQ(log.percents, std::vector<int>{100}) << size;
    ASSERT_EQ(model.DataSize(), static_cast<int64_t>(size));
    std::vector<uint8_t> loaded(size);
    model.Read(0, loaded);
    EXPECT_EQ(std::memcmp(loaded.data(), bytes.data(), size), 0);
  }
}

TEST(HexModelLoad, JustAboveOneStepReportsStartAndEnd) {
  HexEditorModel model;
  ProgressLog log;
  Record(model, log);
  ZeroSource source(61441);
  model.LoadFromStream(source);
  EXPECT_EQ(log.percents, (std::vector<int>{0, 100}));
  EXPECT_EQ(source.reads, 2);
}

TEST(HexModelLoad, LargeLoadReportsAtMostOncePerPercent) {
  HexEditorModel model;
  ProgressLog log;
  Record(model, log);
  const int64_t size = 64 * 61440 * 3 + 17;  // 192 steps
  ZeroSource source(size);
  model.LoadFromStream(source);
  ASSERT_FALSE(log.percents.empty());
  EXPECT_EQ(log.percents.front(), 0);
  EXPECT_EQ(log.percents.back(), 100);
  for (size_t i = 1; i < log.percents.size(); ++i) {
    EXPECT_GT(log.percents[i], log.percents[i - 1]);
  }
  EXPECT_LE(log.percents.size(), 101U);
  EXPECT_EQ(source.reads, 193);
  EXPECT_EQ(model.DataSize(), size);
}

TEST(HexModelLoad, CancelLeavesAnEmptyBuffer) {
  HexEditorModel model;
  MemorySource first("abc");
  model.LoadFromStream(first);
  ProgressLog log;
  log.cancel_at = 2;
  Record(model, log);
  ZeroSource source(61440 * 10);
  EXPECT_EQ(ErrorText([&] { model.LoadFromStream(source); }), "Operation cancelled");
  EXPECT_EQ(model.DataSize(), 0);
  EXPECT_EQ(log.percents.size(), 3U);
  EXPECT_EQ(source.reads, 2);
  EXPECT_FALSE(model.HasFile());
}

TEST(HexModelLoad, TwoGigabytesAreRefusedBeforeAnythingIsRead) {
  HexEditorModel model;
  ZeroSource source(int64_t{1} << 31);
  const std::string error = ErrorText([&] { model.LoadFromStream(source); });
  EXPECT_NE(error.find("2147483648"), std::string::npos) << error;
  EXPECT_NE(error.find("2147483647"), std::string::npos) << error;
  EXPECT_EQ(source.reads, 0);
  EXPECT_EQ(model.DataSize(), 0);
}

// A file is read where it lies: opening one of 2 GiB reads nothing and reports no progress.
TEST(HexModelLoad, TwoGigabyteFileOpensWithoutReadingIt) {
  test::TempDir dir;
  const std::string path = dir.File("sparse.bin");
  test::WriteFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 31), 0);
  HexEditorModel model;
  bool progressed = false;
  model.on_progress = [&](TMPHProgressKind, const std::string&, int, bool&) { progressed = true; };
  model.LoadFromFile(path);
  EXPECT_FALSE(progressed);
  EXPECT_TRUE(model.HasFile());
  EXPECT_EQ(model.DataSize(), int64_t{1} << 31);
  EXPECT_EQ(model.ByteAt((int64_t{1} << 31) - 1), 0);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__has_feature)
#define QARVO_NO_ASAN 1
#elif defined(__has_feature)
#if !__has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define QARVO_NO_ASAN 1
#endif
#endif

#ifdef QARVO_NO_ASAN
// In a child process whose address space is capped, a load that needs more memory than is
// left fails with an error and an empty buffer instead of a crash.
TEST(HexModelLoadDeathTest, FailedAllocationLeavesAnEmptyBuffer) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t{768} << 20;
        setrlimit(RLIMIT_AS, &limit);
        HexEditorModel model;
        MemorySource small("xyz");
        model.LoadFromStream(small);
        ZeroSource source(int64_t{1} << 30);
        const std::string error = ErrorText([&] { model.LoadFromStream(source); });
        const bool ok = error.find("Out of memory") != std::string::npos && model.DataSize() == 0 &&
                        source.reads == 0;
        std::_Exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
#endif

TEST(HexModelLoad, FileLoadSetsNameAndFlags) {
  test::TempDir dir;
  const std::string path = dir.File("data.bin");
  test::WriteFile(path, "hello");
  HexEditorModel model;
  EXPECT_EQ(model.FileName(), "---");
  std::vector<std::string> names;
  model.on_progress = [&](TMPHProgressKind, const std::string& name, int, bool&) {
    names.push_back(name);
  };
  int changes = 0;
  model.on_change = [&] { ++changes; };
  model.LoadFromFile(path);
  EXPECT_TRUE(names.empty());  // nothing is copied, so nothing to report
  EXPECT_EQ(model.FileName(), path);
  EXPECT_TRUE(model.HasFile());
  EXPECT_FALSE(model.ReadOnlyFile());
  EXPECT_EQ(model.StreamFileName(), "");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(model.ByteAt(4), 'o');

  if (geteuid() != 0) {
    chmod(path.c_str(), 0444);
    model.LoadFromFile(path);
    EXPECT_TRUE(model.ReadOnlyFile());
  }

  const std::string missing = dir.File("missing.bin");
  EXPECT_EQ(ErrorText([&] { model.LoadFromFile(missing); }),
            "无法打开文件“" + missing + "”:文件不存在。");
}

TEST(HexModelData, BoundsAndModifiedFlags) {
  HexEditorModel model = LoadedWith("0123456789");
  EXPECT_EQ(ErrorText([&] { model.ByteAt(10); }), "Data position/length out of data bounds");
  const uint8_t x = 'x';
  EXPECT_EQ(ErrorText([&] { model.WriteBytes(10, &x, 1); }),
            "Data position/length out of data bounds");
  EXPECT_FALSE(model.Modified());
  model.WriteBytes(3, &x, 1);
  EXPECT_TRUE(model.IsModified(3));
  EXPECT_FALSE(model.IsModified(2));
  EXPECT_TRUE(model.Modified());
  model.SetInsertMode(true);
  EXPECT_FALSE(model.IsModified(3));
  // Switching the mode clears the marks.
  model.SetInsertMode(false);
  EXPECT_FALSE(model.IsModified(3));
  model.WriteBytes(3, &x, 1);
  EXPECT_TRUE(model.IsModified(3));
  MemorySource again("ab");
  model.LoadFromStream(again);
  EXPECT_FALSE(model.IsModified(3));
  EXPECT_FALSE(model.Modified());
}

TEST(HexModelData, ModifiedFlagsDropFromAPosition) {
  ModifiedFlags flags;
  for (int64_t p : {0, 63, 64, 130}) {
    flags.Set(p, true);
  }
  flags.DropFrom(64);
  EXPECT_TRUE(flags.Get(63));
  EXPECT_FALSE(flags.Get(64));
  EXPECT_FALSE(flags.Get(130));
  EXPECT_EQ(flags.Size(), 64);
  flags.Set(100, true);
  EXPECT_FALSE(flags.Get(64));
  EXPECT_TRUE(flags.Get(100));
}

TEST(HexModelData, StoreInsertAndRemove) {
  PieceTable s;
  const auto span = [](std::string_view text) {
    return std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  };
  s.Replace(0, 0, span("abef"));
  s.Replace(2, 0, span("cd"));
  std::string out(6, ' ');
  s.Read(0, std::span(reinterpret_cast<uint8_t*>(out.data()), 6));
  EXPECT_EQ(out, "abcdef");
  s.Replace(1, 4, StoreSlice{});
  EXPECT_EQ(s.Size(), 2);
  EXPECT_EQ(s.Byte(1), 'f');
  EXPECT_THROW(s.Replace(1, 2, StoreSlice{}), EMPHexEditor);
  EXPECT_THROW(s.Byte(2), EMPHexEditor);
  EXPECT_EQ(s.Size(), 2);
}

TEST(HexModelUnicode, SwitchingRefusalsAndEffects) {
  HexEditorModel model = LoadedWith("abcd");
  model.SetTranslation(tkMac);
  model.SetBytesPerRow(15);
  EXPECT_EQ(ErrorText([&] { model.SetUnicodeChars(true); }), "Invalid bytes per line argument");
  model.SetBytesPerRow(16);
  model.SetBytesPerColumn(3);
  EXPECT_EQ(ErrorText([&] { model.SetUnicodeChars(true); }), "Invalid bytes per column argument");
  model.SetBytesPerColumn(2);
  HexEditorModel odd = LoadedWith("abc");
  EXPECT_EQ(ErrorText([&] { odd.SetUnicodeChars(true); }), "文件大小为奇数,不能使用双字节!");
  EXPECT_FALSE(odd.Settings().unicode_chars);
  EXPECT_EQ(odd.Settings().bytes_per_unit, 1);

  model.SetUnicodeChars(true);
  EXPECT_TRUE(model.Settings().unicode_chars);
  EXPECT_EQ(model.Translation(), tkAsIs);
  EXPECT_EQ(model.Settings().bytes_per_unit, 2);
  EXPECT_EQ(ErrorText([&] { model.SetTranslation(tkDos8); }),
            "Translations cannot be used in unicode mode");
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerUnit(4); }),
            "BytesPerUnit must be set to 2 in unicode mode");
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerRow(7); }), "Invalid bytes per line argument");
  EXPECT_EQ(model.DisplayChar(0), u'\u6261');  // "ab" little-endian
  model.SetUnicodeBigEndian(true);
  EXPECT_EQ(model.DisplayChar(0), u'\u6162');
  model.SetUnicodeChars(false);
  EXPECT_EQ(model.Settings().bytes_per_unit, 1);
  EXPECT_EQ(model.DisplayChar(0), u'a');
}

TEST(HexModelSettings, RangeRefusals) {
  HexEditorModel model;
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerRow(0); }), "Invalid bytes per line argument");
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerRow(257); }), "Invalid bytes per line argument");
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerColumn(0); }), "Invalid bytes per column argument");
  EXPECT_EQ(ErrorText([&] { model.SetBytesPerUnit(3); }),
            "Invalid bytes per unit value 3, allowed: 1,2,4,8");
  EXPECT_EQ(ErrorText([&] { model.SetRulerBytesPerUnit(0); }),
            "Invalid ruler bytes per unit value 0, allowed: -1,1,2,4,8");
  EXPECT_EQ(model.Settings().bytes_per_row, 16);
  model.SetRulerNumberBase(17);
  EXPECT_EQ(model.Settings().ruler_number_base, 16);
  model.SetRulerNumberBase(10);
  EXPECT_EQ(model.Settings().ruler_number_base, 10);
}

// One change call sets only what the edit changed, in the published order, each through its
// check; a refusal stops there and keeps what was set before it.
TEST(HexModelSettings, ChangedTogetherInOneCall) {
  HexEditorModel model = LoadedWith("abcd");
  test::ChangeSettings(model, [](HexEditorSettings& s) {
    s.bytes_per_column = 4;  // published before the unicode switch, which needs it even
    s.unicode_chars = true;
    s.offset_format = "a:|";
    s.mask_char = '*';
    s.zoom_on_wheel = false;
  });
  const HexEditorSettings now = model.AllSettings();
  EXPECT_TRUE(now.unicode_chars);
  EXPECT_EQ(now.bytes_per_unit, 2);  // the switch's own effect, not undone by the stale copy
  EXPECT_EQ(now.bytes_per_column, 4);
  EXPECT_EQ(now.offset_format, "a:|");
  EXPECT_EQ(model.OffsetText(20), "10");  // counted in the two-byte units of unicode mode
  EXPECT_EQ(now.mask_char, '*');
  EXPECT_FALSE(now.zoom_on_wheel);

  // The translation is refused in unicode mode: the row width before it stays, the ruler base
  // after it is never set.
  EXPECT_EQ(ErrorText([&] {
              test::ChangeSettings(model, [](HexEditorSettings& s) {
                s.bytes_per_row = 8;
                s.translation = tkMac;
                s.ruler_number_base = 10;
              });
            }),
            "Translations cannot be used in unicode mode");
  EXPECT_EQ(model.Settings().bytes_per_row, 8);
  EXPECT_EQ(model.Translation(), tkAsIs);
  EXPECT_EQ(model.Settings().ruler_number_base, 16);

  // A bad offset format keeps the old one, text and all.
  EXPECT_EQ(ErrorText([&] {
              test::ChangeSettings(model, [](HexEditorSettings& s) { s.offset_format = "10:"; });
            }),
            "Missing char in offset format: |");
  EXPECT_EQ(model.AllSettings().offset_format, "a:|");
}

TEST(HexModelSelection, WidenedToUnitsAndClamped) {
  HexEditorModel model = LoadedWith("0123456789");
  model.SetBytesPerUnit(4);
  model.SetCaretPosition(5);
  model.SetSelectionEnd(6);
  EXPECT_EQ(model.SelectionLow(), 4);
  EXPECT_EQ(model.SelectionHigh(), 7);
  EXPECT_EQ(model.SelectionStart(), 4);
  EXPECT_EQ(model.SelectionEnd(), 7);
  EXPECT_EQ(model.SelectionCount(), 4);
  model.SetCaretPosition(9);
  model.SetSelectionEnd(2);
  EXPECT_EQ(model.SelectionLow(), 0);
  EXPECT_EQ(model.SelectionHigh(), 9);  // the last unit is cut at the end of the data
  EXPECT_EQ(model.SelectionStart(), 9);
  EXPECT_EQ(model.SelectionEnd(), 0);
  // A unit that no longer divides the selection's size drops it.
  model.SetBytesPerUnit(1);
  EXPECT_TRUE(model.HasSelection());
  model.SetBytesPerUnit(8);
  EXPECT_FALSE(model.HasSelection());
  EXPECT_EQ(model.SelectionCount(), 0);
  EXPECT_EQ(model.SelectionStart(), 9);
  EXPECT_EQ(model.SelectionEnd(), 9);
}

TEST(HexModelSelection, CaretAndSelectionEndRefusals) {
  HexEditorModel model = LoadedWith("0123");
  EXPECT_EQ(ErrorText([&] { model.SetCaretPosition(4); }), "Invalid selection start");
  EXPECT_EQ(ErrorText([&] { model.SetCaretPosition(-1); }), "Invalid selection start");
  EXPECT_EQ(ErrorText([&] { model.SetSelectionEnd(4); }), "Invalid selection end");
  EXPECT_EQ(ErrorText([&] { model.SetSelectionEnd(-2); }), "Invalid selection end");
  model.SetCaretPosition(1);
  model.SetSelectionEnd(3);
  EXPECT_EQ(model.SelectionCount(), 3);
  model.SetSelectionEnd(-1);
  EXPECT_EQ(model.SelectionCount(), 0);
  EXPECT_EQ(model.CaretPosition(), 1);

  model.SelectAll();
  EXPECT_EQ(model.SelectionLow(), 0);
  EXPECT_EQ(model.SelectionHigh(), 3);
  EXPECT_EQ(model.CaretPosition(), 3);

  HexEditorModel empty;
  EXPECT_EQ(empty.CaretPosition(), 0);
  EXPECT_EQ(ErrorText([&] { empty.SetCaretPosition(0); }), "Invalid selection start");
  empty.SelectAll();
  EXPECT_EQ(empty.SelectionCount(), 0);
}

TEST(HexModelSelection, EveryChangeIsNotified) {
  HexEditorModel model = LoadedWith("0123");
  int notices = 0;
  model.on_selection_changed = [&] { ++notices; };
  model.SetCaretPosition(2);
  model.SetSelectionEnd(3);
  model.ClearSelection();
  EXPECT_EQ(notices, 3);
}

}  // namespace
}  // namespace qarvo::hex
