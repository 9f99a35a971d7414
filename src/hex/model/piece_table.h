#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hex/model/byte_store.h"
#include "platform/io_buffer.h"

namespace qarvo::hex {

// The opened file, read by positioned reads through a few aligned blocks. The file is opened
// read-only and never mapped: a file that shrinks under the view reads as zeros past its new
// end and is reported as changed, it never faults the process.
class FileBlocks {
 public:
  static constexpr int64_t kBlockSize = 64 * 1024;
  static constexpr size_t kBlockCount = 16;

  // Takes an open descriptor (closed with this object) of a file of `size` bytes.
  FileBlocks(int fd, int64_t size, std::string path);
  ~FileBlocks();
  FileBlocks(const FileBlocks&) = delete;
  FileBlocks& operator=(const FileBlocks&) = delete;

  int64_t Size() const { return size_; }
  // Bytes [offset, offset + out.size()) of the file as it was opened; large reads bypass the
  // blocks. Throws EMPHexEditor when the system refuses the read.
  void Read(int64_t offset, std::span<uint8_t> out);
  bool Changed() const { return changed_; }

 private:
  struct Block {
    int64_t index = -1;
    uint64_t last_use = 0;
    IoBuffer bytes;
  };
  // Reads what the file still has and zeros the rest, noting a file that shrank or changed.
  void ReadAt(int64_t offset, uint8_t* out, size_t count);
  const uint8_t* BlockFor(int64_t index);
  void CheckUnchanged();

  int fd_;
  int64_t size_;
  std::string path_;
  struct timespec mtime_ {};
  bool changed_ = false;
  uint64_t clock_ = 0;
  std::array<Block, kBlockCount> blocks_;
};

// The append buffer: what was typed, pasted, dropped or loaded from a stream, in chunks that are
// never moved, so that growth never copies what is there.
class AddedBytes {
 public:
  static constexpr int kChunkBits = 20;
  static constexpr int64_t kChunkSize = int64_t{1} << kChunkBits;

  int64_t Size() const { return size_; }
  // Appends and returns the offset of the first byte; throws EMPHexEditor without memory.
  int64_t Append(std::span<const uint8_t> bytes);
  // Has the memory for `count` more bytes now: a large load fails before it reads anything.
  void Reserve(int64_t count);
  void Read(int64_t offset, std::span<uint8_t> out) const;

 private:
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  int64_t size_ = 0;
};

// The content as a table of pieces over the opened file and the append buffer. An edit splices
// the table and never copies the content, so an insert at the start of a file of many
// gigabytes costs as much as one at its end.
class PieceTable : public ByteStore {
 public:
  // Bytes in memory only.
  PieceTable();
  // The file behind `fd` (taken over), `size` bytes, as the content.
  PieceTable(int fd, int64_t size, std::string path);
  ~PieceTable() override;

  int64_t Size() const override { return size_; }
  void Read(int64_t position, std::span<uint8_t> out) const override;
  void Replace(int64_t position, int64_t remove, std::span<const uint8_t> bytes) override;
  void Replace(int64_t position, int64_t remove, const StoreSlice& slice) override;
  StoreSlice Slice(int64_t position, int64_t count) const override;
  StoreSlice Keep(std::span<const uint8_t> bytes) override;
  bool SourceChanged() const override { return file_ && file_->Changed(); }

  size_t PieceCount() const { return pieces_.size(); }
  void Reserve(int64_t count) { added_.Reserve(count); }
  // Bytes held in memory for edits (the file's bytes are not counted).
  int64_t AddedSize() const { return added_.Size(); }

 private:
  // The index of the piece holding `position` (pieces_.size() at the end).
  size_t PieceAt(int64_t position) const;
  // Splits the piece at `position` so that a piece starts there; returns its index.
  size_t SplitAt(int64_t position);
  void Merge();
  void Restart();

  std::unique_ptr<FileBlocks> file_;
  AddedBytes added_;
  std::vector<Piece> pieces_;
  std::vector<int64_t> starts_;  // starts_[i]: the content position of pieces_[i]
  int64_t size_ = 0;
};

}  // namespace qarvo::hex
