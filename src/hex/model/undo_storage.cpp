#include "hex/model/undo_storage.h"

#include <algorithm>
#include <new>

#include "hex/model/hex_error.h"

namespace qarvo::hex {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void Put64(std::vector<uint8_t>& out, int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) {
    out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  }
}

uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

int64_t Get64(const uint8_t* at) {
  return static_cast<int64_t>(static_cast<uint64_t>(Get32(at)) |
                              static_cast<uint64_t>(Get32(at + 4)) << 32);
}

}  // namespace

const char* UndoKindDescription(int kind) {
  static const char* const kTexts[] = {
      "Change byte(s)",  "Remove data",           "Insert buffer", "Replace",
      "Append buffer",   "Insert nibble",         "Delete nibble", "Convert",
      "Cursor movement", "Multiple modification", "All data saved"};
  return kind >= 0 && kind <= 10 ? kTexts[kind] : "";
}

void TMPHUndoStorage::Append(const UndoRecord& record) {
  const bool described = (record.flags & ufDescription) != 0;
  const bool selected = (record.flags & ufSelection) != 0;
  const size_t length = kHeaderSize + std::max<size_t>(record.data.size(), 1) +
                        (described ? record.description.size() + 4 : 0) + (selected ? 24 : 0) + 4;
  // Written straight into the block, whose memory is had first: a record may hold a copy of
  // the whole buffer, and a copy on the way or a doubling of the block would need that again.
  const size_t start = stream_.size();
  try {
    if (stream_.capacity() - start < length) {
      stream_.reserve(start + std::max(start, length));
    }
  } catch (const std::bad_alloc&) {
    throw EMPHexEditor("Out of memory: cannot record the change for undo");
  }
  Put32(stream_, static_cast<uint32_t>(length));
  Put32(stream_, record.flags | static_cast<uint32_t>(1u << record.kind));
  Put64(stream_, record.caret);
  Put64(stream_, record.position);
  Put64(stream_, record.count);
  Put64(stream_, record.extra);
  stream_.push_back(record.translation);
  Put32(stream_, static_cast<uint32_t>(record.bytes_per_unit));
  if (record.data.empty()) {
    stream_.push_back(0);
  } else {
    stream_.insert(stream_.end(), record.data.begin(), record.data.end());
  }
  if (described) {
    stream_.insert(stream_.end(), record.description.begin(), record.description.end());
    Put32(stream_, static_cast<uint32_t>(record.description.size()));
  }
  if (selected) {
    Put64(stream_, record.sel_low);
    Put64(stream_, record.sel_high);
    Put64(stream_, record.sel_anchor);
  }
  Put32(stream_, static_cast<uint32_t>(length));
  ++count_;
  RefreshDescription();
}

void TMPHUndoStorage::Trim(int64_t max_bytes) {
  while (max_bytes > 0 && count_ > 0 && Size() > max_bytes) {
    const uint32_t length = stream_.size() >= 4 ? Get32(stream_.data()) : 0;
    if (length <= kHeaderSize || length > stream_.size()) {
      stream_.clear();
      count_ = 0;
      break;
    }
    stream_.erase(stream_.begin(), stream_.begin() + length);
    --count_;
    if (stream_.size() < kMinRecord) {
      stream_.clear();
      count_ = 0;
    }
  }
}

UndoRecord TMPHUndoStorage::Newest() const {
  UndoRecord r;
  const size_t end = stream_.size();
  const uint32_t length = Get32(stream_.data() + end - 4);
  const uint8_t* at = stream_.data() + end - length;
  const uint32_t flags = Get32(at + 4);
  for (int kind = 0; kind <= 10; ++kind) {
    if (flags & (1u << kind)) {
      r.kind = kind;
      break;
    }
  }
  r.flags = flags & ~0x7FFu;
  r.caret = Get64(at + 8);
  r.position = Get64(at + 16);
  r.count = Get64(at + 24);
  r.extra = Get64(at + 32);
  r.translation = at[40];
  r.bytes_per_unit = static_cast<int32_t>(Get32(at + 41));
  size_t tail = length - 4;  // the end of the variable part
  if (flags & ufSelection) {
    r.sel_low = Get64(at + tail - 24);
    r.sel_high = Get64(at + tail - 16);
    r.sel_anchor = Get64(at + tail - 8);
    tail -= 24;
  }
  if (flags & ufDescription) {
    const uint32_t d = Get32(at + tail - 4);
    tail -= 4;
    r.description.assign(reinterpret_cast<const char*>(at + tail - d), d);
    tail -= d;
  }
  r.data.assign(at + kHeaderSize, at + tail);
  return r;
}

void TMPHUndoStorage::RemoveNewest() {
  if (count_ == 0 || stream_.size() < 4) {
    Reset();
    return;
  }
  const uint32_t length = Get32(stream_.data() + stream_.size() - 4);
  stream_.resize(length <= stream_.size() ? stream_.size() - length : 0);
  --count_;
  if (stream_.size() < kMinRecord) {
    stream_.clear();
    count_ = 0;
  }
  RefreshDescription();
}

void TMPHUndoStorage::RefreshDescription() {
  // Read in place: the newest record may hold a copy of the whole buffer.
  description_.clear();
  if (count_ == 0 || stream_.size() < 4) {
    return;
  }
  const uint32_t length = Get32(stream_.data() + stream_.size() - 4);
  const uint8_t* at = stream_.data() + stream_.size() - length;
  const uint32_t flags = Get32(at + 4);
  size_t tail = length - 4;
  if (flags & ufSelection) {
    tail -= 24;
  }
  if (flags & ufDescription) {
    const uint32_t d = Get32(at + tail - 4);
    description_.assign(reinterpret_cast<const char*>(at + tail - 4 - d), d);
  } else if (flags & (1u << ukGroup)) {
    const size_t n = std::min<size_t>(at[kHeaderSize], tail - kHeaderSize - 1);
    description_.assign(reinterpret_cast<const char*>(at + kHeaderSize + 1), n);
  } else {
    for (int kind = 0; kind <= 10; ++kind) {
      if (flags & (1u << kind)) {
        description_ = UndoKindDescription(kind);
        break;
      }
    }
  }
}

void TMPHUndoStorage::Reset() {
  stream_.clear();
  stream_.shrink_to_fit();
  count_ = 0;
  description_.clear();
}

}  // namespace qarvo::hex
