#include "tools/compare.h"

#include <future>
#include <optional>
#include <utility>

#include "codec/digest.h"
#include "platform/file.h"

namespace qarvo {

namespace {

// A fingerprint, or the read failure that left the file without one. A file that fails in the
// middle counts as an unreadable one (the empty text), and its reason is kept.
struct Fingerprint {
  std::string text;
  std::optional<FileError> failure;
};

Fingerprint FingerprintOf(ChecksumKind kind, const std::string& path) {
  try {
    return Fingerprint{ChecksumTextOfFile(path, kind), std::nullopt};
  } catch (const FileError& error) {
    return Fingerprint{std::string(), error};
  }
}

// The second file's fingerprint is worked out on a thread of its own while the first one is
// computed, so two large files take about the time of one on a machine with two cores. The log
// still tells the steps in their order.
std::future<Fingerprint> StartFingerprint(ChecksumKind mode, const std::string& path) {
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

JobResult TCmpFile::Execute() {
  const bool crc = compare_mode_ != ChecksumKind::Md5;
  const ChecksumKind mode = crc ? ChecksumKind::Crc32 : ChecksumKind::Md5;
  std::future<Fingerprint> second = StartFingerprint(mode, file2_);

  Log(crc ? "正在生成文件1 CRC32值...." : "正在生成文件1 MD5值...");
  const Fingerprint first = FingerprintOf(mode, file1_);
  const std::string& first_text = first.text;
  Log((crc ? "文件1 CRC32值:" : "文件1 MD5值:") + first_text);

  Log(crc ? "正在生成文件2 CRC32值..." : "正在生成文件2 MD5值...");
  const Fingerprint second_print = second.get();
  const std::string& second_text = second_print.text;
  Log((crc ? "文件2 CRC32值:" : "文件2 MD5值:") + second_text);

  // Part of a file is not the file: a failed read never makes two files the same.
  const bool same = !first.failure && !second_print.failure && first_text == second_text;
  Log(same ? kCompareSame : kCompareDifferent);

  // The digests count an unreadable file as empty, so the verdict alone cannot tell; the reason
  // is kept for whoever started the job.
  for (const Fingerprint* print : {&first, &second_print}) {
    if (print->failure) {
      NoteFailure(*print->failure);
    }
  }
  for (const std::string* path : {&file1_, &file2_}) {
    try {
      File probe(*path, OpenMode::Read, Share::Shared);
    } catch (const FileError& error) {
      NoteFailure(error);
    }
  }
  return same ? JobResult::Succeeded : JobResult::Mismatch;
}

}  // namespace qarvo
