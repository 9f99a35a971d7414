#include "hexview/memory_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "hexview/hex_error.h"

namespace qarvo::hex {

namespace {

[[noreturn]] void OutOfBounds() {
  throw EMPHexEditor("Data position/length out of data bounds");
}

}  // namespace

TMPHMemoryStream::~TMPHMemoryStream() {
  std::free(data_);
}

TMPHMemoryStream::TMPHMemoryStream(TMPHMemoryStream&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

TMPHMemoryStream& TMPHMemoryStream::operator=(TMPHMemoryStream&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void TMPHMemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

void TMPHMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= capacity_) {
    return;
  }
  if (capacity > kMaxSize) {
    throw EMPHexEditor("Data size " + std::to_string(capacity) +
                       " bytes is too large: the editor holds at most " + std::to_string(kMaxSize) +
                       " bytes (2 GiB - 1)");
  }
  void* grown = std::realloc(data_, static_cast<size_t>(capacity));
  if (grown == nullptr) {
    throw EMPHexEditor("Out of memory: cannot allocate " + std::to_string(capacity) +
                       " bytes for the data");
  }
  data_ = static_cast<uint8_t*>(grown);
  capacity_ = capacity;
}

void TMPHMemoryStream::SetSize(int64_t size) {
  if (size < 0) {
    OutOfBounds();
  }
  if (size > kMaxSize) {
    Reserve(size);  // refuses with the size in the message
  }
  if (size > capacity_) {
    // Growth by editing comes in small steps; keep it amortised. A first size (a load) is
    // taken exactly.
    int64_t want = size;
    if (size_ > 0) {
      want = std::min<int64_t>(kMaxSize, std::max<int64_t>(size, capacity_ + capacity_ / 2));
    }
    try {
      Reserve(want);
    } catch (const EMPHexEditor&) {
      if (want == size) {
        throw;
      }
      Reserve(size);
    }
  }
  size_ = size;
}

void TMPHMemoryStream::CheckRange(int64_t position, int64_t count) const {
  if (position < 0 || count < 0 || position > size_ || count > size_ - position) {
    OutOfBounds();
  }
}

uint8_t TMPHMemoryStream::Byte(int64_t position) const {
  CheckRange(position, 1);
  return data_[position];
}

void TMPHMemoryStream::Read(int64_t position, void* buffer, int64_t count) const {
  CheckRange(position, count);
  if (count > 0) {
    std::memcpy(buffer, data_ + position, static_cast<size_t>(count));
  }
}

void TMPHMemoryStream::Write(int64_t position, const void* buffer, int64_t count) {
  CheckRange(position, count);
  if (count > 0) {
    std::memcpy(data_ + position, buffer, static_cast<size_t>(count));
  }
}

void TMPHMemoryStream::Insert(int64_t position, const void* buffer, int64_t count) {
  if (position < 0 || position > size_ || count < 0) {
    OutOfBounds();
  }
  const int64_t old_size = size_;
  SetSize(old_size + count);
  std::memmove(data_ + position + count, data_ + position,
               static_cast<size_t>(old_size - position));
  if (count > 0) {
    std::memcpy(data_ + position, buffer, static_cast<size_t>(count));
  }
}

void TMPHMemoryStream::Remove(int64_t position, int64_t count) {
  CheckRange(position, count);
  std::memmove(data_ + position, data_ + position + count,
               static_cast<size_t>(size_ - position - count));
  size_ -= count;
}

void TMPHMemoryStream::Replace(int64_t position, int64_t remove, const void* buffer,
                               int64_t count) {
  CheckRange(position, remove);
  if (count < 0) {
    OutOfBounds();
  }
  const int64_t old_size = size_;
  const int64_t tail = old_size - position - remove;
  if (count > remove) {
    SetSize(old_size + count - remove);
  }
  std::memmove(data_ + position + count, data_ + position + remove, static_cast<size_t>(tail));
  if (count > 0) {
    std::memcpy(data_ + position, buffer, static_cast<size_t>(count));
  }
  size_ = old_size + count - remove;
}

bool ModifiedFlags::Get(int64_t position) const {
  if (position < 0 || position >= size_) {
    return false;
  }
  return (words_[static_cast<size_t>(position >> 6)] >> (position & 63)) & 1U;
}

void ModifiedFlags::Set(int64_t position, bool modified) {
  if (position < 0) {
    return;
  }
  if (position >= size_) {
    if (!modified) {
      return;
    }
    size_ = position + 1;
    words_.resize(static_cast<size_t>((size_ + 63) >> 6), 0);
  }
  uint64_t& word = words_[static_cast<size_t>(position >> 6)];
  const uint64_t bit = uint64_t{1} << (position & 63);
  word = modified ? (word | bit) : (word & ~bit);
}

void ModifiedFlags::DropFrom(int64_t position) {
  position = std::max<int64_t>(position, 0);
  if (position >= size_) {
    return;
  }
  size_ = position;
  words_.resize(static_cast<size_t>((size_ + 63) >> 6));
  if (!words_.empty() && (size_ & 63) != 0) {
    words_.back() &= (uint64_t{1} << (size_ & 63)) - 1;
  }
}

}  // namespace qarvo::hex
