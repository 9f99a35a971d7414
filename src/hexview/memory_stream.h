#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qarvo::hex {

// The control's whole content: one growable block of bytes. Sizes are 64-bit in the interface
// so that the callers need not change for a larger store, but this one holds at most
// kMaxSize bytes: larger sizes are refused before anything is allocated.
class TMPHMemoryStream {
 public:
  static constexpr int64_t kMaxSize = 0x7FFFFFFF;

  TMPHMemoryStream() = default;
  ~TMPHMemoryStream();
  TMPHMemoryStream(const TMPHMemoryStream&) = delete;
  TMPHMemoryStream& operator=(const TMPHMemoryStream&) = delete;
  TMPHMemoryStream(TMPHMemoryStream&& other) noexcept;
  TMPHMemoryStream& operator=(TMPHMemoryStream&& other) noexcept;

  int64_t Size() const { return size_; }
  const uint8_t* Data() const { return data_; }
  uint8_t* Data() { return data_; }

  // New size; bytes beyond the old size are undefined until written. Throws EMPHexEditor for a
  // size above kMaxSize or when the memory cannot be had; the content is unchanged then.
  void SetSize(int64_t size);
  // Frees the memory.
  void Clear();

  uint8_t Byte(int64_t position) const;
  void Read(int64_t position, void* buffer, int64_t count) const;
  void Write(int64_t position, const void* buffer, int64_t count);
  // Opens a gap of `count` bytes at `position` (the tail moves up) and fills it from `buffer`.
  void Insert(int64_t position, const void* buffer, int64_t count);
  // Removes `count` bytes at `position`; the tail moves down.
  void Remove(int64_t position, int64_t count);
  // Replaces `remove` bytes at `position` by `count` bytes from `buffer`. Memory is had
  // first: a failure leaves the content as it was.
  void Replace(int64_t position, int64_t remove, const void* buffer, int64_t count);

  // Throws "Data position/length out of data bounds" unless [position, position + count) lies
  // in the data.
  void CheckRange(int64_t position, int64_t count) const;

 private:
  void Reserve(int64_t capacity);

  uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
};

// One flag per byte: set for bytes changed since the last load or save. Never longer than the
// buffer it belongs to; bytes beyond the stored length read as unchanged.
class ModifiedFlags {
 public:
  bool Get(int64_t position) const;
  void Set(int64_t position, bool modified);
  // Drops every flag from `position` on (data there moved or was replaced).
  void DropFrom(int64_t position);
  void Clear() { words_.clear(), size_ = 0; }
  int64_t Size() const { return size_; }

 private:
  std::vector<uint64_t> words_;
  int64_t size_ = 0;
};

}  // namespace qarvo::hex
