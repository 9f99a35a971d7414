#include <gtest/gtest.h>

#include "hex/model/grid_geometry.h"
#include "hex/model/hex_model.h"

namespace qarvo::hex {
namespace {

constexpr int kW = 8;

GridInput Input(int64_t size, int bytes_per_row = 16) {
  GridInput in;
  in.char_width = kW;
  in.row_height = 17;
  in.bytes_per_row = bytes_per_row;
  in.data_size = size;
  in.offset_column_width = 50;
  return in;
}

TEST(GridGeometry, SixteenBytesInColumnsOfTwo) {
  GridGeometry g;
  g.Recalc(Input(100));
  ASSERT_EQ(g.ColumnCount(), 51);
  EXPECT_EQ(g.ColumnWidth(0), 50);
  EXPECT_EQ(g.ColumnWidth(1), 6);
  for (int c = 2; c <= 33; ++c) {
    const int expected = (c - 2) % 4 == 3 ? 2 * kW : kW;
    EXPECT_EQ(g.ColumnWidth(c), expected) << c;
  }
  EXPECT_EQ(g.ColumnWidth(33), 2 * kW);
  EXPECT_EQ(g.ColumnWidth(34), kW);  // the gap
  for (int c = 35; c <= 49; ++c) {
    EXPECT_EQ(g.ColumnWidth(c), kW + 1) << c;
  }
  EXPECT_EQ(g.ColumnWidth(50), 2 * kW + 1);
  EXPECT_EQ(g.ColumnX(2), 56);
  EXPECT_EQ(g.TotalWidth(), 56 + 32 * kW + 8 * kW + kW + 15 * (kW + 1) + 2 * kW + 1);
  EXPECT_EQ(g.ColumnAt(55), 1);
  EXPECT_EQ(g.ColumnAt(56), 2);
  EXPECT_EQ(g.ColumnAt(g.TotalWidth()), -1);
}

TEST(GridGeometry, BlocksAndUnitsWidenTheirLastColumns) {
  GridInput in = Input(100, 8);
  in.bytes_per_column = 1;
  in.bytes_per_block = 4;
  in.unit = 2;
  GridGeometry g;
  g.Recalc(in);
  // Hex: every second digit ends a group (2w); the block end (i = 7) gets w more.
  EXPECT_EQ(g.ColumnWidth(2 + 1), 2 * kW);
  EXPECT_EQ(g.ColumnWidth(2 + 7), 3 * kW);
  EXPECT_EQ(g.ColumnWidth(2 + 15), 2 * kW);  // the last digit is always 2w
  // Characters: unit ends are 1.5w + 1, the block end adds w, the last one is 2w + 1.
  const int first = g.FirstCharColumn();
  EXPECT_EQ(g.ColumnWidth(first), kW + 1);
  EXPECT_EQ(g.ColumnWidth(first + 1), kW * 3 / 2 + 1);
  EXPECT_EQ(g.ColumnWidth(first + 3), kW * 3 / 2 + 1 + kW);
  EXPECT_EQ(g.ColumnWidth(first + 7), 2 * kW + 1);
}

TEST(GridGeometry, RowsAndTheExtraInsertRow) {
  EXPECT_EQ(GridGeometry::RowCountFor(0, 16, false), 3);
  EXPECT_EQ(GridGeometry::RowCountFor(0, 16, true), 3);
  EXPECT_EQ(GridGeometry::RowCountFor(1, 16, false), 3);
  EXPECT_EQ(GridGeometry::RowCountFor(16, 16, false), 3);
  EXPECT_EQ(GridGeometry::RowCountFor(16, 16, true), 4);
  EXPECT_EQ(GridGeometry::RowCountFor(17, 16, true), 4);
  EXPECT_EQ(GridGeometry::RowCountFor(0x7FFFFFFF, 1, false), int64_t{0x7FFFFFFF} + 2);
  GridGeometry g;
  GridInput in = Input(32);
  g.Recalc(in);
  EXPECT_EQ(g.RowHeight(0), 0);
  EXPECT_EQ(g.RowHeight(1), 0);
  EXPECT_EQ(g.RowHeight(2), 17);
  in.show_ruler = true;
  g.Recalc(in);
  EXPECT_EQ(g.RowHeight(0), 20);
}

TEST(GridGeometry, UnicodeColumns) {
  GridInput in = Input(64);
  in.unicode = true;
  in.unit = 2;
  GridGeometry g;
  g.Recalc(in);
  EXPECT_EQ(g.ColumnCount(), 2 * 16 + 8 + 3);
  // Unit ends do not widen characters in unicode mode.
  EXPECT_EQ(g.ColumnWidth(g.FirstCharColumn() + 1), kW + 1);
  EXPECT_EQ(g.ColumnWidth(g.ColumnCount() - 1), 2 * kW + 1);
  EXPECT_EQ(g.CellOfPosition(21, true), (Cell{35 + 2, 3}));
  EXPECT_EQ(g.PositionOfCell(35 + 2, 3), 20);
  EXPECT_EQ(g.TwinColumn(35 + 2), 2 + 8);
  EXPECT_EQ(g.TwinColumn(2 + 11), 35 + 2);
}

TEST(GridGeometry, PositionsCellsAndTwins) {
  GridGeometry g;
  g.Recalc(Input(100));
  EXPECT_EQ(g.CellOfPosition(0, false), (Cell{2, 2}));
  EXPECT_EQ(g.CellOfPosition(17, false), (Cell{4, 3}));
  EXPECT_EQ(g.CellOfPosition(17, true), (Cell{36, 3}));
  EXPECT_EQ(g.CellOfPosition(-5, true), (Cell{2, 2}));
  EXPECT_EQ(g.PositionOfCell(4, 3), 17);
  EXPECT_EQ(g.PositionOfCell(5, 3), 17);  // second digit of the same byte
  EXPECT_EQ(g.PositionOfCell(36, 3), 17);
  EXPECT_EQ(g.PositionOfCell(2, 1), 0);  // negative gives 0
  EXPECT_EQ(g.TwinColumn(4), 36);
  EXPECT_EQ(g.TwinColumn(5), 36);
  EXPECT_EQ(g.TwinColumn(36), 4);
  EXPECT_EQ(g.TwinColumn(50), 32);
  for (int64_t p = 0; p < 100; p += 7) {
    for (bool in_char : {false, true}) {
      const Cell cell = g.CellOfPosition(p, in_char);
      EXPECT_EQ(g.PositionOfCell(cell.column, cell.row), p);
      EXPECT_EQ(g.IsCharColumn(cell.column), in_char);
      EXPECT_EQ(g.PositionOfCell(g.TwinColumn(cell.column), cell.row), p);
    }
  }
}

TEST(GridGeometry, Rulers) {
  EXPECT_EQ(HexRulerText(16, 1, 16, false), "000102030405060708090A0B0C0D0E0F");
  EXPECT_EQ(CharRulerText(16, 1, 16, false, false), "0123456789ABCDEF");
  EXPECT_EQ(CharRulerText(16, 1, 16, true, false), "0123456789abcdef");
  EXPECT_EQ(HexRulerText(16, 1, 10, false), "00010203040506070809101112131415");
  EXPECT_EQ(CharRulerText(16, 1, 10, false, false), "0123456789012345");
  EXPECT_EQ(HexRulerText(8, 2, 16, false), "0000000100020003");
  EXPECT_EQ(CharRulerText(8, 2, 16, false, false), " 0 1 2 3");
  EXPECT_EQ(CharRulerText(8, 2, 16, false, true), "0123");
  EXPECT_EQ(HexRulerText(4, 1, 2, false), "00011011");
  // Longer numbers keep their last digits.
  EXPECT_EQ(HexRulerText(260, 1, 16, false).substr(2 * 256, 4), "0001");
}

TEST(GridGeometry, AutoBytesPerRowForAFewWidths) {
  GridInput in = Input(0);
  EXPECT_EQ(AutoBytesPerRow(0, in), 2);
  // needed(m) with w = 8 and columns of 2 bytes: the hex part takes 2m + 1 digits, the last
  // 2w and every group end a w more; the characters m x 9 with the last one 17.
  auto needed = [](int m) { return (2 * m + 1) * kW + kW + (m / 2) * kW + (m - 1) * 9 + 17; };
  // n bytes are kept while needed(n + 2) still fits.
  EXPECT_EQ(AutoBytesPerRow(needed(18), in), 18);
  EXPECT_EQ(AutoBytesPerRow(needed(18) - 1, in), 16);
  EXPECT_EQ(AutoBytesPerRow(100000, in), 256);
}

TEST(GridGeometry, ModelSizesTheOffsetColumn) {
  HexEditorModel model;
  GridInput in = model.MakeGridInput(kW, 17);
  // Empty buffer: the last row's offset is 0, "0x0" plus one character.
  EXPECT_EQ(in.offset_column_width, 4 * kW + 21);
  model.SetGutterWidth(33);
  EXPECT_EQ(model.MakeGridInput(kW, 17).offset_column_width, 33);
}

}  // namespace
}  // namespace qarvo::hex
