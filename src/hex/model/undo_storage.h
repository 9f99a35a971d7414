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
  // The data is a list of the store's pieces, not bytes: a large range is kept by reference.
  ufPieces = 1u << 21,
};

// One undo record, unpacked.
struct UndoRecord {
  int kind = 0;
  uint32_t flags = 0;
  int64_t caret = 0;
  int64_t position = 0;
  int64_t count = 0;
  int64_t extra = 0;
  uint8_t translation = 0;
  int32_t bytes_per_unit = 1;
  std::vector<uint8_t> data;                             // at least one byte in the stream
  std::string description;                               // only with ufDescription
  int64_t sel_low = -1, sel_high = -1, sel_anchor = -1;  // only with ufSelection
};

// The undo records one after another in one block, each laid out as
//   0 length L, 4 flags (32-bit little-endian), 8 caret, 16 position, 24 count, 32 extra
//   (64-bit), 40 translation (1 byte), 41 bytes per unit (4), 45 data (n >= 1), then with flag
//   bit 20 the description and its length (4), with bit 16 the selection low, high, anchor
//   (3 x 8), and the length L again at L - 4, so that the block can be walked from either end.
// The block lives in memory only; positions are 64-bit so that records reach every byte of a
// file of any size.
class TMPHUndoStorage {
 public:
  static constexpr int kHeaderSize = 45;
  // The smallest record: a header, one data byte and the closing length.
  static constexpr size_t kMinRecord = kHeaderSize + 1 + 4;

  int Count() const { return count_; }
  int64_t Size() const { return static_cast<int64_t>(stream_.size()); }
  const std::vector<uint8_t>& Stream() const { return stream_; }
  const std::string& Description() const { return description_; }

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
  std::string description_;
};

}  // namespace qarvo::hex
