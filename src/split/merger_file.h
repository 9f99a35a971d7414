#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/digest.h"
#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"
#include "platform/file_checks.h"
#include "split/piece_sums.h"

namespace qarvo {

class FileFollower;

// Lines the merge worker adds to the log.
inline constexpr char kMergeAnalysing[] = "正在分析文件...";
inline constexpr char kMergeNotRecognised[] = "文件合并:无法识别文件!";
inline constexpr char kMergeNeedsPassword[] =
    "文件合并:此文件需要密码才能合并,请在密码选项输入正确的密码!";
inline constexpr char kMergeBusyFailure[] = "文件合并:文件很可能正在被其它程序调用!";
inline constexpr char kMergeFailed[] = "文件合并:合并失败!如有疑问请与作者联系。";
inline constexpr char kMergeVerifying[] = "正在验证生成文件...";
inline constexpr char kMergeSameAsSource[] = "校验结果:与原文件相同!";
inline constexpr char kMergeDiffersFromSource[] = "校验结果:与原文件不符!";
inline constexpr char kMergeSucceeded[] = "合并成功!";
inline constexpr char kMergeJob[] = "文件合并:";
// The joined file differs from the stored checksum: the merge failed, and the line names the
// file it left for the user to look at; `beside` when it was put beside a file of its own name.
std::string MergeMismatchLine(const std::string& joined_path, bool beside);
// "正在合并第n个文件,剩余m个文件..."
std::string MergeProgressLine(int32_t n, int32_t left);
// "文件合并:文件" + path + "不存在!"
std::string MergeMissingPieceLine(const std::string& path);
// "文件合并:文件" + path + "是一个文件夹,不是普通文件!" and the like (NotARegularFileText)
std::string MergeNotAFileLine(const std::string& path, FileKind kind);
// "文件合并:文件" + path + "不属于这组分割文件!": the piece carries another set's trailer.
std::string MergeForeignPieceLine(const std::string& path);
// "文件合并:文件" + path + "的大小与这组分割文件不符!": the piece is shorter or longer than a
// split cuts it.
std::string MergeWrongSizeLine(const std::string& path);
// The joined file differs from the stored checksum, so the pieces stay although their deletion
// was asked for.
inline constexpr char kMergeKeptPieces[] = "文件合并:生成的文件与原文件不符,分割文件未删除!";
// The chosen piece could not be opened or read while its header was being read.
std::string MergeUnreadablePieceLine(const std::string& path);
// The joined file could not be read back for the verification.
std::string MergeUnverifiableLine(const std::string& path, bool pieces_kept);

// Options of one merge, filled by the window and copied into the worker.
struct TMWorkInfos {
  uint8_t DeletePieces = 0;  // delete every piece after the merge
  uint8_t SkipVerify = 0;    // do not verify even when the set carries a checksum
  uint8_t Overwrite = 0;     // the user agreed to replace an existing file of the joined name
  uint8_t Compressed = 0;    // set from the header
  ChecksumKind CheckKind = ChecksumKind::None;  // set from the header
  std::string CheckText;                        // set from the header
  std::string Password;                         // typed by the user, UTF-8, may be empty
  std::shared_ptr<LogSink> Log;
};

// The joined file a merge of the set of `piece_path` writes into `output_dir`; nothing when
// the piece cannot be read or its header not with `password` (the merge refuses it then).
std::optional<std::string> MergeOutputPath(const std::string& piece_path,
                                           const std::string& password,
                                           const std::string& output_dir);

// Joins a split set, found from any one of its pieces, back into its source file.
class TMergerFile : public WorkerThread {
 public:
  // Starts the worker at once. `callbacks` may be null.
  static std::shared_ptr<TMergerFile> Create(const std::string& piece_path,
                                             const TMWorkInfos& options,
                                             const std::string& output_dir,
                                             std::shared_ptr<JobCallbacks> callbacks);

  TMergerFile(const std::string& piece_path, const TMWorkInfos& options,
              const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks);

 protected:
  JobResult Execute() override;

 private:
  bool AnalyseSet();
  // Every piece must carry the chosen piece's trailer and the size a split gives it.
  bool CheckPieces(const std::string& trailer);
  enum class Verdict { Same, Differs, Unreadable, NotChecked };
  bool JoinPieces();
  // Opens piece n for the join and checks it is still the piece the analysis approved.
  File OpenPieceToJoin(int32_t n, PieceSums* sums);
  // Null when there is no usable checksum file beside the set; its notes are logged.
  std::unique_ptr<PieceSums> ReadSumsBesideSet(SetSums& set_sums);
  void InflateIntoOutput(File& output, FileFollower* follower, PieceSums* sums);
  void CopyIntoOutput(File& output, FileFollower* follower, PieceSums* sums);
  // Seals and publishes the joined file and removes the pieces when asked and allowed; false,
  // with its line, when a piece changed meanwhile.
  bool KeepOutput(AtomicOutput& output, Verdict verdict, PieceSums* sums, const SetSums& set_sums);
  // Logs what ended the join; always false.
  bool JoinFailed(const std::exception_ptr& failure, const std::string& output_path,
                  PieceSums* sums, const SetSums& set_sums);
  // False, with a line for each, when a piece's digest differs from the checksum file's.
  bool PiecesMatchSums(PieceSums& sums, const SetSums& set_sums);
  // The set carries a checksum and the user did not turn the verification off.
  bool Verifies() const;
  // Reads the joined file back through the handle the join wrote it with, which stays locked.
  // `follower` has digested the output while it was written; null when nothing is verified.
  Verdict VerifyOutput(File& output, const std::string& output_path, FileFollower* follower);
  // Publishes the sealed joined file: a file that failed its check never takes the place of
  // one that was there.
  void PublishOutput(AtomicOutput& output, Verdict verdict, bool durable);
  // False, with its line, when a piece changed after the job read it: then none is deleted.
  bool RemovePieces();
  std::string PiecePath(int32_t n) const;

  std::string piece_base_;
  int32_t piece_count_ = 0;
  std::string source_name_;
  TMWorkInfos options_;
  std::string output_dir_;
  std::string chosen_path_;
  std::string piece_dir_;
  // Found by the analysis and checked again as each piece is opened for the join.
  std::string trailer_;
  std::vector<int64_t> piece_sizes_;
  std::vector<int64_t> piece_shares_;  // bytes each piece gives to the joined file
  int64_t output_size_ = 0;
  Verdict verdict_ = Verdict::NotChecked;
  std::string joined_path_;  // where the joined file went
  bool beside_ = false;      // it went beside a file of its own name
  std::vector<std::optional<FileStamp>> piece_stamps_;
};

}  // namespace qarvo
