#include "tools/unpack.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "codec/block_pipe.h"
#include "codec/digest.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "platform/paths.h"
#include "text/codepage.h"

namespace qarvo {

namespace {

std::string Reason(const FileError& error) {
  return std::strerror(error.error_number());
}

// a + b without overflow; false when the sum does not fit.
bool AddChecked(int64_t a, int64_t b, int64_t& sum) {
  if (b > std::numeric_limits<int64_t>::max() - a) {
    return false;
  }
  sum = a + b;
  return true;
}

std::string Ordinal(size_t index) {
  return "第" + std::to_string(index + 1) + "个文件";
}

}  // namespace

std::string UnpackRenamedLine(size_t index, size_t earlier, const std::string& name) {
  return std::string(kUnpackJob) + Ordinal(index) + "与" + Ordinal(earlier) + "同名,改名为" + name;
}

std::string UnpackKeptBesideLine(const std::string& name, const std::string& path) {
  return std::string(kUnpackJob) + name + "未通过校验,已保存为" + path + ",原有的同名文件未被覆盖!";
}

std::string NumberedName(const std::string& name, int n) {
  const size_t dot = name.rfind('.');
  const size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
  return name.substr(0, cut) + " (" + std::to_string(n) + ")" + name.substr(cut);
}

std::vector<std::string> TSDfile::OutputPaths(const std::string& pack_path,
                                              const std::string& password,
                                              const std::string& output_dir) {
  // The worker's own analysis, run here without a log and without starting the job.
  TSMWorkInfos infos;
  infos.Password = password;
  TSDfile quiet(pack_path, infos, output_dir, JobHost{});
  std::vector<std::string> paths;
  if (quiet.AnalysePack() && quiet.CheckEntries(quiet.DataEnd())) {
    for (const std::string& name : quiet.names_) {
      paths.push_back(quiet.output_dir_ + name);
    }
  }
  return paths;
}

std::shared_ptr<TSDfile> TSDfile::Create(const std::string& pack_path, const TSMWorkInfos& infos,
                                         const std::string& output_dir, JobHost host) {
  return WorkerThread::Start(
      std::make_shared<TSDfile>(pack_path, infos, output_dir, std::move(host)));
}

TSDfile::TSDfile(const std::string& pack_path, const TSMWorkInfos& infos,
                 const std::string& output_dir, JobHost host)
    : WorkerThread(std::move(host), JobSteps{"", false, ShakeAfter::CompletionOrRefusal}),
      output_dir_(AddTrailingBackslash(output_dir)),
      pack_path_(pack_path),
      infos_(infos) {}

JobResult TSDfile::Execute() {
  // A refused pack still shakes (JobSteps); a job that ends early at an entry does not.
  JobResult result = JobResult::Failed;
  if (!AnalysePack()) {
    result = HasFailure() ? JobResult::Failed : JobResult::Refused;
  } else if (ExtractFiles()) {
    result = all_same_ ? JobResult::Succeeded : JobResult::Mismatch;
  }
  pack_ = File();
  return result;
}

void TSDfile::LogFileFailure(const std::string& what, const FileError& error) {
  NoteFailure(error);
  Log(std::string(kUnpackJob) + what + " " + error.path() + " (" + Reason(error) + ")");
}

bool TSDfile::AnalysePack() {
  Log("正在分析文件...");
  std::string trailer;
  pack_stamp_ = StampOf(pack_path_);
  PackHeader header;
  HeaderStatus status = HeaderStatus::NotRecognised;
  try {
    status = OpenAndReadHeader(
        pack_path_, kPackTrailerSize, static_cast<int64_t>(kPackTrailerSize), pack_, trailer,
        [&](std::string_view block) { return ReadPackHeader(block, infos_.Password, header); });
    pack_size_ = pack_.Size();
  } catch (const FileError& error) {
    LogFileFailure("无法读取文件", error);
    return false;
  }
  if (const char* refusal = HeaderRefusalLine(status, kUnpackNotRecognised, kUnpackNeedsPassword)) {
    Log(refusal);
    return false;
  }
  infos_.CheckKind = header.check_kind;
  paths_length_ = header.paths_length;
  sizes_length_ = header.sizes_length;
  checks_length_ = header.check_kind != ChecksumKind::None ? header.checks_length : 0;

  int64_t needed = static_cast<int64_t>(kPackTrailerSize);
  if (!AddChecked(needed, paths_length_, needed) || !AddChecked(needed, sizes_length_, needed) ||
      !AddChecked(needed, checks_length_, needed) || pack_size_ < needed) {
    Log(kUnpackNotRecognised);
    return false;
  }
  return ReadLists();
}

bool TSDfile::ReadLists() {
  const int64_t lists_length = paths_length_ + sizes_length_ + checks_length_;
  const int64_t lists_start = pack_size_ - static_cast<int64_t>(kPackTrailerSize) - lists_length;
  std::string lists;
  try {
    lists.resize(static_cast<size_t>(lists_length));
    pack_.Seek(lists_start);
    pack_.ReadExact(lists.data(), lists.size());
  } catch (const FileError& error) {
    LogFileFailure("无法读取文件", error);
    return false;
  }
  const std::string_view all = lists;
  const auto checks = static_cast<size_t>(checks_length_);
  const auto sizes = static_cast<size_t>(sizes_length_);
  infos_.CheckSums = SplitListLines(all.substr(0, checks));
  infos_.Sizes = SplitListLines(all.substr(checks, sizes));
  infos_.Paths.clear();
  for (const std::string& line : SplitListLines(all.substr(checks + sizes))) {
    infos_.Paths.push_back(Gb18030ToUtf8(line));
  }
  return true;
}

bool TSDfile::CheckEntries(int64_t data_end) {
  const size_t count = infos_.Paths.size();
  names_.clear();
  sizes_.clear();
  std::vector<std::string> stored;
  for (const std::string& path : infos_.Paths) {
    stored.push_back(EntryFileName(path));
  }
  int64_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    std::string name = stored[i];
    if (name.empty()) {
      Log(std::string(kUnpackJob) + Ordinal(i) + "的文件名无效,解包中止! " + infos_.Paths[i]);
      return false;
    }
    const auto earlier = std::find(names_.begin(), names_.end(), name);
    if (earlier != names_.end()) {
      // A number no entry of this job uses, neither taken nor listed.
      int n = 2;
      while (std::find(names_.begin(), names_.end(), NumberedName(name, n)) != names_.end() ||
             std::find(stored.begin(), stored.end(), NumberedName(name, n)) != stored.end()) {
        ++n;
      }
      name = NumberedName(name, n);
      Log(UnpackRenamedLine(i, static_cast<size_t>(earlier - names_.begin()), name));
    }
    const std::optional<int64_t> size =
        i < infos_.Sizes.size() ? ParseDecimal64(infos_.Sizes[i]) : std::nullopt;
    if (!size) {
      Log(std::string(kUnpackJob) + Ordinal(i) + "的大小无效,解包中止!");
      return false;
    }
    if (*size > data_end - total) {
      Log(std::string(kUnpackJob) + Ordinal(i) + "的大小超出了数据区,解包中止!");
      return false;
    }
    total += *size;
    const std::string target = output_dir_ + name;
    if (SameFile(target, pack_path_)) {
      Log(std::string(kUnpackJob) + "不能覆盖打包文件本身,解包中止! " + target);
      return false;
    }
    // A folder of that name would refuse the file only after every entry was written.
    if (DirectoryExists(target)) {
      LogFileFailure("无法创建文件", FileError("\"" + target + "\"", target, EISDIR));
      return false;
    }
    names_.push_back(name);
    sizes_.push_back(*size);
  }
  // Entries that leave data over (or, with fewer entries, more data than listed) belong to a
  // damaged pack: some entry would get the wrong bytes.
  if (total != data_end) {
    Log(kUnpackSizesDisagree);
    return false;
  }
  return true;
}

int64_t TSDfile::DataEnd() const {
  return pack_size_ - static_cast<int64_t>(kPackTrailerSize) - paths_length_ - sizes_length_ -
         checks_length_;
}

bool TSDfile::ExtractFiles() {
  const int64_t data_end = DataEnd();
  if (!CheckEntries(data_end)) {
    return false;
  }
  if (!infos_.Overwrite) {
    std::vector<std::string> targets;
    for (const std::string& name : names_) {
      targets.push_back(output_dir_ + name);
    }
    if (const ExistingOutputs existing = FindExisting(targets); existing.Any()) {
      Log(ExistingOutputsLine(kUnpackJob, existing));
      return false;
    }
  }
  try {
    pack_.Seek(0);
  } catch (const FileError& error) {
    LogFileFailure("无法读取文件", error);
    return false;
  }
  pack_.AdviseSequential();
  // The verification digests each entry from the blocks that write it: no entry is read twice.
  SetProgressTotal(data_end);
  std::vector<AtomicOutput> outputs;
  if (!WriteFiles(outputs)) {
    return false;
  }
  pack_ = File();
  // Checked before any file takes its name: a file that fails its check never takes the place
  // of one that was there.
  const std::vector<bool> same =
      infos_.SkipVerify ? std::vector<bool>(outputs.size(), true) : Verify(outputs);
  all_same_ = std::find(same.begin(), same.end(), false) == same.end();
  if (!PublishAll(outputs, same)) {
    return false;
  }
  if (infos_.DeleteSource) {
    if (!all_same_) {
      Log(kUnpackKeptPack);
    } else if (!DeletePack()) {
      return false;
    }
  }
  FinishProgress();
  Log(kUnpackDone);
  return true;
}

bool TSDfile::PublishAll(std::vector<AtomicOutput>& outputs, const std::vector<bool>& same) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    AtomicOutput& output = outputs[i];
    try {
      if (!same[i] && FindExisting({output.final_path()}).Any()) {
        Log(UnpackKeptBesideLine(names_[i], output.PublishBeside(kFailedCheckMark, false)));
      } else {
        output.Publish(false, infos_.Overwrite);
      }
    } catch (const FileError& error) {
      if (error.error_number() == EEXIST && !infos_.Overwrite) {
        // A file took the name while the job ran: it stays.
        NoteFailure(error);
        Log(ExistingOutputsLine(kUnpackJob, ExistingOutputs{output.final_path(), 1}));
      } else {
        LogFileFailure("无法创建文件", error);
      }
      return false;
    }
  }
  return true;
}

bool TSDfile::DeletePack() {
  if (!Unchanged(pack_path_, pack_stamp_)) {
    Log(ChangedInputLine(kUnpackJob, pack_path_));
    return false;
  }
  try {
    // The files must be on the disk before the pack, their only other copy, goes.
    SyncDirectory(output_dir_);
    DeleteFile(pack_path_);
  } catch (const FileError& error) {
    NoteFailure(error);
  }
  return true;
}

bool TSDfile::WriteFiles(std::vector<AtomicOutput>& outputs) {
  const bool durable = infos_.DeleteSource;
  const size_t count = names_.size();
  // The written files are digested on a thread of their own, from the blocks that write them; an
  // empty block closes a file's digest.
  const bool digests = !infos_.SkipVerify && infos_.CheckKind != ChecksumKind::None;
  digests_.clear();
  RunningChecksum checksum(infos_.CheckKind);
  std::unique_ptr<BlockPipe> pipe;
  if (digests) {
    pipe = std::make_unique<BlockPipe>(kCopyBlockSize, kPipeDepth,
                                       [this, &checksum](const uint8_t* data, size_t size) {
                                         if (size == 0) {
                                           digests_.push_back(checksum.Text());
                                           checksum = RunningChecksum(infos_.CheckKind);
                                         } else {
                                           DigestBlock(checksum, data, size);
                                         }
                                       });
  }
  for (size_t i = 0; i < count; ++i) {
    Log("正在解包第" + std::to_string(i + 1) + "个文件,剩余" + std::to_string(count - i - 1) +
        "个文件...");
    const std::string target = output_dir_ + names_[i];
    try {
      outputs.emplace_back(target);
    } catch (const FileError& error) {
      LogFileFailure("无法创建文件", error);
      return false;
    }
    try {
      File& out = outputs.back().file();
      if (pipe) {
        CopyThroughPipe(
            pack_, sizes_[i], [&out](const uint8_t* data, size_t size) { out.Write(data, size); },
            *pipe, &Observer());
        pipe->Acquire();
        pipe->Push(0);
      } else {
        Copy(pack_, out, sizes_[i]);
      }
      outputs.back().Seal(durable);
    } catch (const FileError& error) {
      LogFileFailure(error.path() == target ? "无法写入文件" : "无法读取文件", error);
      return false;
    } catch (const std::exception& error) {
      // The digest side failed: nothing it judged can be trusted.
      NoteFailure(error);
      Log(kUnpackDigestFailed);
      return false;
    }
  }
  if (pipe) {
    try {
      pipe->Finish();
    } catch (const std::exception& error) {
      NoteFailure(error);
      Log(kUnpackDigestFailed);
      return false;
    }
  }
  return true;
}

void TSDfile::DigestBlock(RunningChecksum& checksum, const uint8_t* data, size_t size) {
  checksum.Update(data, size);
}

std::vector<bool> TSDfile::Verify(const std::vector<AtomicOutput>& outputs) {
  std::vector<bool> same(outputs.size(), true);
  if (infos_.CheckKind == ChecksumKind::None) {
    return same;
  }
  Log("正在校验文件...");
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::string stored = i < infos_.CheckSums.size() ? infos_.CheckSums[i] : std::string();
    same[i] = i < digests_.size() && digests_[i] == stored;
    Log(names_[i] + (same[i] ? kUnpackSame : kUnpackDiffers));
  }
  return same;
}

}  // namespace qarvo
