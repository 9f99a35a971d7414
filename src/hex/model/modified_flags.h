#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace qarvo::hex {

// The changed-byte marks: set for bytes changed since the last load or save, kept as runs so
// that a change near the end of a huge file costs one run, not a flag per byte before it.
// Positions at or beyond Size() read as unchanged.
class ModifiedFlags {
 public:
  bool Get(int64_t position) const;
  void Set(int64_t position, bool modified);
  // Marks [position, position + count) changed at the cost of the runs it meets, not of its
  // length: a large paste over the data is one run.
  void Mark(int64_t position, int64_t count);
  // Drops every mark from `position` on (data there moved or was replaced).
  void DropFrom(int64_t position);
  void Clear() { runs_.clear(), size_ = 0; }
  // One past the highest position ever marked since the last drop.
  int64_t Size() const { return size_; }
  size_t RunCount() const { return runs_.size(); }

 private:
  std::map<int64_t, int64_t> runs_;  // start -> end (exclusive); disjoint, never touching
  int64_t size_ = 0;
};

}  // namespace qarvo::hex
