#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"
#include "hex/model/hex_test_util.h"
#include "platform/file.h"
#include "support/test_support.h"

#if !defined(__SANITIZE_ADDRESS__)
#define QARVO_NO_ASAN 1
#endif

namespace qarvo::hex {
namespace {

using qarvo::test::ErrorText;

std::string Bytes(const HexEditorModel& model) {
  std::string bytes(static_cast<size_t>(model.DataSize()), '\0');
  model.Read(0, std::span(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
  return bytes;
}

void Load(HexEditorModel& model, const std::string& bytes) {
  MemorySource source(bytes);
  model.LoadFromStream(source);
}

void Type(HexEditorModel& model, const std::string& text) {
  for (char c : text) {
    model.KeyPress(static_cast<unsigned char>(c));
  }
}

uint32_t Le32(const std::vector<uint8_t>& s, size_t at) {
  return s[at] | s[at + 1] << 8 | s[at + 2] << 16 | static_cast<uint32_t>(s[at + 3]) << 24;
}

int64_t Le64(const std::vector<uint8_t>& s, size_t at) {
  return static_cast<int64_t>(static_cast<uint64_t>(Le32(s, at)) |
                              static_cast<uint64_t>(Le32(s, at + 4)) << 32);
}

TEST(HexEdit, TypingTwoDigitsOverAByteMakesTwoRecords) {
  HexEditorModel model;
  Load(model, std::string("\0\0", 2));
  Type(model, "4");
  EXPECT_EQ(model.ByteAt(0), 0x40);
  EXPECT_EQ(model.Caret().digit, 1);
  Type(model, "1");
  EXPECT_EQ(model.ByteAt(0), 0x41);
  EXPECT_EQ(model.Caret().position, 1);
  EXPECT_EQ(model.Caret().digit, 0);
  EXPECT_EQ(model.UndoStorage().Count(), 2);
  EXPECT_EQ(model.UndoDescription(), "Change byte(s)");
  EXPECT_TRUE(model.IsModified(0));
  EXPECT_TRUE(model.Modified());
}

TEST(HexEdit, InsertModeDigitsInsertThenChange) {
  for (bool swap : {false, true}) {
    HexEditorModel model;
    Load(model, "\x11");
    model.SetSwapNibbles(swap);
    model.SetInsertMode(true);
    Type(model, "7");
    ASSERT_EQ(model.DataSize(), 2);
    EXPECT_EQ(model.ByteAt(0), swap ? 0x07 : 0x70);
    EXPECT_EQ(model.ByteAt(1), 0x11);
    EXPECT_EQ(model.Caret().digit, 1);
    Type(model, "a");
    EXPECT_EQ(model.ByteAt(0), swap ? 0xA7 : 0x7A);
    EXPECT_EQ(model.DataSize(), 2);
    EXPECT_EQ(model.UndoStorage().Count(), 2);
    EXPECT_FALSE(model.HasSelection());
  }
}

TEST(HexEdit, CharacterTypingFollowsTranslationAndMask) {
  HexEditorModel model;
  Load(model, "....");
  model.MoveCaret({0, true, 0});
  model.SetTranslation(tkBCD);
  Type(model, "A");
  EXPECT_EQ(model.ByteAt(0), 0xC1);
  int refused = 0;
  model.on_invalid_key = [&] { ++refused; };
  model.SetTranslation(tkAsIs);
  EXPECT_FALSE(model.KeyPress(u'\u4E2D'));  // no Windows-1252 form
  EXPECT_EQ(refused, 1);
  EXPECT_FALSE(model.KeyPress(7));  // masked: ignored without a notice
  model.MoveCaret({0, false, 0});
  EXPECT_FALSE(model.KeyPress('g'));
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(model.ByteAt(0), 0xC1);
}

TEST(HexEdit, UnicodeTypingWritesACodeUnit) {
  HexEditorModel model;
  Load(model, std::string(4, '\0'));
  model.SetUnicodeChars(true);
  model.MoveCaret({0, true, 0});
  model.KeyPress(u'\u4E2D');
  EXPECT_EQ(model.ByteAt(0), 0x2D);
  EXPECT_EQ(model.ByteAt(1), 0x4E);
  EXPECT_EQ(model.Caret().position, 2);
  model.SetUnicodeBigEndian(true);
  model.KeyPress(u'\u4E2D');
  EXPECT_EQ(model.ByteAt(2), 0x4E);
  EXPECT_EQ(model.ByteAt(3), 0x2D);
}

TEST(HexEdit, MaxUndoDropsTheOldestRecords) {
  HexEditorModel model;
  Load(model, std::string(64, '\0'));
  model.SetMaxUndo(100);
  for (int i = 0; i < 20; ++i) {
    model.ChangeByte(model.ByteAt(i), 0x55, i);
    EXPECT_LE(model.UndoStorage().Size(), 100 + 50);
  }
  // Each record of one changed byte is 50 bytes: at most 3 fit before the next is added.
  EXPECT_EQ(model.UndoStorage().Count(), 3);
  EXPECT_EQ(model.UndoStorage().Size(), 3 * 50);
  while (model.CanUndo()) {
    model.Undo();
  }
  EXPECT_EQ(model.ByteAt(16), 0x55);
  EXPECT_EQ(model.ByteAt(17), 0);
}

TEST(HexEdit, RecordBytesOfAChange) {
  HexEditorModel model;
  Load(model, "ABCD");
  model.SetCaretPosition(2);
  model.ChangeByte('C', 'x', 2);
  const std::vector<uint8_t>& s = model.UndoStorage().Stream();
  ASSERT_EQ(s.size(), 50U);
  EXPECT_EQ(Le32(s, 0), 50U);
  EXPECT_EQ(Le32(s, 4), 1U);  // kind 0, nothing modified before
  EXPECT_EQ(Le64(s, 8), 2);   // caret
  EXPECT_EQ(Le64(s, 16), 2);  // position
  EXPECT_EQ(Le64(s, 24), 1);  // count
  EXPECT_EQ(Le64(s, 32), 0);
  EXPECT_EQ(s[40], 0);  // tkAsIs
  EXPECT_EQ(Le32(s, 41), 1U);
  EXPECT_EQ(s[45], 'C');
  EXPECT_EQ(Le32(s, 46), 50U);
  // A second change of the same byte: bit 11 (was modified) and bit 13 (modified state).
  model.ChangeByte('x', 'y', 2);
  EXPECT_EQ(Le32(s, 50 + 4), 1U | 1U << 11 | 1U << 13);
}

TEST(HexEdit, RecordBytesWithDescriptionAndSelection) {
  HexEditorModel model;
  Load(model, "ABCDEFGH");
  model.SetCaretPosition(1);
  model.SetSelectionEnd(3);
  model.MoveCaret({3, true, 0});
  model.DeleteSelection("Cut to clipboard");
  const std::vector<uint8_t>& s = model.UndoStorage().Stream();
  // 45 + 3 removed bytes + 16 text + 4 + 24 selection + 4
  ASSERT_EQ(s.size(), 45U + 3 + 16 + 4 + 24 + 4);
  EXPECT_EQ(Le32(s, 4), 1U << 1 | 1U << 15 | 1U << 16 | 1U << 20);
  EXPECT_EQ(std::string(s.begin() + 45, s.begin() + 48), "BCD");
  EXPECT_EQ(std::string(s.begin() + 48, s.begin() + 64), "Cut to clipboard");
  EXPECT_EQ(Le32(s, 64), 16U);
  EXPECT_EQ(Le64(s, 68), 1);
  EXPECT_EQ(Le64(s, 76), 3);
  EXPECT_EQ(Le64(s, 84), 1);
  EXPECT_EQ(model.UndoDescription(), "Cut to clipboard");
  EXPECT_EQ(Bytes(model), "AEFGH");
  model.Undo();
  EXPECT_EQ(Bytes(model), "ABCDEFGH");
  EXPECT_EQ(model.SelectionLow(), 1);
  EXPECT_EQ(model.SelectionHigh(), 3);
  EXPECT_TRUE(model.Caret().in_char_field);
  EXPECT_EQ(model.Caret().position, 3);
}

// The control takes back records that this program's windows never write but that its record
// layout carries: a conversion, a caret movement and a copy of the whole buffer.
TEST(HexEdit, UndoOfConversionCursorAndSavedAllRecords) {
  HexEditorModel model;
  Load(model, "ABCDEFGH");
  const auto record = [](int kind, int32_t position, int32_t count, const std::string& data) {
    UndoRecord r;
    r.kind = kind;
    r.flags = 1u << kind;
    r.position = position;
    r.count = count;
    r.data.assign(data.begin(), data.end());
    return r;
  };

  model.UndoStorage().Append(record(ukConvert, 2, 2, "cd"));
  ASSERT_TRUE(model.CanUndo());
  model.Undo();
  EXPECT_EQ(Bytes(model), "ABcdEFGH");

  model.UndoStorage().Append(record(ukCursor, 5, 2, std::string(1, '\0')));
  model.Undo();
  EXPECT_EQ(Bytes(model), "ABcdEFGH");
  EXPECT_EQ(model.Caret().position, 5);
  EXPECT_EQ(model.SelectionLow(), 5);
  EXPECT_EQ(model.SelectionHigh(), 6);

  model.ChangeByte('A', 'Z', 0);
  model.UndoStorage().Append(record(ukSaveAll, 0, 0, "saved"));
  model.Undo();
  EXPECT_EQ(Bytes(model), "saved");
  EXPECT_FALSE(model.IsModified(0));
  ASSERT_TRUE(model.CanRedo());
  model.Redo();
  EXPECT_EQ(Bytes(model), "ZBcdEFGH");
}

TEST(HexEdit, UndoRedoOfATypedCharacterAndTheSingleRedo) {
  HexEditorModel model;
  Load(model, "abc");
  model.MoveCaret({0, true, 0});
  Type(model, "X");  // a modified mark on byte 0
  model.MoveCaret({0, true, 0});
  Type(model, "Y");
  EXPECT_EQ(Bytes(model), "Ybc");
  model.Undo();
  EXPECT_EQ(Bytes(model), "Xbc");
  EXPECT_TRUE(model.IsModified(0));  // the earlier mark comes back
  EXPECT_EQ(model.Caret().position, 0);
  ASSERT_TRUE(model.CanRedo());
  model.Redo();
  EXPECT_EQ(Bytes(model), "Ybc");
  EXPECT_FALSE(model.CanRedo());
  model.Undo();
  model.Undo();
  EXPECT_EQ(Bytes(model), "abc");
  EXPECT_FALSE(model.IsModified(0));
  EXPECT_FALSE(model.Modified());
  model.Redo();
  EXPECT_EQ(Bytes(model), "Xbc");
  EXPECT_FALSE(model.CanRedo());  // only the most recent undo can be redone
  // A new change drops a pending redo.
  model.Undo();
  EXPECT_TRUE(model.CanRedo());
  model.ChangeByte('b', 'B', 1);
  EXPECT_FALSE(model.CanRedo());
}

TEST(HexEdit, EmptyBufferTakesOnlyInsertAppendAndWholeBuffer) {
  HexEditorModel model;
  for (int kind : {0, 1, 3, 5, 6, 7, 8}) {
    EXPECT_FALSE(model.CanChange(kind, 1, 1)) << kind;
  }
  for (int kind : {2, 4, 10}) {
    EXPECT_TRUE(model.CanChange(kind, 1, 0)) << kind;
  }
  const uint8_t b = 9;
  model.AppendBuffer(&b, 1, true);
  EXPECT_EQ(model.DataSize(), 1);
  model.Undo();
  EXPECT_EQ(model.DataSize(), 0);
}

TEST(HexEdit, NoSizeChange) {
  HexEditorModel model;
  Load(model, "0123");
  model.SetInsertMode(true);
  model.SetNoSizeChange(true);
  EXPECT_FALSE(model.Settings().insert_mode);
  model.SetInsertMode(true);
  EXPECT_FALSE(model.Settings().insert_mode);
  int64_t top = 2;
  EXPECT_EQ(ErrorText([&] { model.KeyDown(HexKey::Delete, false, true, 10, top); }),
            "Cannot update undo storage");
  EXPECT_EQ(Bytes(model), "0123");
  Type(model, "ff");
  EXPECT_EQ(model.ByteAt(0), 0xFF);
  // A replace keeps the size: the new bytes are cut to the selection.
  model.SetCaretPosition(1);
  model.SetSelectionEnd(2);
  const uint8_t three[3] = {'x', 'y', 'z'};
  model.ReplaceSelection(three, 3, true);
  EXPECT_EQ(Bytes(model), "\xFFxy3");
}

TEST(HexEdit, UndoOfEveryKindRestoresDataAndState) {
  HexEditorModel model;
  Load(model, "abcdefgh");
  const uint8_t ins[2] = {'X', 'Y'};
  model.SetCaretPosition(2);
  model.InsertBuffer(ins, 2, true, 2);
  EXPECT_EQ(Bytes(model), "abXYcdefgh");
  EXPECT_EQ(model.SelectionLow(), 2);
  EXPECT_EQ(model.Caret().position, 3);
  model.AppendBuffer(ins, 2, false);
  EXPECT_EQ(Bytes(model), "abXYcdefghXY");
  model.SetCaretPosition(0);
  model.SetSelectionEnd(1);
  model.ReplaceSelection(ins, 1, true);
  EXPECT_EQ(Bytes(model), "XXYcdefghXY");
  model.SetInsertMode(true);
  model.SetCaretPosition(5);
  model.DeleteUnit(true);
  EXPECT_EQ(Bytes(model), "XXYcefghXY");
  model.SetInsertMode(false);
  model.SetCaretPosition(0);
  model.SetSelectionEnd(2);
  model.DeleteSelection();
  EXPECT_EQ(Bytes(model), "cefghXY");
  model.GroupUndo(2, "two steps");
  EXPECT_EQ(model.UndoDescription(), "two steps");

  model.Undo();  // the group: the delete and the unit delete
  EXPECT_EQ(Bytes(model), "XXYcdefghXY");
  EXPECT_TRUE(model.Settings().insert_mode);
  EXPECT_FALSE(model.CanRedo());
  EXPECT_EQ(model.Caret().position, 5);
  model.Undo();
  EXPECT_EQ(Bytes(model), "abXYcdefghXY");
  EXPECT_EQ(model.SelectionLow(), 0);
  EXPECT_EQ(model.SelectionHigh(), 1);
  model.Undo();
  EXPECT_EQ(Bytes(model), "abXYcdefgh");
  model.Undo();
  EXPECT_EQ(Bytes(model), "abcdefgh");
  EXPECT_FALSE(model.Modified());
  EXPECT_FALSE(model.CanUndo());
}

TEST(HexEdit, ChangeModesAreRestoredByUndo) {
  HexEditorModel model;
  Load(model, "abcd");
  model.SetTranslation(tkMac);
  model.ChangeByte('a', 'z', 0);
  model.SetTranslation(tkAsIs);
  model.SetUnicodeChars(true);
  model.Undo();
  EXPECT_EQ(model.Translation(), tkMac);
  EXPECT_FALSE(model.Settings().unicode_chars);
  EXPECT_EQ(model.Settings().bytes_per_unit, 1);
}

TEST(HexEdit, BookmarksMoveWithTheDataAndAreClearedBehindTheEnd) {
  HexEditorModel model;
  Load(model, "0123456789");
  auto& marks = model.Bookmarks();
  marks[0] = {2, false};
  marks[1] = {6, true};
  marks[2] = {9, false};
  const uint8_t two[2] = {'a', 'b'};
  model.InsertBuffer(two, 2, false, 4);
  EXPECT_EQ(marks[0].position, 2);
  EXPECT_EQ(marks[1].position, 8);
  EXPECT_EQ(marks[2].position, 11);
  model.SetCaretPosition(0);
  model.SetSelectionEnd(2);
  model.DeleteSelection();
  EXPECT_EQ(marks[0].position, 2);  // inside the removed range: stays
  EXPECT_EQ(marks[1].position, 5);
  EXPECT_EQ(marks[2].position, 8);
  model.SetCaretPosition(7);
  model.SetSelectionEnd(8);
  model.DeleteSelection();
  EXPECT_EQ(marks[2].position, -1);  // behind the end now
  model.Undo();
  model.Undo();
  EXPECT_EQ(marks[1].position, 8);

  int64_t top = 2;
  model.SetCaretPosition(3);
  model.KeyDown(HexKey::Bookmark0, true, true, 10, top, 5);
  EXPECT_EQ(marks[5].position, 3);
  model.SetCaretPosition(0);
  model.KeyDown(HexKey::Bookmark0, false, true, 10, top, 5);
  EXPECT_EQ(model.Caret().position, 3);
  model.KeyDown(HexKey::Bookmark0, true, true, 10, top, 5);
  EXPECT_EQ(marks[5].position, -1);
}

// A bookmark behind the replaced bytes keeps marking the same byte whether the replacement is
// longer or shorter, and an undo puts it back; one inside the replaced range stays put.
TEST(HexEdit, BookmarksBehindAReplacementMoveWithTheirByte) {
  HexEditorModel model;
  Load(model, "0123456789");
  auto& marks = model.Bookmarks();
  marks[0] = {3, false};  // behind the selection [1, 2]
  marks[1] = {8, false};
  const std::string longer = "abcdef";
  model.SetCaretPosition(1);
  model.SetSelectionEnd(2);
  model.ReplaceSelection(reinterpret_cast<const uint8_t*>(longer.data()), 6, false);
  ASSERT_EQ(Bytes(model), "0abcdef3456789");
  EXPECT_EQ(model.ByteAt(marks[0].position), '3');
  EXPECT_EQ(model.ByteAt(marks[1].position), '8');
  model.Undo();
  EXPECT_EQ(marks[0].position, 3);
  EXPECT_EQ(marks[1].position, 8);

  marks[2] = {5, false};  // inside the selection [1, 6]
  model.SetCaretPosition(1);
  model.SetSelectionEnd(6);
  const uint8_t one = 'x';
  model.ReplaceSelection(&one, 1, false);
  ASSERT_EQ(Bytes(model), "0x789");
  EXPECT_EQ(model.ByteAt(marks[1].position), '8');
  EXPECT_EQ(marks[0].position, 3);
  EXPECT_EQ(marks[2].position, -1);  // behind the end now
  model.Undo();
  EXPECT_EQ(marks[1].position, 8);
}

// Any change that shortens the data, an undo included, clears the bookmarks it leaves behind
// the end.
TEST(HexEdit, ShorterDataClearsBookmarksBehindTheEnd) {
  HexEditorModel model;
  Load(model, "abc");
  int events = 0;
  model.on_bookmark_changed = [&] { ++events; };
  const uint8_t two[2] = {'d', 'e'};
  model.AppendBuffer(two, 2, false);
  auto& marks = model.Bookmarks();
  marks[0] = {4, false};
  marks[1] = {1, true};
  model.Undo();
  ASSERT_EQ(Bytes(model), "abc");
  EXPECT_EQ(marks[0].position, -1);
  EXPECT_EQ(marks[1].position, 1);
  EXPECT_EQ(events, 1);
  model.Redo();
  EXPECT_EQ(marks[0].position, 4);  // as it was before the undo

  model.DeleteNibble(0);  // one byte shorter
  ASSERT_EQ(model.DataSize(), 4);
  EXPECT_EQ(marks[0].position, -1);
  EXPECT_EQ(marks[1].position, 1);
  EXPECT_EQ(events, 2);
}

size_t TempNibbleFiles() {
  size_t count = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    count += entry.path().extension() == ".MPHT" ? 1 : 0;
  }
  return count;
}

TEST(HexEdit, NibbleInsertAndDeleteWithUndo) {
  const size_t temp_files = TempNibbleFiles();
  HexEditorModel model;
  Load(model, "\x12\x34\x56");
  model.InsertNibble(1);
  EXPECT_EQ(Bytes(model), std::string("\x12\x03\x45\x60", 4));
  model.Undo();
  EXPECT_EQ(Bytes(model), "\x12\x34\x56");
  model.DeleteNibble(0);
  EXPECT_EQ(Bytes(model), std::string("\x23\x45", 2));
  model.Undo();
  EXPECT_EQ(Bytes(model), "\x12\x34\x56");
  model.Redo();
  EXPECT_EQ(Bytes(model), std::string("\x23\x45", 2));
  model.Undo();
  EXPECT_EQ(Bytes(model), "\x12\x34\x56");

  // A nibble deleted in the last byte takes that byte away; the undo brings it back.
  model.DeleteNibble(2);
  EXPECT_EQ(Bytes(model), "\x12\x34");
  model.Undo();
  EXPECT_EQ(Bytes(model), "\x12\x34\x56");
  Load(model, "\x7f");
  model.DeleteNibble(0);
  EXPECT_EQ(model.DataSize(), 0);
  model.Undo();
  EXPECT_EQ(Bytes(model), "\x7f");
  EXPECT_EQ(TempNibbleFiles(), temp_files);
}

TEST(HexEdit, KeysMoveAndSelect) {
  HexEditorModel model;
  Load(model, std::string(100, 'k'));
  int64_t top = 2;
  model.KeyDown(HexKey::Right, false, false, 4, top);
  EXPECT_EQ(model.Caret().digit, 1);
  model.KeyDown(HexKey::Right, false, false, 4, top);
  EXPECT_EQ(model.Caret().position, 1);
  model.KeyDown(HexKey::Down, false, false, 4, top);
  EXPECT_EQ(model.Caret().position, 17);
  model.KeyDown(HexKey::Right, true, false, 4, top);
  model.KeyDown(HexKey::Right, true, false, 4, top);
  EXPECT_EQ(model.SelectionLow(), 17);
  EXPECT_EQ(model.SelectionHigh(), 19);
  model.KeyDown(HexKey::Left, false, false, 4, top);
  EXPECT_FALSE(model.HasSelection());
  model.KeyDown(HexKey::PageDown, false, false, 4, top);
  EXPECT_EQ(top, 5);
  EXPECT_EQ(model.Caret().position / 16 + 2, 3 + 3);
  model.KeyDown(HexKey::End, false, true, 4, top);
  EXPECT_EQ(model.Caret().position, 99);
  model.KeyDown(HexKey::Home, false, false, 4, top);
  EXPECT_EQ(model.Caret().position, 96);
  model.KeyDown(HexKey::Tab, false, false, 4, top);
  EXPECT_TRUE(model.Caret().in_char_field);
  model.KeyDown(HexKey::End, false, false, 4, top);
  EXPECT_EQ(model.Caret().position, 99);
  model.KeyDown(HexKey::SelectAll, false, true, 4, top);
  EXPECT_EQ(model.SelectionCount(), 100);
  // Insert mode: the caret may stand behind the last byte; moving right selects whole units.
  model.KeyDown(HexKey::Insert, false, false, 4, top);
  EXPECT_TRUE(model.Settings().insert_mode);
  model.SetCaretPosition(10);
  model.KeyDown(HexKey::Right, true, false, 4, top);
  EXPECT_EQ(model.SelectionLow(), 10);
  EXPECT_EQ(model.SelectionHigh(), 10);
  model.KeyDown(HexKey::Left, true, false, 4, top);
  EXPECT_FALSE(model.HasSelection());
  model.KeyDown(HexKey::End, false, true, 4, top);
  EXPECT_EQ(model.Caret().position, 100);
  model.KeyDown(HexKey::Backspace, false, false, 4, top);
  EXPECT_EQ(model.DataSize(), 99);
}

// A plain byte vector as the reference of random edits.
TEST(HexEdit, RandomEditsAgainstAPlainModelUndoToTheStart) {
  std::mt19937 random(12345);
  std::string start(300, '\0');
  for (char& c : start) {
    c = static_cast<char>(random() & 0xFF);
  }
  HexEditorModel model;
  Load(model, start);
  model.SetMaxUndo(0);  // no limit
  std::string reference = start;
  int64_t top = 2;
  const int steps = 3000;
  for (int step = 0; step < steps; ++step) {
    const int64_t size = model.DataSize();
    const auto pos = static_cast<int64_t>(random() % static_cast<uint32_t>(size + 1));
    const bool insert = random() % 2 == 0;
    model.SetInsertMode(insert);
    model.ClearSelection();  // typing over a selection replaces it; not tested here
    const int action = static_cast<int>(random() % 6);
    if (action == 0 && size > 0) {  // a hex digit, either column
      const int64_t p = std::min(pos, size - 1);
      model.MoveCaret({p, false, static_cast<int>(random() % 2)});
      const int digit = static_cast<int>(random() % 16);
      const int column = model.Caret().digit;
      model.KeyPress(static_cast<char16_t>("0123456789abcdef"[digit]));
      if (!insert || column == 1) {
        auto b = static_cast<uint8_t>(reference[static_cast<size_t>(p)]);
        b = column == 0 ? static_cast<uint8_t>(digit << 4 | (b & 15))
                        : static_cast<uint8_t>((b & 0xF0) | digit);
        reference[static_cast<size_t>(p)] = static_cast<char>(b);
      } else {
        reference.insert(static_cast<size_t>(p), 1, static_cast<char>(digit << 4));
      }
    } else if (action == 1) {  // a character
      const int64_t p = insert ? pos : std::min(pos, size - 1);
      if (p < 0) {
        continue;
      }
      model.MoveCaret({p, true, 0});
      const char c = static_cast<char>('A' + random() % 26);
      model.KeyPress(static_cast<char16_t>(c));
      if (insert) {
        reference.insert(static_cast<size_t>(p), 1, c);
      } else {
        reference[static_cast<size_t>(p)] = c;
      }
    } else if (action == 2 && size > 0) {  // delete a range
      const int64_t p = std::min(pos, size - 1);
      const int64_t n = std::min<int64_t>(1 + random() % 8, size - p);
      model.SetCaretPosition(p);
      model.SetSelectionEnd(p + n - 1);
      model.DeleteSelection();
      reference.erase(static_cast<size_t>(p), static_cast<size_t>(n));
    } else if (action == 3) {  // insert a block
      const std::string block(1 + random() % 5, static_cast<char>(random() & 0xFF));
      model.InsertBuffer(reinterpret_cast<const uint8_t*>(block.data()),
                         static_cast<int64_t>(block.size()), true, pos);
      reference.insert(static_cast<size_t>(pos), block);
    } else if (action == 4 && size > 0) {  // replace a range
      const int64_t p = std::min(pos, size - 1);
      const int64_t n = std::min<int64_t>(1 + random() % 6, size - p);
      const std::string block(random() % 5, 'r');
      model.SetCaretPosition(p);
      model.SetSelectionEnd(p + n - 1);
      model.ReplaceSelection(reinterpret_cast<const uint8_t*>(block.data()),
                             static_cast<int64_t>(block.size()), true);
      reference.replace(static_cast<size_t>(p), static_cast<size_t>(n), block);
    } else if (action == 5 && size > 0) {  // backspace or delete key
      const int64_t p = std::min(pos, size - 1);
      model.SetCaretPosition(p);
      const bool back = random() % 2 == 0;
      model.KeyDown(back ? HexKey::Backspace : HexKey::Delete, false, true, 10, top);
      if (back && insert && p > 0) {
        reference.erase(static_cast<size_t>(p - 1), 1);
      } else if (!back) {
        reference.erase(static_cast<size_t>(p), 1);
      }
    }
    ASSERT_EQ(Bytes(model), reference) << "step " << step << " action " << action;
  }
  int undone = 0;
  while (model.CanUndo()) {
    model.Undo();
    ++undone;
  }
  EXPECT_GT(undone, steps / 2);
  EXPECT_EQ(Bytes(model), start);
}

}  // namespace
}  // namespace qarvo::hex

namespace qarvo::hex {
namespace {

TEST(HexSave, BackupBeforeSaving) {
  test::TempDir dir;
  const std::string path = dir.File("data.bin");
  test::WriteFile(path, "old");
  HexEditorModel model;
  model.LoadFromFile(path);
  model.PrepareSave(path);  // unmodified: nothing to keep
  EXPECT_EQ(test::ReadFile(path), "old");
  model.ChangeByte('o', 'n', 0);
  test::ChangeSettings(model, [](HexEditorSettings& s) { s.backup_extension = ""; });
  model.PrepareSave(path);  // no extension: no backup, the file stays
  EXPECT_EQ(test::ReadFile(path), "old");
  test::ChangeSettings(model, [](HexEditorSettings& s) { s.backup_extension = ".bak"; });
  test::WriteFile(path + ".bak", "older");
  model.PrepareSave(path);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(test::ReadFile(path + ".bak"), "old");
}

#ifdef QARVO_NO_ASAN
// Undo and redo of a large insert move pieces, not bytes: under a cap that leaves no room for
// a second copy of the inserted block they still work.
TEST(HexEditDeathTest, UndoAndRedoOfALargeInsertNeedNoCopy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        HexEditorModel model;
        MemorySource small("abcdefgh");
        model.LoadFromStream(small);
        const int64_t big = int64_t{384} << 20;
        {
          std::vector<uint8_t> block(static_cast<size_t>(big), 0x5A);
          model.InsertBuffer(block.data(), big, false, 4);
        }
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t{640} << 20;
        setrlimit(RLIMIT_AS, &limit);
        model.Undo();
        bool ok = model.DataSize() == 8 && model.ByteAt(4) == 'e' && model.CanRedo();
        model.Redo();
        ok = ok && model.DataSize() == big + 8 && model.ByteAt(4) == 0x5A &&
             model.ByteAt(big + 4) == 'e' && model.UndoStorage().Size() < 1024;
        std::_Exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Deleting all of a large buffer keeps the store's pieces in the record, not a copy of the
// bytes, and its undo brings every byte back.
TEST(HexEditDeathTest, RecordOfALargeDeleteKeepsPieces) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const int64_t big = int64_t{192} << 20;
        HexEditorModel model;
        {
          std::string block(static_cast<size_t>(big), 'q');
          block[static_cast<size_t>(big) - 1] = 'z';
          MemorySource source(block);
          model.LoadFromStream(source);
        }
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t{320} << 20;
        setrlimit(RLIMIT_AS, &limit);
        bool ok = false;
        try {
          model.SelectAll();
          model.DeleteSelection();
          ok = model.DataSize() == 0 && model.UndoStorage().Size() < 1024;
          model.Undo();
          ok = ok && model.DataSize() == big && model.ByteAt(big - 1) == 'z' &&
               model.ByteAt(0) == 'q';
        } catch (const EMPHexEditor&) {
          ok = false;
        }
        std::_Exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace qarvo::hex
