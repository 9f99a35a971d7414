#include "hex/model/grid_geometry.h"

#include <algorithm>
#include <cctype>

#include "hex/model/offset_format.h"

namespace qarvo::hex {

namespace {

int HexColumnWidth(int i, const GridInput& in) {
  const int w = in.char_width;
  if (i == 2 * in.bytes_per_row - 1) {
    return 2 * w;
  }
  int width = w;
  const int group = 2 * in.bytes_per_column;
  if (i % group == group - 1) {
    width += w;
  }
  if (in.bytes_per_block > 1 && i % (2 * in.bytes_per_block) == 2 * in.bytes_per_block - 1) {
    width += w;
  }
  return width;
}

// Widths of the character columns for `bytes` bytes.
std::vector<int> CharColumnWidths(int bytes, const GridInput& in) {
  const int w = in.char_width;
  const int count = in.unicode ? bytes / 2 : bytes;
  const int block = in.unicode ? in.bytes_per_block / 2 : in.bytes_per_block;
  std::vector<int> widths(static_cast<size_t>(std::max(count, 0)));
  for (int j = 0; j < count; ++j) {
    int width = w + 1;
    if (in.unit >= 2 && !in.unicode && j % in.unit == in.unit - 1) {
      width = w * 3 / 2 + 1;
    }
    if (in.separate_blocks_in_char_field && in.bytes_per_block > 1 && block > 0 &&
        j % block == block - 1) {
      width += w;
    }
    widths[static_cast<size_t>(j)] = width;
  }
  if (!widths.empty()) {
    widths.back() = 2 * w + 1;
  }
  return widths;
}

std::string Cased(std::string text, bool lower_case) {
  for (char& c : text) {
    c = static_cast<char>(lower_case ? std::tolower(static_cast<unsigned char>(c))
                                     : std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

}  // namespace

int64_t GridGeometry::RowCountFor(int64_t data_size, int bytes_per_row, bool insert_mode) {
  if (data_size <= 0) {
    return 3;
  }
  int64_t rows = (data_size + bytes_per_row - 1) / bytes_per_row + 2;
  if (insert_mode && data_size % bytes_per_row == 0) {
    ++rows;
  }
  return rows;
}

void GridGeometry::Recalc(const GridInput& input) {
  in_ = input;
  const int b = in_.bytes_per_row;
  widths_.clear();
  widths_.push_back(in_.offset_column_width);
  widths_.push_back(kSpacerWidth);
  for (int i = 0; i <= 2 * b; ++i) {
    widths_.push_back(HexColumnWidth(i, in_));
  }
  for (int width : CharColumnWidths(b, in_)) {
    widths_.push_back(width);
  }
  lefts_.assign(widths_.size() + 1, 0);
  for (size_t c = 0; c < widths_.size(); ++c) {
    lefts_[c + 1] = lefts_[c] + widths_[c];
  }
  rows_ = RowCountFor(in_.data_size, b, in_.insert_mode);
}

int GridGeometry::RowHeight(int64_t row) const {
  if (row == 0) {
    return in_.show_ruler ? in_.row_height + 3 : 0;
  }
  return row == 1 ? 0 : in_.row_height;
}

int GridGeometry::ColumnAt(int x) const {
  if (x < 0) {
    return 0;
  }
  auto it = std::upper_bound(lefts_.begin(), lefts_.end(), x);
  const int column = static_cast<int>(it - lefts_.begin()) - 1;
  return column < ColumnCount() ? column : -1;
}

int64_t GridGeometry::PositionOfCell(int column, int64_t row) const {
  const int b = in_.bytes_per_row;
  int64_t in_row;
  if (column > GapColumn()) {
    in_row = column - FirstCharColumn();
    if (in_.unicode) {
      in_row *= 2;
    }
  } else {
    in_row = (column - 2) / 2;
  }
  return std::max<int64_t>(0, in_row + (row - 2) * b);
}

Cell GridGeometry::CellOfPosition(int64_t position, bool in_char_field) const {
  if (position < 0) {
    return {2, 2};
  }
  const int b = in_.bytes_per_row;
  const int in_row = static_cast<int>(position % b);
  const int64_t row = position / b + 2;
  if (in_char_field) {
    return {(in_.unicode ? in_row / 2 : in_row) + FirstCharColumn(), row};
  }
  return {2 * in_row + 2, row};
}

int GridGeometry::TwinColumn(int column) const {
  if (column >= FirstCharColumn()) {
    const int j = column - FirstCharColumn();
    return (in_.unicode ? 4 * j : 2 * j) + 2;
  }
  return (in_.unicode ? (column - 2) / 4 : (column - 2) / 2) + FirstCharColumn();
}

std::string HexRulerText(int bytes_per_row, int unit, int base, bool lower_case) {
  const int n = bytes_per_row / unit;
  const size_t width = static_cast<size_t>(2 * unit);
  std::string text;
  for (int i = 0; i < n; ++i) {
    std::string piece = ToRadix(i, base);
    if (piece.size() < width) {
      piece.insert(0, width - piece.size(), '0');
    }
    text += piece.substr(piece.size() - width);
  }
  return Cased(text, lower_case);
}

std::string CharRulerText(int bytes_per_row, int unit, int base, bool lower_case, bool unicode) {
  const int n = bytes_per_row / unit;
  const size_t width = static_cast<size_t>(unicode ? unit / 2 : unit);
  std::string text;
  for (int i = 0; i < n && width > 0; ++i) {
    std::string piece = ToRadix(i, base);
    if (piece.size() < width) {
      piece.insert(0, width - piece.size(), ' ');
    }
    text += piece.substr(piece.size() - width);
  }
  return Cased(text, lower_case);
}

int AutoBytesPerRow(int free_width, const GridInput& input) {
  const int w = input.char_width;
  auto needed = [&](int m) {
    int64_t sum = 0;
    for (int i = 0; i <= 2 * m; ++i) {
      sum += i == 2 * m - 1 ? 2 * w : w;
      if (i % (2 * input.bytes_per_column) == 1) {
        sum += w;
      }
      if (input.bytes_per_block > 1 && i % (2 * input.bytes_per_block) == 1) {
        sum += w;
      }
    }
    for (int width : CharColumnWidths(m, input)) {
      sum += width;
    }
    return sum;
  };
  for (int n = 2; n <= 254; n += 2) {
    if (needed(n + 2) > free_width) {
      return n;
    }
  }
  return 256;
}

}  // namespace qarvo::hex
