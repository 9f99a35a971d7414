#include "tools/compare.h"

#include <future>
#include <utility>

#include "codec/digest.h"
#include "platform/file.h"

namespace qarvo {

namespace {

std::string FingerprintOf(ChecksumKind kind, const std::string& path) {
  return ChecksumTextOfFile(path, kind);
}

// The second file's fingerprint is worked out on a thread of its own while the first one is
// computed, so two large files take about the time of one on a machine with two cores. The log
// still tells the steps in their order.
std::future<std::string> StartFingerprint(ChecksumKind mode, const std::string& path) {
  try {
    return std::async(std::launch::async, FingerprintOf, mode, path);
  } catch (const std::system_error&) {
    // No thread to spare: the result is computed when it is asked for.
    return std::async(std::launch::deferred, FingerprintOf, mode, path);
  }
}

}  // namespace

std::shared_ptr<TCmpFile> TCmpFile::Create(ChecksumKind compare_mode, const std::string& file1,
                                           const std::string& file2, JobHost host) {
  return WorkerThread::Start(
      std::make_shared<TCmpFile>(compare_mode, file1, file2, std::move(host)));
}

TCmpFile::TCmpFile(ChecksumKind compare_mode, const std::string& file1, const std::string& file2,
                   JobHost host)
    : WorkerThread(std::move(host)), compare_mode_(compare_mode), file1_(file1), file2_(file2) {}

void TCmpFile::Execute() {
  const bool crc = compare_mode_ != ChecksumKind::Md5;
  const ChecksumKind mode = crc ? ChecksumKind::Crc32 : ChecksumKind::Md5;
  std::future<std::string> second = StartFingerprint(mode, file2_);

  Log(crc ? "正在生成文件1 CRC32值...." : "正在生成文件1 MD5值...");
  const std::string first_text = FingerprintOf(mode, file1_);
  Log((crc ? "文件1 CRC32值:" : "文件1 MD5值:") + first_text);

  Log(crc ? "正在生成文件2 CRC32值..." : "正在生成文件2 MD5值...");
  const std::string second_text = second.get();
  Log((crc ? "文件2 CRC32值:" : "文件2 MD5值:") + second_text);

  Log(first_text == second_text ? kCompareSame : kCompareDifferent);

  // The digests count an unreadable file as empty, so the verdict alone cannot tell; the reason
  // is kept for whoever started the job.
  for (const std::string* path : {&file1_, &file2_}) {
    try {
      File probe(*path, OpenMode::Read, Share::Shared);
    } catch (const FileError& error) {
      NoteFailure(error);
    }
  }
}

}  // namespace qarvo
