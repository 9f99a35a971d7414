#include "split/piece_sums.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "codec/block_pipe.h"
#include "codec/sums_file.h"
#include "platform/paths.h"
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "text/checks.h"

namespace qarvo {

namespace {

// About 4 MiB of blocks in flight: enough to ride out a slow moment of either side.
constexpr size_t kQueueDepth = 64;
// A checksum file of a set is a line per piece; one far larger is not one of ours.
constexpr int64_t kMaxSumsFileSize = int64_t{64} << 20;

std::string JoinNumbers(const std::vector<int>& numbers) {
  constexpr size_t kShown = 8;
  std::string text;
  for (size_t i = 0; i < numbers.size() && i < kShown; ++i) {
    text += (i == 0 ? "" : ",") + std::to_string(numbers[i]);
  }
  if (numbers.size() > kShown) {
    text += "等" + std::to_string(numbers.size()) + "处";
  }
  return text;
}

}  // namespace

std::string SumsPathOf(const std::string& dir, const std::string& piece_base) {
  return dir + piece_base + kSumsExtension;
}

PieceSums::PieceSums(int32_t count) : hex_(static_cast<size_t>(std::max<int32_t>(count, 0))) {
  thread_ = std::thread([this] { Digest(); });
}

PieceSums::~PieceSums() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      ready_.notify_one();
    }
    thread_.join();
  }
}

std::vector<uint8_t> PieceSums::TakeBuffer() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (spare_.empty()) {
    return {};
  }
  std::vector<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  buffer.clear();
  return buffer;
}

void PieceSums::Push(Block block) {
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [this] { return queue_.size() < kQueueDepth; });
  queue_.push_back(std::move(block));
  ready_.notify_one();
}

void PieceSums::Add(int32_t n, std::vector<uint8_t> block) {
  if (!block.empty()) {
    Push({n, std::move(block), false});
  }
}

void PieceSums::EndPiece(int32_t n) {
  Push({n, {}, true});
}

void PieceSums::Add(int32_t n, const void* data, size_t size) {
  std::vector<uint8_t> block = TakeBuffer();
  const auto* bytes = static_cast<const uint8_t*>(data);
  block.assign(bytes, bytes + size);
  Add(n, std::move(block));
}

void PieceSums::AddFile(int32_t n, const File& file) {
  const int64_t size = file.Size();
  for (int64_t position = 0; position < size;) {
    std::vector<uint8_t> block = TakeBuffer();
    block.resize(static_cast<size_t>(std::min<int64_t>(size - position, kCopyBlockSize)));
    ReadAt(file, block.data(), block.size(), position);
    position += static_cast<int64_t>(block.size());
    Add(n, std::move(block));
  }
  EndPiece(n);
}

void PieceSums::Digest() {
  for (;;) {
    Block block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
      if (queue_.empty()) {
        return;
      }
      block = std::move(queue_.front());
      queue_.pop_front();
      room_.notify_one();
    }
    const auto index = static_cast<size_t>(block.piece - 1);
    if (block.piece < 1 || index >= hex_.size()) {
      continue;
    }
    auto digest = active_.find(block.piece);
    if (digest == active_.end()) {
      digest = active_.emplace(block.piece, ShaDigest(ShaKind::Sha256)).first;
    }
    if (block.end) {
      hex_[index] = digest->second.FinalHex();
      active_.erase(digest);
      continue;
    }
    digest->second.Update(block.bytes.data(), block.bytes.size());
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() < kQueueDepth) {
      spare_.push_back(std::move(block.bytes));
    }
  }
}

std::vector<std::string> PieceSums::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  // A piece that was not ended (a job that stopped half way) has no digest: it is not known.
  active_.clear();
  return std::move(hex_);
}

void CopyAndDigest(File& in, File& out, int64_t count, int32_t n, PieceSums& sums,
                   CopyObserver* observer) {
  for (int64_t left = count; left > 0;) {
    std::vector<uint8_t> block = sums.TakeBuffer();
    block.resize(static_cast<size_t>(std::min<int64_t>(left, kCopyBlockSize)));
    {
      std::unique_lock<std::mutex> hold;
      if (observer != nullptr) {
        hold = observer->BeforeBlock();
      }
      in.ReadExact(block.data(), block.size());
      out.Write(block.data(), block.size());
    }
    const auto step = static_cast<int64_t>(block.size());
    left -= step;
    sums.Add(n, std::move(block));
    if (observer != nullptr) {
      observer->Advanced(step);
    }
  }
}

bool SetSums::Lists(int32_t n) const {
  return n >= 1 && static_cast<size_t>(n) <= hex.size() && !hex[static_cast<size_t>(n - 1)].empty();
}

std::unique_ptr<PieceSums> PieceSumsToTake(const SetSums& sums, int32_t count) {
  if (sums.present && !sums.unreadable && sums.unlisted.size() < static_cast<size_t>(count)) {
    return std::make_unique<PieceSums>(count);
  }
  return nullptr;
}

SetSums ReadSetSums(const std::string& piece_dir, const std::string& piece_base, int32_t count) {
  SetSums sums;
  sums.path = SumsPathOf(piece_dir, piece_base);
  if (!FileExists(sums.path)) {
    return sums;
  }
  sums.present = true;
  std::string text;
  try {
    File file(sums.path, OpenMode::Read, Share::Shared);
    const int64_t size = file.Size();
    if (size > kMaxSumsFileSize) {
      sums.unreadable = true;
      return sums;
    }
    text.resize(static_cast<size_t>(size));
    file.ReadExact(text.data(), text.size());
  } catch (const FileError&) {
    sums.unreadable = true;
    return sums;
  }
  const SumsList list = ParseSums(text, SumKind::Sha256);
  sums.bad_lines = list.bad_lines;
  sums.hex.assign(static_cast<size_t>(std::max<int32_t>(count, 0)), std::string());
  const std::string_view extension = kPieceExtension;
  for (const SumEntry& entry : list.entries) {
    // Lines name the pieces beside the file; a path in front of the name is allowed.
    const std::string name = FileNameOf(entry.name);
    if (name.size() <= piece_base.size() + extension.size() ||
        name.compare(0, piece_base.size(), piece_base) != 0 ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
      continue;
    }
    const std::string digits =
        name.substr(piece_base.size(), name.size() - piece_base.size() - extension.size());
    if (!IsAllDigits(digits) || digits[0] == '0' || digits.size() > 9) {
      continue;
    }
    const int64_t n = std::stoll(digits);
    if (n <= count) {
      sums.hex[static_cast<size_t>(n - 1)] = entry.hex;
    }
  }
  for (int32_t n = 1; n <= count; ++n) {
    if (!sums.Lists(n)) {
      sums.unlisted.push_back(n);
    }
  }
  return sums;
}

std::vector<std::string> SetSumsNotes(const SetSums& sums, const std::string& prefix) {
  std::vector<std::string> notes;
  if (!sums.present) {
    return notes;
  }
  if (sums.unreadable) {
    notes.push_back(prefix + "无法读取校验文件" + sums.path + ",不检查分割文件的内容!");
    return notes;
  }
  if (!sums.bad_lines.empty()) {
    notes.push_back(prefix + "校验文件" + sums.path + "第" + JoinNumbers(sums.bad_lines) +
                    "行无法识别,已忽略!");
  }
  if (!sums.unlisted.empty()) {
    std::vector<int> pieces(sums.unlisted.begin(), sums.unlisted.end());
    notes.push_back(prefix + "校验文件" + sums.path + "中没有第" + JoinNumbers(pieces) +
                    "个分割文件的校验值,不检查它们的内容!");
  }
  return notes;
}

std::string PieceSumMismatchLine(int32_t n, const std::string& path) {
  return "第" + std::to_string(n) + "个分割文件已损坏:" + path;
}

std::vector<int32_t> DamagedPieces(const SetSums& sums, const std::vector<std::string>& digests) {
  std::vector<int32_t> damaged;
  for (size_t i = 0; i < digests.size(); ++i) {
    const auto n = static_cast<int32_t>(i + 1);
    if (sums.Lists(n) && !digests[i].empty() && sums.hex[i] != digests[i]) {
      damaged.push_back(n);
    }
  }
  return damaged;
}

}  // namespace qarvo
