#include "tools/pack.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "codec/block_pipe.h"
#include "codec/des.h"
#include "codec/digest.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "split/paths.h"
#include "trailer/trailer.h"

namespace qarvo {

namespace {

constexpr const char* kPackJob = "文件打包:";

std::string Reason(const FileError& error) {
  return std::strerror(error.error_number());
}

bool ShrankBelow(const File& file, int64_t size) {
  try {
    return file.IsOpen() && file.Size() < size;
  } catch (const FileError&) {
    return false;
  }
}

}  // namespace

std::shared_ptr<TSMfile> TSMfile::Create(const std::string& output_dir, const TSMWorkInfos& infos,
                                         JobHost host) {
  return WorkerThread::Start(std::make_shared<TSMfile>(output_dir, infos, std::move(host)));
}

TSMfile::TSMfile(const std::string& output_dir, const TSMWorkInfos& infos, JobHost host)
    : WorkerThread(std::move(host), JobSteps{"", false, ShakeAfter::Completion}),
      infos_(infos),
      output_dir_(AddTrailingBackslash(output_dir)) {
  infos_.CheckSums.clear();
  pack_path_ = output_dir_ + infos_.OutName;
}

JobResult TSMfile::Execute() {
  if (!CheckSources()) {
    return HasFailure() ? JobResult::Failed : JobResult::Refused;
  }
  if (!WritePack()) {
    // No half pack under its name.
    pack_.Discard();
    source_ = File();
    return JobResult::Failed;
  }
  return JobResult::Succeeded;
}

void TSMfile::LogFileFailure(const std::string& what, const FileError& error) {
  NoteFailure(error);
  Log(std::string(kPackJob) + what + " " + error.path() + " (" + Reason(error) + ")");
}

bool TSMfile::CheckSources() {
  infos_.Sizes.assign(infos_.Paths.size(), std::string());
  for (size_t i = 0; i < infos_.Paths.size(); ++i) {
    const std::string& path = infos_.Paths[i];
    // A line break inside a path would shift every later line of the lists.
    if (path.find_first_of("\r\n") != std::string::npos) {
      Log(std::string(kPackJob) + "文件路径含有换行符,无法打包 " + path);
      return false;
    }
    // Stored as a GB18030 name, a name that is not UTF-8 would come back garbled from the
    // unpack.
    if (!IsValidUtf8(path)) {
      Log(std::string(kPackJob) + "文件名不是有效的UTF-8编码,无法打包 " + path);
      return false;
    }
    if (SameFile(path, pack_path_)) {
      Log(std::string(kPackJob) + "打包文件不能是被打包的文件 " + path);
      return false;
    }
    try {
      infos_.Sizes[i] = std::to_string(FileSizeOf(path));
    } catch (const FileError& error) {
      LogFileFailure("无法读取文件", error);
      return false;
    }
  }
  return true;
}

std::string TSMfile::BuildPackHeader() {
  const ChecksumKind kind = infos_.CheckKind;
  std::vector<std::string> lines;
  lines.reserve(infos_.Paths.size());
  for (const std::string& path : infos_.Paths) {
    lines.push_back(PackPathLine(path));
  }
  checks_text_ = kind != ChecksumKind::None ? ListText(infos_.CheckSums) : std::string();
  sizes_text_ = ListText(infos_.Sizes);
  paths_text_ = ListText(lines);

  PackHeader header;
  header.check_kind = kind;
  header.file_count = static_cast<int64_t>(infos_.Paths.size());
  header.paths_length = static_cast<int64_t>(paths_text_.size());
  header.sizes_length = static_cast<int64_t>(sizes_text_.size());
  header.checks_length = static_cast<int64_t>(checks_text_.size());
  return EncryptHeaderWithFiller(BuildPackHeaderText(infos_.Password, header));
}

bool TSMfile::WritePack() {
  const ChecksumKind kind = infos_.CheckKind;
  const bool md5 = kind == ChecksumKind::Md5;
  int64_t total = 0;
  for (const std::string& size : infos_.Sizes) {
    total += std::stoll(size);
  }
  // One pass: every file is read once, for its copy and its checksum alike.
  SetProgressTotal(total);
  if (kind != ChecksumKind::None) {
    Log(md5 ? "正在生成文件MD5值..." : "正在生成文件CRC32值...");
  }
  try {
    pack_ = AtomicOutput(pack_path_);
  } catch (const FileError& error) {
    LogFileFailure("无法创建打包文件", error);
    return false;
  }
  const size_t count = infos_.Paths.size();
  const auto packing_line = [count](size_t i) {
    return "正在打包第" + std::to_string(i + 1) + "个文件,剩余" + std::to_string(count - i - 1) +
           "个文件...";
  };
  for (size_t i = 0; i < count; ++i) {
    // With checksums the lines of the files follow their sums, which exist only after the copy.
    if (kind == ChecksumKind::None) {
      Log(packing_line(i));
    }
    if (!CopySource(i, std::stoll(infos_.Sizes[i]))) {
      return false;
    }
  }
  if (kind != ChecksumKind::None) {
    for (size_t i = 0; i < count; ++i) {
      Log(infos_.Paths[i] + (md5 ? "   MD5值:" : "   CRC32值:"));
      Log(infos_.CheckSums[i]);
    }
    for (size_t i = 0; i < count; ++i) {
      Log(packing_line(i));
    }
  }
  std::string header;
  try {
    header = BuildPackHeader();
  } catch (const CipherError& error) {
    Log(std::string(kPackJob) + "无法生成文件头 (" + error.what() + ")");
    return false;
  }
  const std::string trailer = MakeTrailerBlock(header, kPackTrailerSize);
  try {
    const std::string tail = checks_text_ + sizes_text_ + paths_text_ + trailer;
    pack_.file().Write(tail.data(), tail.size());
    // With the sources about to go, the pack must be on the disk first.
    pack_.Commit(infos_.DeleteSource);
  } catch (const FileError& error) {
    LogFileFailure("无法写入打包文件", error);
    return false;
  }
  if (infos_.DeleteSource) {
    for (const std::string& path : infos_.Paths) {
      DeleteFile(path);
    }
  }
  FinishProgress();
  Log(kPackDone);
  return true;
}

bool TSMfile::CopySource(size_t index, int64_t size) {
  const std::string& path = infos_.Paths[index];
  try {
    source_ = File(path, OpenMode::Read, Share::Exclusive);
  } catch (const FileError& error) {
    LogFileFailure("无法读取文件", error);
    return false;
  }
  source_.AdviseSequential();
  try {
    if (infos_.CheckKind == ChecksumKind::None) {
      Copy(source_, pack_.file(), size);
    } else {
      RunningChecksum checksum(infos_.CheckKind);
      BlockPipe digest(kCopyBlockSize, 8, [&checksum](const uint8_t* data, size_t bytes) {
        checksum.Update(data, bytes);
      });
      CopyThroughPipe(
          source_, size,
          [this](const uint8_t* data, size_t bytes) { pack_.file().Write(data, bytes); }, digest,
          &Observer());
      digest.Finish();
      infos_.CheckSums.push_back(checksum.Text());
    }
    source_.Close();
  } catch (const FileError& error) {
    if (error.path() != path) {
      LogFileFailure("无法写入打包文件", error);
    } else if (ShrankBelow(source_, size)) {
      Log(std::string(kPackJob) + "文件在打包时变小了,无法打包 " + path);
    } else {
      LogFileFailure("无法读取文件", error);
    }
    return false;
  }
  return true;
}

}  // namespace qarvo
