#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qarvo::hex {

// Where a run of the content's bytes lives: in the opened file or in the store's append buffer.
enum class PieceSource : uint8_t { File = 0, Added = 1 };

struct Piece {
  PieceSource source = PieceSource::Added;
  int64_t offset = 0;  // in the file or in the append buffer
  int64_t length = 0;
};

// A range of the content taken as the pieces that hold it. The bytes behind a piece never change
// (the file is never written, the append buffer only grows), so a slice stays valid for the
// store's life and costs memory by its piece count, not by its size.
struct StoreSlice {
  std::vector<Piece> pieces;
  int64_t Size() const;
};

// The content of the hex control. Nothing outside the store touches its memory: callers read
// the ranges they need and change the content by ranges.
class ByteStore {
 public:
  virtual ~ByteStore() = default;

  virtual int64_t Size() const = 0;
  // Fills `out` with the bytes from `position`; throws EMPHexEditor unless the whole range lies
  // in the content.
  virtual void Read(int64_t position, std::span<uint8_t> out) const = 0;
  // Replaces `remove` bytes at `position` by `bytes`: an overwrite, an insert or a delete.
  virtual void Replace(int64_t position, int64_t remove, std::span<const uint8_t> bytes) = 0;
  // The same with bytes the store already holds.
  virtual void Replace(int64_t position, int64_t remove, const StoreSlice& slice) = 0;
  virtual StoreSlice Slice(int64_t position, int64_t count) const = 0;
  // Takes `bytes` into the store's memory without placing them, for a later Replace.
  virtual StoreSlice Keep(std::span<const uint8_t> bytes) = 0;
  // True once a read found the file other than it was when opened (shorter, or changed).
  virtual bool SourceChanged() const = 0;

  // Throws "Data position/length out of data bounds" unless [position, position + count) lies
  // in the content.
  void CheckRange(int64_t position, int64_t count) const;
  uint8_t Byte(int64_t position) const;
};

}  // namespace qarvo::hex
