#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/block_pipe.h"
#include "codec/digest.h"
#include "jobs/job_host.h"
#include "jobs/worker.h"
#include "platform/atomic_output.h"
#include "platform/file.h"
#include "platform/file_checks.h"
#include "split/piece_plan.h"
#include "split/piece_sums.h"

namespace qarvo {

// Lines the split worker adds to the log.
inline constexpr char kSplitGathering[] = "正在搜集文件信息...";
inline constexpr char kSplitMakingMd5[] = "正在生成文件MD5值...";
inline constexpr char kSplitMakingCrc32[] = "正在生成文件CRC32值...";
inline constexpr char kSplitBusyFailure[] = "文件分割:文件很可能正在被其它程序调用!";
inline constexpr char kSplitSucceeded[] = "分割成功!";
inline constexpr char kSplitFailed[] = "分割失败!";
// "已生成校验文件:" + path
std::string SplitSumsWrittenLine(const std::string& path);
// The source's Linux file name is not UTF-8, so no GB18030 name can be stored for a merge.
inline constexpr char kSplitNameNotUtf8[] = "文件分割:源文件名不是有效的UTF-8编码,无法分割!";
// "正在分割第n个文件,剩余m个文件..."
std::string SplitProgressLine(int32_t n, int32_t left);
inline constexpr char kSplitJob[] = "文件分割:";

// Options of one split, filled by the window and copied into the worker.
struct TCWorkInfos {
  uint8_t DeleteSource = 0;  // delete the source after a successful split
  uint8_t Compress = 0;      // compress every piece
  uint8_t Level = 2;         // 1 fastest, 2 default, 3 best
  uint8_t Overwrite = 0;     // the user agreed to replace pieces that already exist
  ChecksumKind CheckKind = ChecksumKind::None;
  std::string CheckText;  // filled by the worker
  std::string Password;   // UTF-8; empty for none
  std::shared_ptr<LogSink> Log;
  // When above 0, the piece count is the least that keeps every piece file (trailer included)
  // within this many bytes, and the count given to the worker is ignored.
  int64_t MaxPieceFile = 0;
  uint8_t WriteSums = 0;  // write the checksum file "<stem>.sha256" beside the pieces
};

// The names of the pieces a split of `source_path` into `piece_count` pieces writes into
// `output_dir`, as the split worker names them. Throws FileError when the source's size cannot
// be read.
std::vector<std::string> SplitPiecePaths(const std::string& source_path, int32_t piece_count,
                                         const std::string& output_dir);
// Every file that split writes: the pieces and, with `sums`, the checksum file beside them.
std::vector<std::string> SplitOutputPaths(const std::string& source_path, int32_t piece_count,
                                          const std::string& output_dir, bool sums);

// Cuts one source file into a split set.
class TCutFile : public WorkerThread {
 public:
  // Reads the source's size and starts the worker at once. Throws FileError when the size
  // cannot be read; then nothing starts. `callbacks` may be null.
  static std::shared_ptr<TCutFile> Create(const std::string& source_path,
                                          const TCWorkInfos& options, int32_t piece_count,
                                          const std::string& output_dir,
                                          std::shared_ptr<JobCallbacks> callbacks);
  int32_t PieceCount() const { return piece_count_; }

  TCutFile(const std::string& source_path, const TCWorkInfos& options, int32_t piece_count,
           const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks);

 protected:
  JobResult Execute() override;

 private:
  bool WritePieces();
  // Without the user's consent, pieces that already exist are not replaced: the job ends before
  // writing anything.
  bool RefusesExistingPieces();
  // Checks the source still fits the plan, opens it and fixes the piece size. Builds the trailer
  // at once when the set carries no checksum.
  void PrepareSplit(File& source);
  // True when the name of one of the pieces is the source's own, in the output folder.
  bool SourceIsAPiece() const;
  // Every piece's share in one read of the source, the checksum digested from the same blocks
  // on a thread of its own; the trailers follow once it is known.
  void WriteSet(File& source, std::vector<AtomicOutput>& pieces);
  void CopyShares(File& source, std::vector<AtomicOutput>& pieces, BlockPipe* digest);
  // A share through memory, for the checksum file when the set carries no checksum.
  void CopyToPiece(File& source, File& piece, int32_t n);
  void CompressShares(File& source, std::vector<AtomicOutput>& pieces, BlockPipe* digest);
  void OpenPiece(std::vector<AtomicOutput>& pieces, int32_t n);
  // The piece's share is complete: ends it with the trailer when that is known already.
  void EndShare(AtomicOutput& piece, int32_t n);
  void AppendTrailer(AtomicOutput& piece, int32_t n);
  // Every byte that goes into piece n passes here.
  void WriteToPiece(File& piece, int32_t n, const uint8_t* data, size_t size);
  // Gives every piece its final name, or none of them: a rename that fails takes back the
  // names already given, so no incomplete set is ever left under the final names.
  void PublishAll(std::vector<AtomicOutput>& pieces);
  void WriteSumsFile(bool durable);
  std::string BuildTrailer();
  std::string PiecePath(int32_t n) const;
  int64_t ShareOf(int32_t n) const;

  // Taken once, when the worker is made: the checksum and the pieces cover exactly these bytes,
  // even while another program appends to the source.
  int64_t file_size_ = 0;
  int64_t piece_size_ = 0;
  std::string source_name_;
  int32_t piece_count_ = 0;
  TCWorkInfos options_;
  std::string output_dir_;
  std::string source_path_;
  std::string piece_base_;
  std::string trailer_;  // empty until the checksum is known
  bool durable_ = false;
  SizePlanFault size_fault_ = SizePlanFault::None;
  // Fed every byte of every piece as it is written, when the checksum file is asked for.
  std::unique_ptr<PieceSums> sums_;
  // Taken before the first read: a source changed while the job ran is not deleted.
  std::optional<FileStamp> source_stamp_;
};

}  // namespace qarvo
