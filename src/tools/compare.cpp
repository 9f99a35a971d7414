#include "tools/compare.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "codec/digest.h"
#include "platform/file.h"
#include "platform/io_buffer.h"

namespace qarvo {

namespace {

// A fingerprint, or the read failure that left the file without one. A file that fails in the
// middle counts as an unreadable one (the empty text), and its reason is kept.
struct Fingerprint {
  std::string text;
  std::optional<FileError> failure;
  // The text is not the file's: never the same as another. A CRC-32 or MD5 of a file that
  // could not be opened is that of an empty file, as it always was.
  bool no_digest = false;
};

const char* FingerprintName(CompareMode mode) {
  switch (mode) {
    case CompareMode::Md5:
      return "MD5";
    case CompareMode::Sha256:
      return "SHA256";
    case CompareMode::Crc32:
    case CompareMode::Bytes:
      break;
  }
  return "CRC32";
}

Fingerprint FingerprintOf(CompareMode mode, const std::string& path, CopyObserver* observer) {
  try {
    if (mode == CompareMode::Sha256) {
      File file = OpenToCompare(path);
      return Fingerprint{SumHexOf(file, SumKind::Sha256, observer), std::nullopt};
    }
    const ChecksumKind kind = mode == CompareMode::Md5 ? ChecksumKind::Md5 : ChecksumKind::Crc32;
    return Fingerprint{ChecksumTextOfFile(path, kind, observer), std::nullopt};
  } catch (const FileError& error) {
    return Fingerprint{std::string(), error, true};
  }
}

// The second file's fingerprint is worked out on a thread of its own while the first one is
// computed, so two large files take about the time of one on a machine with two cores. The log
// still tells the steps in their order.
std::future<Fingerprint> StartFingerprint(CompareMode mode, const std::string& path,
                                          CopyObserver* observer) {
  try {
    return std::async(std::launch::async, FingerprintOf, mode, path, observer);
  } catch (const std::system_error&) {
    // No thread to spare: the result is computed when it is asked for.
    return std::async(std::launch::deferred, FingerprintOf, mode, path, observer);
  }
}

int64_t SizeOrZero(const std::string& path) {
  try {
    return FileSizeOf(path);
  } catch (const FileError&) {
    return 0;
  }
}

std::string OffsetText(int64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "%lld (0x%llX)", static_cast<long long>(offset),
                static_cast<unsigned long long>(offset));
  return text;
}

std::string ByteText(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// Reads a file front to back on a thread of its own into a few blocks, so that its reads
// overlap the reads and the work of the caller's thread. Stops when the caller has all blocks
// in hand, or at the end of the file, or when destroyed.
class ReadAhead {
 public:
  ReadAhead(File& file, size_t block_size, size_t blocks)
      : file_(file), blocks_(blocks), sizes_(blocks) {
    for (IoBuffer& block : blocks_) {
      block.Resize(block_size);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~ReadAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next block, valid until the next call; empty at the end of the file. Throws the
  // reader's FileError once the blocks read before it are used up.
  std::span<const uint8_t> Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (holding_) {
      head_ = (head_ + 1) % blocks_.size();
      --filled_;
      holding_ = false;
      changed_.notify_all();
    }
    changed_.wait(lock, [&] { return filled_ > 0 || error_; });
    if (filled_ == 0) {
      throw *error_;
    }
    holding_ = true;
    return {blocks_[head_].data(), sizes_[head_]};
  }

 private:
  void Run() {
    size_t tail = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || filled_ < blocks_.size(); });
        if (stop_) {
          return;
        }
      }
      size_t got = 0;
      try {
        got = file_.Read(blocks_[tail].data(), blocks_[tail].size());
      } catch (const FileError& error) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = error;
        changed_.notify_all();
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        sizes_[tail] = got;
        ++filled_;
      }
      changed_.notify_all();
      if (got == 0) {
        return;  // the empty block tells the end
      }
      tail = (tail + 1) % blocks_.size();
    }
  }

  File& file_;
  std::vector<IoBuffer> blocks_;
  std::vector<size_t> sizes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t head_ = 0;
  size_t filled_ = 0;
  bool holding_ = false;
  bool stop_ = false;
  std::optional<FileError> error_;
  std::thread thread_;
};

// Blocks in flight ahead of the compare: enough to keep the reader busy while a block is
// compared, few enough to stay small.
constexpr size_t kReadAheadBlocks = 4;

}  // namespace

// Both digests of a compare wait at the pause gate, but neither holds it while it digests its
// block: held, the two threads would take turns instead of running side by side.
class TCmpFile::SharedObserver : public CopyObserver {
 public:
  explicit SharedObserver(TCmpFile& owner) : owner_(owner) {}
  std::unique_lock<std::mutex> BeforeBlock() override {
    std::unique_lock<std::mutex> pass = owner_.Gate().Pass();
    return {};
  }
  void Advanced(int64_t bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    owner_.Advance(bytes);
  }

 private:
  TCmpFile& owner_;
  std::mutex mutex_;
};

std::shared_ptr<TCmpFile> TCmpFile::Create(CompareMode compare_mode, const std::string& file1,
                                           const std::string& file2, JobHost host) {
  return WorkerThread::Start(
      std::make_shared<TCmpFile>(compare_mode, file1, file2, std::move(host)));
}

TCmpFile::TCmpFile(CompareMode compare_mode, const std::string& file1, const std::string& file2,
                   JobHost host)
    : WorkerThread(std::move(host)), compare_mode_(compare_mode), file1_(file1), file2_(file2) {}

JobResult TCmpFile::Execute() {
  return compare_mode_ == CompareMode::Bytes ? CompareBytes() : CompareDigests();
}

void TCmpFile::LogUnreadable(const FileError& error) {
  NoteFailure(error);
  Log(std::string(kCompareJob) + "无法读取文件 " + error.path() + " (" +
      std::strerror(error.error_number()) + ")");
}

JobResult TCmpFile::CompareDigests() {
  const CompareMode mode = compare_mode_;
  const std::string name = FingerprintName(mode);
  SetProgressTotal(SizeOrZero(file1_) + SizeOrZero(file2_));
  SharedObserver observer(*this);
  std::future<Fingerprint> second = StartFingerprint(mode, file2_, &observer);

  // The four dots of the first CRC-32 line are the program's own.
  Log("正在生成文件1 " + name + (mode == CompareMode::Crc32 ? "值...." : "值..."));
  Fingerprint first = FingerprintOf(mode, file1_, &observer);
  Log("文件1 " + name + "值:" + first.text);

  Log("正在生成文件2 " + name + "值...");
  Fingerprint second_print = second.get();
  Log("文件2 " + name + "值:" + second_print.text);
  FinishProgress();

  // The CRC-32 and MD5 digests count a file they cannot open as empty and report nothing; the
  // reason is looked up here so that the user hears it.
  for (auto* print : {&first, &second_print}) {
    if (!print->failure) {
      try {
        File probe(print == &first ? file1_ : file2_, OpenMode::Read, Share::Shared);
      } catch (const FileError& error) {
        print->failure = error;
      }
    }
  }
  // Part of a file is not the file: a failed read never makes two files the same.
  const bool same = !first.no_digest && !second_print.no_digest && first.text == second_print.text;
  Log(same ? kCompareSame : kCompareDifferent);
  for (const Fingerprint* print : {&first, &second_print}) {
    if (print->failure) {
      LogUnreadable(*print->failure);
    }
  }
  return same ? JobResult::Succeeded : JobResult::Mismatch;
}

JobResult TCmpFile::CompareBytes() {
  Log("正在逐字节比较文件1和文件2...");
  File first;
  File second;
  int64_t size1 = 0;
  int64_t size2 = 0;
  try {
    first = OpenToCompare(file1_);
    size1 = first.Size();
    second = OpenToCompare(file2_);
    size2 = second.Size();
  } catch (const FileError& error) {
    LogUnreadable(error);
    return JobResult::Failed;
  }
  SetProgressTotal(std::min(size1, size2));

  // What the compare found; logged once the reading is over.
  std::optional<FileError> failure;
  std::string finding;
  {
    ReadAhead ahead(second, kCompareBlockSize, kReadAheadBlocks);
    IoBuffer block(kCompareBlockSize);
    int64_t offset = 0;
    for (;;) {
      size_t got1 = 0;
      std::span<const uint8_t> got2;
      try {
        std::unique_lock<std::mutex> hold = Gate().Pass();
        got1 = first.Read(block.data(), block.size());
        got2 = ahead.Next();
      } catch (const FileError& error) {
        failure = error;
        break;
      }
      const size_t common = std::min(got1, got2.size());
      if (std::memcmp(block.data(), got2.data(), common) != 0) {
        const auto where =
            std::mismatch(block.begin(), block.begin() + static_cast<long>(common), got2.begin());
        const auto at = where.first - block.begin();
        finding = "第一处不同在偏移 " + OffsetText(offset + at) + ": 文件1为 " +
                  ByteText(*where.first) + ", 文件2为 " + ByteText(*where.second);
        break;
      }
      offset += static_cast<int64_t>(common);
      Advance(static_cast<int64_t>(common));
      if (got1 != got2.size()) {
        // A full block on one side and a short one on the other: the short side has ended.
        const bool first_shorter = got1 < got2.size();
        finding = std::string(first_shorter ? "文件1较短" : "文件2较短") + ": 它在偏移 " +
                  OffsetText(offset) + " 处结束,此前的内容与" +
                  (first_shorter ? "文件2" : "文件1") + "相同";
        break;
      }
      if (got1 == 0) {
        break;
      }
    }
  }
  if (failure) {
    LogUnreadable(*failure);
    return JobResult::Failed;
  }
  FinishProgress();
  if (!finding.empty()) {
    Log(finding);
  }
  Log(finding.empty() ? kCompareSame : kCompareDifferent);
  return finding.empty() ? JobResult::Succeeded : JobResult::Mismatch;
}

std::shared_ptr<TCmpExpected> TCmpExpected::Create(const std::string& file,
                                                   const std::string& expected, JobHost host) {
  return WorkerThread::Start(std::make_shared<TCmpExpected>(file, expected, std::move(host)));
}

TCmpExpected::TCmpExpected(const std::string& file, const std::string& expected, JobHost host)
    : WorkerThread(std::move(host)), file_(file), expected_(expected) {}

JobResult TCmpExpected::Execute() {
  const std::optional<ExpectedSum> expected = ParseExpectedSum(expected_);
  if (!expected) {
    Log(std::string(kCompareJob) + kBadExpectedSum);
    return JobResult::Refused;
  }
  const std::string name = SumKindName(expected->kind);
  Log("正在生成文件 " + name + "值...");
  std::string actual;
  try {
    File file = OpenToCompare(file_);
    SetProgressTotal(file.Size());
    actual = SumHexOf(file, expected->kind, &Observer());
  } catch (const FileError& error) {
    NoteFailure(error);
    Log(std::string(kCompareJob) + "无法读取文件 " + error.path() + " (" +
        std::strerror(error.error_number()) + ")");
    return JobResult::Failed;
  }
  FinishProgress();
  Log("文件 " + name + "值:" + ShownSumHex(expected->kind, actual));
  Log("期望的 " + name + "值:" + ShownSumHex(expected->kind, expected->hex));
  const bool match = actual == expected->hex;
  Log("文件与期望的" + name + "值" + (match ? "相符" : "不相符"));
  return match ? JobResult::Succeeded : JobResult::Mismatch;
}

}  // namespace qarvo
