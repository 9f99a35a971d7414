#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace qarvo::hex {

// What a load reads from: a file or any other stream of bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
  // Up to `count` bytes; fewer only at the end.
  virtual size_t Read(void* buffer, size_t count) = 0;
};

// An open file, read from its current position.
class FileSource : public ByteSource {
 public:
  explicit FileSource(File& file) : file_(file) {}
  int64_t Size() const override { return file_.Size(); }
  int64_t Position() const override { return file_.Position(); }
  void Seek(int64_t position) override { file_.Seek(position); }
  size_t Read(void* buffer, size_t count) override { return file_.Read(buffer, count); }

 private:
  File& file_;
};

// Bytes in memory; the caller keeps them alive.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override { position_ = position; }
  size_t Read(void* buffer, size_t count) override;

 private:
  std::string_view bytes_;
  int64_t position_ = 0;
};

}  // namespace qarvo::hex
