#include "hex/model/piece_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "hex/model/hex_error.h"

namespace qarvo::hex {

namespace {

[[noreturn]] void OutOfBounds() {
  throw EMPHexEditor("Data position/length out of data bounds");
}

}  // namespace

int64_t StoreSlice::Size() const {
  int64_t size = 0;
  for (const Piece& piece : pieces) {
    size += piece.length;
  }
  return size;
}

void ByteStore::CheckRange(int64_t position, int64_t count) const {
  const int64_t size = Size();
  if (position < 0 || count < 0 || position > size || count > size - position) {
    OutOfBounds();
  }
}

uint8_t ByteStore::Byte(int64_t position) const {
  uint8_t byte = 0;
  Read(position, {&byte, 1});
  return byte;
}

// ---------------------------------------------------------------- file blocks

FileBlocks::FileBlocks(int fd, int64_t size, std::string path)
    : fd_(fd), size_(size), path_(std::move(path)) {
  struct stat st {};
  if (fstat(fd_, &st) == 0) {
    mtime_ = st.st_mtim;
  }
}

FileBlocks::~FileBlocks() {
  close(fd_);
}

void FileBlocks::CheckUnchanged() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    return;
  }
  if (st.st_size != size_ || st.st_mtim.tv_sec != mtime_.tv_sec ||
      st.st_mtim.tv_nsec != mtime_.tv_nsec) {
    changed_ = true;
  }
}

void FileBlocks::ReadAt(int64_t offset, uint8_t* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n =
        pread(fd_, out + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      throw EMPHexEditor("读取文件 " + path_ + " 出错(" + std::strerror(errno) + ")");
    }
    if (n == 0) {
      // The file is shorter than when it was opened: what is gone shows as zeros.
      std::memset(out + done, 0, count - done);
      changed_ = true;
      return;
    }
    done += static_cast<size_t>(n);
  }
  CheckUnchanged();
}

const uint8_t* FileBlocks::BlockFor(int64_t index) {
  Block* oldest = &blocks_[0];
  for (Block& block : blocks_) {
    if (block.index == index) {
      block.last_use = ++clock_;
      return block.bytes.data();
    }
    if (block.last_use < oldest->last_use) {
      oldest = &block;
    }
  }
  if (oldest->bytes.empty()) {
    oldest->bytes.Resize(static_cast<size_t>(kBlockSize));
  }
  const int64_t start = index * kBlockSize;
  oldest->index = -1;  // a failed read leaves no half block behind
  ReadAt(start, oldest->bytes.data(), static_cast<size_t>(std::min(kBlockSize, size_ - start)));
  oldest->index = index;
  oldest->last_use = ++clock_;
  return oldest->bytes.data();
}

void FileBlocks::Read(int64_t offset, std::span<uint8_t> out) {
  if (static_cast<int64_t>(out.size()) >= kBlockSize) {
    // A search or a copy: straight into the caller's buffer, no block is displaced.
    ReadAt(offset, out.data(), out.size());
    return;
  }
  size_t done = 0;
  while (done < out.size()) {
    const int64_t at = offset + static_cast<int64_t>(done);
    const uint8_t* block = BlockFor(at / kBlockSize);
    const int64_t in_block = at % kBlockSize;
    const size_t n = std::min(out.size() - done, static_cast<size_t>(kBlockSize - in_block));
    std::memcpy(out.data() + done, block + in_block, n);
    done += n;
  }
}

// ---------------------------------------------------------------- added bytes

void AddedBytes::Reserve(int64_t count) {
  const size_t chunks_before = chunks_.size();
  try {
    const int64_t end = size_ + count;
    while (static_cast<int64_t>(chunks_.size()) << kChunkBits < end) {
      chunks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(kChunkSize)));
    }
  } catch (const std::bad_alloc&) {
    chunks_.resize(chunks_before);
    throw EMPHexEditor("Out of memory: cannot allocate " + std::to_string(count) +
                       " bytes for the data");
  }
}

int64_t AddedBytes::Append(std::span<const uint8_t> bytes) {
  const int64_t start = size_;
  Reserve(static_cast<int64_t>(bytes.size()));
  size_t done = 0;
  while (done < bytes.size()) {
    const int64_t at = size_ + static_cast<int64_t>(done);
    const int64_t in_chunk = at & (kChunkSize - 1);
    const size_t n = std::min(bytes.size() - done, static_cast<size_t>(kChunkSize - in_chunk));
    std::memcpy(chunks_[static_cast<size_t>(at >> kChunkBits)].get() + in_chunk,
                bytes.data() + done, n);
    done += n;
  }
  size_ += static_cast<int64_t>(bytes.size());
  return start;
}

void AddedBytes::Read(int64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    const int64_t at = offset + static_cast<int64_t>(done);
    const int64_t in_chunk = at & (kChunkSize - 1);
    const size_t n = std::min(out.size() - done, static_cast<size_t>(kChunkSize - in_chunk));
    std::memcpy(out.data() + done, chunks_[static_cast<size_t>(at >> kChunkBits)].get() + in_chunk,
                n);
    done += n;
  }
}

// ---------------------------------------------------------------- piece table

PieceTable::PieceTable() = default;

PieceTable::PieceTable(int fd, int64_t size, std::string path)
    : file_(std::make_unique<FileBlocks>(fd, size, std::move(path))) {
  if (size > 0) {
    pieces_.push_back({PieceSource::File, 0, size});
  }
  Restart();
}

PieceTable::~PieceTable() = default;

void PieceTable::Restart() {
  starts_.resize(pieces_.size());
  int64_t at = 0;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    starts_[i] = at;
    at += pieces_[i].length;
  }
  size_ = at;
}

size_t PieceTable::PieceAt(int64_t position) const {
  // The last piece whose start is at or before `position`.
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), position);
  if (it == starts_.begin() || position >= size_) {
    return pieces_.size();
  }
  return static_cast<size_t>(it - starts_.begin()) - 1;
}

void PieceTable::Read(int64_t position, std::span<uint8_t> out) const {
  CheckRange(position, static_cast<int64_t>(out.size()));
  size_t done = 0;
  for (size_t i = PieceAt(position); done < out.size() && i < pieces_.size(); ++i) {
    const Piece& piece = pieces_[i];
    const int64_t at = position + static_cast<int64_t>(done);
    const int64_t skip = at - starts_[i];
    const size_t n = std::min(out.size() - done, static_cast<size_t>(piece.length - skip));
    const std::span<uint8_t> part = out.subspan(done, n);
    if (piece.source == PieceSource::File) {
      file_->Read(piece.offset + skip, part);
    } else {
      added_.Read(piece.offset + skip, part);
    }
    done += n;
  }
}

size_t PieceTable::SplitAt(int64_t position) {
  const size_t i = PieceAt(position);
  if (i == pieces_.size() || starts_[i] == position) {
    return i;
  }
  const int64_t head = position - starts_[i];
  Piece tail = pieces_[i];
  tail.offset += head;
  tail.length -= head;
  pieces_[i].length = head;
  pieces_.insert(pieces_.begin() + static_cast<std::ptrdiff_t>(i) + 1, tail);
  starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(i) + 1, position);
  return i + 1;
}

void PieceTable::Merge() {
  // Neighbours that continue each other become one piece again: typing byte after byte, or
  // an undo that puts back what was cut out, does not let the table grow.
  size_t out = 0;
  for (size_t i = 0; i < pieces_.size(); ++i) {
    if (pieces_[i].length == 0) {
      continue;
    }
    if (out > 0) {
      Piece& last = pieces_[out - 1];
      if (last.source == pieces_[i].source && last.offset + last.length == pieces_[i].offset) {
        last.length += pieces_[i].length;
        continue;
      }
    }
    pieces_[out++] = pieces_[i];
  }
  pieces_.resize(out);
  Restart();
}

void PieceTable::Replace(int64_t position, int64_t remove, const StoreSlice& slice) {
  CheckRange(position, remove);
  const size_t first = SplitAt(position);
  const size_t last = SplitAt(position + remove);
  // Built aside: without memory for it the table stays as it was.
  std::vector<Piece> next;
  next.reserve(pieces_.size() - (last - first) + slice.pieces.size());
  const auto begin = pieces_.begin();
  next.insert(next.end(), begin, begin + static_cast<std::ptrdiff_t>(first));
  next.insert(next.end(), slice.pieces.begin(), slice.pieces.end());
  next.insert(next.end(), begin + static_cast<std::ptrdiff_t>(last), pieces_.end());
  starts_.reserve(next.size());
  pieces_.swap(next);
  Merge();
}

void PieceTable::Replace(int64_t position, int64_t remove, std::span<const uint8_t> bytes) {
  CheckRange(position, remove);
  Replace(position, remove, Keep(bytes));
}

StoreSlice PieceTable::Keep(std::span<const uint8_t> bytes) {
  StoreSlice slice;
  if (!bytes.empty()) {
    slice.pieces.push_back(
        {PieceSource::Added, added_.Append(bytes), static_cast<int64_t>(bytes.size())});
  }
  return slice;
}

StoreSlice PieceTable::Slice(int64_t position, int64_t count) const {
  CheckRange(position, count);
  StoreSlice slice;
  int64_t at = position;
  for (size_t i = PieceAt(position); at < position + count && i < pieces_.size(); ++i) {
    const int64_t skip = at - starts_[i];
    const int64_t n = std::min(position + count - at, pieces_[i].length - skip);
    slice.pieces.push_back({pieces_[i].source, pieces_[i].offset + skip, n});
    at += n;
  }
  return slice;
}

}  // namespace qarvo::hex
