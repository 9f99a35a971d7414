#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qarvo::hex {

// Kinds of undo records, with their default descriptions.
enum UndoKind : int {
  ukChange = 0,
  ukRemove = 1,
  ukInsert = 2,
  ukReplace = 3,
  ukAppend = 4,
  ukNibbleInsert = 5,
  ukNibbleDelete = 6,
  ukConvert = 7,
  ukCursor = 8,
  ukGroup = 9,
  ukSaveAll = 10,
};
const char* UndoKindDescription(int kind);

// Flag bits of a record beside its kind (bits 0..10).
enum UndoFlag : uint32_t {
  ufFirstModified = 1u << 11,
  ufSecondModified = 1u << 12,
  ufModified = 1u << 13,
  ufSecondDigit = 1u << 14,
  ufCharField = 1u << 15,
  ufSelection = 1u << 16,
  ufInsertMode = 1u << 17,
  ufUnicode = 1u << 18,
  ufBigEndian = 1u << 19,
  ufDescription = 1u << 20,
};

// One undo record, unpacked.
struct UndoRecord {
  int kind = 0;
  uint32_t flags = 0;
  int32_t caret = 0;
  int32_t position = 0;
  int32_t count = 0;
  int32_t extra = 0;
  uint8_t translation = 0;
  int32_t bytes_per_unit = 1;
  std::vector<uint8_t> data;                             // at least one byte in the stream
  std::string description;                               // only with ufDescription
  int32_t sel_low = -1, sel_high = -1, sel_anchor = -1;  // only with ufSelection
};

// The undo records one after another in one block, each laid out as
//   0 length L, 4 flags, 8 caret, 12 position, 16 count, 20 extra (32-bit little-endian),
//   24 translation (1 byte), 25 bytes per unit (4), 29 data (n >= 1), then with flag bit 20
//   the description and its length (4), with bit 16 the selection low, high, anchor (12), and
//   the length L again at L - 4, so that the block can be walked from either end.
class TMPHUndoStorage {
 public:
  static constexpr int kHeaderSize = 29;

  int Count() const { return count_; }
  int64_t Size() const { return static_cast<int64_t>(stream_.size()); }
  const std::vector<uint8_t>& Stream() const { return stream_; }
  const std::string& Description() const { return description_; }

  // While above 0 no records are written and nothing can be undone.
  int UpdateCount() const { return update_count_; }
  void BeginUpdate() { ++update_count_; }
  void EndUpdate() {
    if (update_count_ > 0) {
      --update_count_;
    }
  }

  // Appends a record; throws EMPHexEditor when its memory cannot be had (the storage is
  // unchanged then).
  void Append(const UndoRecord& record);
  // Drops the oldest records while the block is larger than `max_bytes` (0 = no limit).
  void Trim(int64_t max_bytes);
  UndoRecord Newest() const;
  void RemoveNewest();
  void Reset();
  // The description of the newest record after a change of the block.
  void RefreshDescription();

 private:
  std::vector<uint8_t> stream_;
  int count_ = 0;
  int update_count_ = 0;
  std::string description_;
};

}  // namespace qarvo::hex
