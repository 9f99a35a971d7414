#include "tools/bundle.h"

#include <utility>

#include "platform/file.h"

namespace qarvo {

std::shared_ptr<TAddFile> TAddFile::Create(const std::string& head_file,
                                           const std::string& tail_file, JobHost host) {
  return WorkerThread::Start(std::make_shared<TAddFile>(head_file, tail_file, std::move(host)));
}

TAddFile::TAddFile(const std::string& head_file, const std::string& tail_file, JobHost host)
    : WorkerThread(std::move(host)), head_file_(head_file), tail_file_(tail_file) {}

void TAddFile::Execute() {
  // The head is opened first: when both paths name one file, the tail's open is the one that is
  // refused, before a single byte has moved.
  File head;
  File tail;
  try {
    head = File(head_file_, OpenMode::ReadWrite, Share::Exclusive);
    tail = File(tail_file_, OpenMode::Read, Share::Exclusive);
    const int64_t head_size = head.Size();
    const int64_t tail_size = tail.Size();
    Log("头文件大小:" + std::to_string(head_size) + "字节,尾文件大小:" + std::to_string(tail_size) +
        "字节");
    Log(kBundleAdding);
    head.SeekToEnd();
    tail.AdviseSequential();
    SetProgressTotal(tail_size);
    Copy(tail, head, tail_size);
    FinishProgress();
    head.Close();
    tail.Close();
    Log(kBundleDone);
  } catch (const std::exception&) {
    Log(kBundleFailed);
  }
}

}  // namespace qarvo
