#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/block_pipe.h"
#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "platform/file_checks.h"
#include "tools/pack_format.h"

namespace qarvo {

inline constexpr const char* kUnpackDone = "解包完成!";
inline constexpr const char* kUnpackNotRecognised = "文件解包:无法识别文件!";
inline constexpr const char* kUnpackNeedsPassword =
    "文件解包:此文件需要密码才能解包,请在密码选项输入正确的密码!";
inline constexpr const char* kUnpackSame = "与原文件相同!";
inline constexpr const char* kUnpackDiffers = "与原文件不相符!";
// The sizes of the entries do not add up to the data area: the pack is damaged.
inline constexpr const char* kUnpackSizesDisagree = "文件解包:文件大小之和与数据区不符,无法解包!";
// A file differs from its stored checksum, so the pack stays although its deletion was asked for.
inline constexpr const char* kUnpackKeptPack = "文件解包:有文件与原文件不相符,打包文件未删除!";

// The thread that digests the written files failed: the job stops and no file takes its name.
inline constexpr const char* kUnpackDigestFailed = "文件解包:无法生成校验值,解包中止!";

inline constexpr const char* kUnpackJob = "文件解包:";

// "文件解包:第n个文件与第m个文件同名,改名为" + name: a pack made elsewhere may list two files of
// one name; the later one gets a numbered name and never replaces the earlier.
std::string UnpackRenamedLine(size_t index, size_t earlier, const std::string& name);
// "文件解包:" + name + "未通过校验,已保存为" + path + ",原有的同名文件未被覆盖!"
std::string UnpackKeptBesideLine(const std::string& name, const std::string& path);
// `name` with " (n)" before its extension: "a" -> "a (2)", "a.txt" -> "a (2).txt".
std::string NumberedName(const std::string& name, int n);

// Takes a pack apart into OutputDir. Every entry is written under the name after the last "\",
// "/" or ":" of its path line, so nothing lands outside the target folder, and an entry's bytes
// never reach past the data area into the lists or the trailer.
class TSDfile : public WorkerThread {
 public:
  // Copies the arguments and starts the worker at once.
  static std::shared_ptr<TSDfile> Create(const std::string& pack_path, const TSMWorkInfos& infos,
                                         const std::string& output_dir, JobHost host);

  TSDfile(const std::string& pack_path, const TSMWorkInfos& infos, const std::string& output_dir,
          JobHost host);

  const std::string& OutputDir() const { return output_dir_; }

  // The files an unpack of `pack_path` writes into `output_dir`, named as the worker names
  // them; empty when the pack cannot be read with the password (the unpack refuses it then).
  static std::vector<std::string> OutputPaths(const std::string& pack_path,
                                              const std::string& password,
                                              const std::string& output_dir);

 protected:
  JobResult Execute() override;
  // The digest side of the copy, on its own thread: one block of the file being written. Virtual
  // so that a test can make that thread fail.
  virtual void DigestBlock(RunningChecksum& checksum, const uint8_t* data, size_t size);

 private:
  bool AnalysePack();
  // False when the job ended early at an entry.
  bool ExtractFiles();
  bool ReadLists();
  // Checks every entry's name and size before anything is written; each failure logs its line.
  bool CheckEntries(int64_t data_end);
  int64_t DataEnd() const;
  // Writes every entry under its temporary name, digesting it on the way when it is verified;
  // false, with its line, when the job ended at an entry.
  bool WriteFiles(std::vector<AtomicOutput>& outputs);
  // Whether each written file (still under its temporary name) matches its stored checksum.
  std::vector<bool> Verify(const std::vector<AtomicOutput>& outputs);
  // Publishes every written file; false, with its line, when one cannot take its name.
  bool PublishAll(std::vector<AtomicOutput>& outputs, const std::vector<bool>& same);
  // Deletes the pack when it is as the job read it; false when it was changed.
  bool DeletePack();
  void LogFileFailure(const std::string& what, const FileError& error);

  File pack_;
  std::string output_dir_;
  std::string pack_path_;
  int64_t paths_length_ = 0;
  int64_t sizes_length_ = 0;
  int64_t checks_length_ = 0;
  TSMWorkInfos infos_;
  int64_t pack_size_ = 0;
  std::vector<std::string> names_;
  std::vector<int64_t> sizes_;
  std::vector<std::string> digests_;     // of each written file, taken while it was written
  bool all_same_ = true;                 // every verified file matched its stored checksum
  std::optional<FileStamp> pack_stamp_;  // taken before the pack was read
};

}  // namespace qarvo
