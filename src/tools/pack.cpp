#include "tools/pack.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "codec/block_pipe.h"
#include "codec/des.h"
#include "codec/digest.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "platform/paths.h"
#include "text/checks.h"
#include "text/codepage.h"
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

std::string PackOutputPath(const std::string& output_dir, const std::string& out_name) {
  return AddTrailingBackslash(output_dir) + out_name;
}

std::string PackSameNameLine(const std::string& first, const std::string& second) {
  return std::string(kPackJob) + "文件" + first + "与" + second + "解包后同名,无法打包!";
}

std::shared_ptr<TSMfile> TSMfile::Create(const std::string& output_dir, const TSMWorkInfos& infos,
                                         JobHost host) {
  return WorkerThread::Start(std::make_shared<TSMfile>(output_dir, infos, std::move(host)));
}

TSMfile::TSMfile(const std::string& output_dir, const TSMWorkInfos& infos, JobHost host)
    : WorkerThread(std::move(host), JobSteps{"", false, ShakeAfter::Completion}),
      infos_(infos),
      output_dir_(AddTrailingBackslash(output_dir)) {
  infos_.CheckSums.clear();
  pack_path_ = PackOutputPath(output_dir_, infos_.OutName);
}

JobResult TSMfile::Execute() {
  if (!CheckSources()) {
    return HasFailure() ? JobResult::Failed : JobResult::Refused;
  }
  if (!CheckNames()) {
    return JobResult::Refused;
  }
  if (!infos_.Overwrite) {
    if (const ExistingOutputs existing = FindExisting({pack_path_}); existing.Any()) {
      Log(ExistingOutputsLine(kPackJob, existing));
      return JobResult::Refused;
    }
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

bool TSMfile::CheckNames() {
  std::vector<std::string> names;
  for (size_t i = 0; i < infos_.Paths.size(); ++i) {
    // The name an unpack takes from the stored line, by the unpack's own rule.
    names.push_back(EntryFileName(Gb18030ToUtf8(PackPathLine(infos_.Paths[i]))));
    for (size_t j = 0; j < i; ++j) {
      if (names[j] == names[i]) {
        Log(PackSameNameLine(infos_.Paths[j], infos_.Paths[i]));
        return false;
      }
    }
  }
  return true;
}

bool TSMfile::CheckSources() {
  infos_.Sizes.assign(infos_.Paths.size(), std::string());
  stamps_.assign(infos_.Paths.size(), std::nullopt);
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
    stamps_[i] = StampOf(path);
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
    pack_.Seal(infos_.DeleteSource);
  } catch (const FileError& error) {
    LogFileFailure("无法写入打包文件", error);
    return false;
  }
  try {
    pack_.Publish(infos_.DeleteSource, infos_.Overwrite);
  } catch (const FileError& error) {
    if (error.error_number() == EEXIST && !infos_.Overwrite) {
      // A file took the pack's name while the job ran: it stays.
      NoteFailure(error);
      Log(ExistingOutputsLine(kPackJob, ExistingOutputs{pack_path_, 1}));
    } else {
      LogFileFailure("无法写入打包文件", error);
    }
    return false;
  }
  if (infos_.DeleteSource && !DeleteSources()) {
    return false;
  }
  FinishProgress();
  Log(kPackDone);
  return true;
}

bool TSMfile::DeleteSources() {
  bool all = true;
  for (size_t i = 0; i < infos_.Paths.size(); ++i) {
    const std::string& path = infos_.Paths[i];
    if (Unchanged(path, stamps_[i])) {
      DeleteFile(path);
    } else {
      Log(ChangedInputLine(kPackJob, path));
      all = false;
    }
  }
  return all;
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
      BlockPipe digest(kCopyBlockSize, kPipeDepth, [&checksum](const uint8_t* data, size_t bytes) {
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
