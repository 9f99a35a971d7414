// Shifting the data by one nibble: the shifted tail goes to the store's memory block by block
// and takes the old tail's place in one splice.
#include <algorithm>
#include <vector>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"

namespace qarvo::hex {

void HexEditorModel::NibbleShift(int64_t position, bool insert) {
  const int64_t size = DataSize();
  if (position < 0 || position >= size) {
    return;
  }
  const int64_t tail = size - position;
  if (tail > kMaxInMemory) {
    throw EMPHexEditor("要移动的数据太多(" + std::to_string(tail) +
                       " 字节),不能插入或删除半个字节。");
  }
  // The tail shifted right by four bits, plus the carried last nibble; a delete drops the
  // first byte of that.
  StoreSlice shifted;
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  uint8_t carry = 0;
  for (int64_t done = 0; done < tail;) {
    const int64_t step = std::min<int64_t>(tail - done, kCopyStep);
    in.resize(static_cast<size_t>(step));
    store_->Read(position + done, in);
    out.clear();
    for (const uint8_t b : in) {
      out.push_back(static_cast<uint8_t>(carry << 4 | b >> 4));
      carry = b & 0x0F;
    }
    done += step;
    if (done == tail) {
      out.push_back(static_cast<uint8_t>(carry << 4));
    }
    std::span<const uint8_t> part(out);
    if (!insert && shifted.pieces.empty()) {
      part = part.subspan(1);
    }
    if (!insert && done == tail) {
      part = part.first(part.size() - 1);
    }
    const StoreSlice kept = store_->Keep(part);
    shifted.pieces.insert(shifted.pieces.end(), kept.pieces.begin(), kept.pieces.end());
  }
  store_->Replace(position, tail, shifted);
}

void HexEditorModel::InsertNibble(int64_t position, const std::string& description) {
  RecordedNibbleShift(position, true, description);
}

void HexEditorModel::DeleteNibble(int64_t position, const std::string& description) {
  RecordedNibbleShift(position, false, description);
}

void HexEditorModel::RecordedNibbleShift(int64_t position, bool insert,
                                         const std::string& description) {
  const int kind = insert ? ukNibbleInsert : ukNibbleDelete;
  store_->CheckRange(position, 1);
  CheckChange(kind, 1, 0);
  RecordChange(kind, position, description, 0, 1, [&] { NibbleShift(position, insert); });
  flags_.DropFrom(position);
  if (!insert) {
    caret_.position = std::clamp<int64_t>(caret_.position, 0, LastCaretPosition());
  }
  LayoutChanged();
  Changed();
}

}  // namespace qarvo::hex
