#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qarvo::hex {

// What the grid's shape depends on. Pixel sizes come from the font: `char_width` is the width
// of "w", `row_height` the height of "yY" + 2.
struct GridInput {
  int char_width = 8;
  int row_height = 16;
  int bytes_per_row = 16;
  int bytes_per_column = 2;
  int bytes_per_block = -1;
  int unit = 1;  // the effective ruler unit
  bool unicode = false;
  bool separate_blocks_in_char_field = true;
  bool show_ruler = false;
  bool insert_mode = false;
  int64_t data_size = 0;
  int offset_column_width = 0;  // column 0 in pixels
};

struct Cell {
  int column = 0;
  int64_t row = 0;
  bool operator==(const Cell&) const = default;
};

// The grid of the hex control: column 0 the offsets, column 1 a spacer, then one column per
// hex digit, a gap, one column per character; row 0 the ruler, row 1 hidden, then one row per
// BytesPerRow bytes. Columns 0-1 and rows 0-1 are fixed. Widget-free: pixels in, cells out.
class GridGeometry {
 public:
  static constexpr int kSpacerWidth = 6;

  void Recalc(const GridInput& input);
  const GridInput& Input() const { return in_; }

  int ColumnCount() const { return static_cast<int>(widths_.size()); }
  int64_t RowCount() const { return rows_; }
  static int64_t RowCountFor(int64_t data_size, int bytes_per_row, bool insert_mode);

  int ColumnWidth(int column) const { return widths_[static_cast<size_t>(column)]; }
  // Left edge of a column and the total width, in unscrolled pixels.
  int ColumnX(int column) const { return lefts_[static_cast<size_t>(column)]; }
  int TotalWidth() const { return lefts_.back(); }
  int RowHeight(int64_t row) const;
  int FixedHeight() const { return RowHeight(0); }  // rows 0 and 1
  // The column whose span holds `x` (unscrolled), or -1 beyond the last.
  int ColumnAt(int x) const;

  int LastHexColumn() const { return 2 * in_.bytes_per_row + 1; }
  int GapColumn() const { return 2 * in_.bytes_per_row + 2; }
  int FirstCharColumn() const { return 2 * in_.bytes_per_row + 3; }
  bool IsHexColumn(int column) const { return column >= 2 && column <= LastHexColumn(); }
  bool IsCharColumn(int column) const { return column >= FirstCharColumn(); }

  // Byte position of a cell (negative results give 0) and the cell of a position: the first
  // digit of the byte in the hex field, its character in the character field.
  int64_t PositionOfCell(int column, int64_t row) const;
  Cell CellOfPosition(int64_t position, bool in_char_field) const;
  // The column of the same byte in the other field.
  int TwinColumn(int column) const;

 private:
  GridInput in_;
  std::vector<int> widths_;
  std::vector<int> lefts_;  // ColumnCount() + 1 entries
  int64_t rows_ = 3;
};

// Ruler texts: one character per hex digit column and per character column.
std::string HexRulerText(int bytes_per_row, int unit, int base, bool lower_case);
std::string CharRulerText(int bytes_per_row, int unit, int base, bool lower_case, bool unicode);

// Bytes per row that fit into `free_width` pixels (client width less columns 0 and 1 and 8),
// as the automatic row width picks them: 2 .. 254 in steps of 2, or 256.
int AutoBytesPerRow(int free_width, const GridInput& input);

}  // namespace qarvo::hex
