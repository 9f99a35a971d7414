#include "tools/bundle.h"

#include <fcntl.h>

#include <string>
#include <utility>

#include "platform/file.h"

namespace qarvo {

std::string BundleInputLine(const std::string& role, const std::string& path) {
  const FileKind kind = KindOf(path);
  if (kind == FileKind::Missing || kind == FileKind::Regular) {
    return role + "不存在!";
  }
  return role + NotARegularFileText(kind) + "!";
}

std::shared_ptr<TAddFile> TAddFile::Create(const std::string& head_file,
                                           const std::string& tail_file, JobHost host) {
  return WorkerThread::Start(std::make_shared<TAddFile>(head_file, tail_file, std::move(host)));
}

TAddFile::TAddFile(const std::string& head_file, const std::string& tail_file, JobHost host)
    : WorkerThread(std::move(host)), head_file_(head_file), tail_file_(tail_file) {}

JobResult TAddFile::Execute() {
  // The head is opened first: when both paths name one file, the tail's open is the one that is
  // refused, before a single byte has moved.
  File head;
  File tail;
  // The head's size before the first byte is appended; -1 until it is known.
  int64_t head_size = -1;
  try {
    head = File(head_file_, OpenMode::ReadWrite, Share::Exclusive);
    tail = File(tail_file_, OpenMode::Read, Share::Exclusive);
    head_size = head.Size();
    const int64_t tail_size = tail.Size();
    Log("头文件大小:" + std::to_string(head_size) + "字节,尾文件大小:" + std::to_string(tail_size) +
        "字节");
    Log(kBundleAdding);
    head.SeekToEnd();
    tail.AdviseSequential();
    // Reserving the tail's room up front lets the file system lay the blocks out at once
    // rather than as each block lands; the file's size still grows only with the copy. Where
    // reserving is not supported, or the room is not there, the copy goes on without it.
    if (tail_size > 0) {
      ::fallocate(head.fd(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(head_size),
                  static_cast<off_t>(tail_size));
    }
    SetProgressTotal(tail_size);
    Copy(tail, head, tail_size);
    FinishProgress();
    head.Close();
    tail.Close();
    Log(kBundleDone);
    return JobResult::Succeeded;
  } catch (const std::exception& error) {
    NoteFailure(error);
    if (head_size >= 0 && head.IsOpen()) {
      // A half-appended tail is worth nothing: the head goes back to what it was, which also
      // gives back any room reserved past its end.
      try {
        head.Truncate(head_size);
      } catch (const FileError&) {
      }
    }
    Log(kBundleFailed);
    return JobResult::Failed;
  }
}

}  // namespace qarvo
