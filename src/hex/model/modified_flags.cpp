#include "hex/model/modified_flags.h"

#include <algorithm>
#include <iterator>

namespace qarvo::hex {

bool ModifiedFlags::Get(int64_t position) const {
  if (position < 0 || position >= size_) {
    return false;
  }
  auto it = runs_.upper_bound(position);
  if (it == runs_.begin()) {
    return false;
  }
  --it;
  return position < it->second;
}

void ModifiedFlags::Set(int64_t position, bool modified) {
  if (position < 0 || Get(position) == modified) {
    if (modified) {
      size_ = std::max(size_, position + 1);
    }
    return;
  }
  if (modified) {
    size_ = std::max(size_, position + 1);
    int64_t start = position;
    int64_t end = position + 1;
    auto next = runs_.find(end);
    if (next != runs_.end()) {
      end = next->second;
      runs_.erase(next);
    }
    auto it = runs_.lower_bound(position);
    if (it != runs_.begin() && std::prev(it)->second == position) {
      std::prev(it)->second = end;
      return;
    }
    runs_[start] = end;
    return;
  }
  // Cut `position` out of the run that holds it.
  auto it = std::prev(runs_.upper_bound(position));
  const int64_t end = it->second;
  if (it->first == position) {
    runs_.erase(it);
  } else {
    it->second = position;
  }
  if (position + 1 < end) {
    runs_[position + 1] = end;
  }
}

void ModifiedFlags::Mark(int64_t position, int64_t count) {
  if (position < 0 || count <= 0) {
    return;
  }
  int64_t start = position;
  int64_t end = position + count;
  size_ = std::max(size_, end);
  auto it = runs_.upper_bound(start);
  if (it != runs_.begin() && std::prev(it)->second >= start) {
    // The run before overlaps or touches the new one: they become one.
    start = std::prev(it)->first;
    end = std::max(end, std::prev(it)->second);
    runs_.erase(std::prev(it));
  }
  // Runs that start inside or right after the new one are swallowed.
  while (it != runs_.end() && it->first <= end) {
    end = std::max(end, it->second);
    it = runs_.erase(it);
  }
  runs_[start] = end;
}

void ModifiedFlags::DropFrom(int64_t position) {
  position = std::max<int64_t>(position, 0);
  if (position >= size_) {
    return;
  }
  size_ = position;
  auto it = runs_.lower_bound(position);
  runs_.erase(it, runs_.end());
  if (!runs_.empty() && runs_.rbegin()->second > position) {
    runs_.rbegin()->second = position;
  }
}

}  // namespace qarvo::hex
