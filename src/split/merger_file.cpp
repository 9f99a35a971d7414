#include "split/merger_file.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "codec/block_pipe.h"
#include "codec/digest.h"
#include "codec/envelope.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "split/piece_sums.h"
#include "split/set_check.h"

namespace qarvo {

std::string MergeProgressLine(int32_t n, int32_t left) {
  return "正在合并第" + std::to_string(n) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

std::string MergeMissingPieceLine(const std::string& path) {
  return "文件合并:文件" + path + "不存在!";
}

std::string MergeNotAFileLine(const std::string& path, FileKind kind) {
  return "文件合并:文件" + path + NotARegularFileText(kind) + "!";
}

std::string MergeForeignPieceLine(const std::string& path) {
  return "文件合并:文件" + path + "不属于这组分割文件!";
}

std::string MergeWrongSizeLine(const std::string& path) {
  return "文件合并:文件" + path + "的大小与这组分割文件不符!";
}

std::string MergeUnreadablePieceLine(const std::string& path) {
  return "文件合并:无法读取文件" + path + ",它可能正在被其它程序使用!";
}

std::string MergeUnverifiableLine(const std::string& path, bool pieces_kept) {
  std::string line = "文件合并:无法读取生成的文件" + path + ",未能校验!";
  if (pieces_kept) {
    line += "分割文件未删除。";
  }
  return line;
}

std::string MergeMismatchLine(const std::string& joined_path, bool beside) {
  std::string line = "文件合并:合并出的文件" + joined_path + "与原文件不符,合并失败!";
  if (beside) {
    line += "原有的同名文件未被覆盖。";
  }
  return line;
}

std::optional<std::string> MergeOutputPath(const std::string& piece_path,
                                           const std::string& password,
                                           const std::string& output_dir) {
  SetHeader header;
  try {
    if (ReadSetHeader(ReadPieceTrailer(piece_path), password, header) != HeaderStatus::Ok) {
      return std::nullopt;
    }
  } catch (const FileError&) {
    return std::nullopt;
  }
  return AddTrailingBackslash(output_dir) + header.source_name;
}

TMergerFile::TMergerFile(const std::string& piece_path, const TMWorkInfos& options,
                         const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks)
    : WorkerThread(JobHost{options.Log, std::move(callbacks)},
                   JobSteps{"", true, ShakeAfter::Success}),
      options_(options),
      output_dir_(AddTrailingBackslash(output_dir)),
      chosen_path_(piece_path),
      piece_dir_(AddTrailingBackslash(DirectoryOf(piece_path))) {}

std::shared_ptr<TMergerFile> TMergerFile::Create(const std::string& piece_path,
                                                 const TMWorkInfos& options,
                                                 const std::string& output_dir,
                                                 std::shared_ptr<JobCallbacks> callbacks) {
  return Start(
      std::make_shared<TMergerFile>(piece_path, options, output_dir, std::move(callbacks)));
}

JobResult TMergerFile::Execute() {
  if (!AnalyseSet()) {
    return HasFailure() ? JobResult::Failed : JobResult::Refused;
  }
  const std::string output_path = output_dir_ + source_name_;
  if (options_.Overwrite != 1) {
    const ExistingOutputs existing = FindExisting({output_path});
    if (existing.Any()) {
      Log(ExistingOutputsLine(kMergeJob, existing));
      return JobResult::Refused;
    }
  }
  if (!JoinPieces()) {
    Log(kMergeFailed);
    return JobResult::Failed;
  }
  // A joined file that failed its check is no success, whatever else went well.
  switch (verdict_) {
    case Verdict::Differs:
      Log(MergeMismatchLine(joined_path_, beside_));
      return JobResult::Mismatch;
    case Verdict::Unreadable:
      return JobResult::Failed;
    case Verdict::Same:
    case Verdict::NotChecked:
      break;
  }
  Log(kMergeSucceeded);
  return JobResult::Succeeded;
}

std::string TMergerFile::PiecePath(int32_t n) const {
  return piece_dir_ + piece_base_ + std::to_string(n) + kPieceExtension;
}

bool TMergerFile::AnalyseSet() {
  Log(kMergeAnalysing);
  std::string trailer;
  SetHeader header;
  HeaderStatus status = HeaderStatus::NotRecognised;
  try {
    File piece;
    // A piece carries at least one byte of data before its trailer.
    status = OpenAndReadHeader(
        chosen_path_, kHeaderTrailerSize, static_cast<int64_t>(kHeaderTrailerSize) + 1, piece,
        trailer,
        [&](std::string_view block) { return ReadSetHeader(block, options_.Password, header); });
  } catch (const std::exception& error) {
    NoteFailure(error);
    Log(MergeUnreadablePieceLine(chosen_path_));
    return false;
  }
  if (const char* refusal = HeaderRefusalLine(status, kMergeNotRecognised, kMergeNeedsPassword)) {
    Log(refusal);
    return false;
  }
  options_.CheckText = header.check_text;
  options_.CheckKind = header.check_kind;
  options_.Compressed = header.compressed ? 1 : 0;
  piece_count_ = header.piece_count;
  source_name_ = header.source_name;
  piece_base_ = header.piece_base;
  return CheckPieces(trailer);
}

namespace {

bool TrailerMatches(File& piece, int64_t size, const std::string& trailer) {
  std::string found;
  return ReadTrailer(piece, size, kHeaderTrailerSize, found) && found == trailer;
}

// The set changed after the analysis (a piece swapped or cut while the join ran): the line
// names the piece.
struct SetChanged {
  std::string line;
};

// Passes the job's observer on and tells the follower how far the output is written: the plain
// join writes it from its start on, block after block.
class FollowedObserver : public CopyObserver {
 public:
  FollowedObserver(CopyObserver& inner, FileFollower* follower)
      : inner_(inner), follower_(follower) {}
  std::unique_lock<std::mutex> BeforeBlock() override { return inner_.BeforeBlock(); }
  void Advanced(int64_t bytes) override {
    written_ += bytes;
    if (follower_ != nullptr) {
      follower_->WrittenUpTo(written_);
    }
    inner_.Advanced(bytes);
  }

 private:
  CopyObserver& inner_;
  FileFollower* follower_;
  int64_t written_ = 0;
};

}  // namespace

bool TMergerFile::CheckPieces(const std::string& trailer) {
  // Taken before any piece is read for the join: a piece changed after that is not deleted.
  piece_stamps_.clear();
  for (int32_t n = 1; n <= piece_count_; ++n) {
    piece_stamps_.push_back(StampOf(PiecePath(n)));
  }
  std::vector<int64_t> shares;
  const PieceFinding finding = CheckPieceSet(
      piece_count_, [this](int32_t n) { return PiecePath(n); }, trailer, options_.Compressed == 1,
      shares, &piece_sizes_);
  if (finding.failure) {
    NoteFailure(*finding.failure);
  }
  const std::string path = PiecePath(finding.piece);
  switch (finding.fault) {
    case PieceFault::None:
      break;
    case PieceFault::Missing:
      Log(MergeMissingPieceLine(path));
      return false;
    case PieceFault::NotAFile:
      Log(MergeNotAFileLine(path, finding.kind));
      return false;
    case PieceFault::Unreadable:
      Log(MergeUnreadablePieceLine(path));
      return false;
    case PieceFault::Foreign:
      Log(MergeForeignPieceLine(path));
      return false;
    case PieceFault::SizeMisfit:
      Log(MergeWrongSizeLine(path));
      return false;
    case PieceFault::Damaged:
      Log(DamagedPieceLine(kMergeJob, path));
      return false;
  }
  trailer_ = trailer;
  piece_shares_ = shares;
  output_size_ = 0;
  for (const int64_t share : shares) {
    output_size_ += share;
  }
  return true;
}

File TMergerFile::OpenPieceToJoin(int32_t n, PieceSums* sums) {
  Log(MergeProgressLine(n, piece_count_ - n));
  const std::string path = PiecePath(n);
  File opened(path, OpenMode::Read, Share::Exclusive);
  // The analysis read the pieces without holding them; what is held now must still be the
  // piece it approved.
  const int64_t size = opened.Size();
  if (size != piece_sizes_[static_cast<size_t>(n - 1)]) {
    throw SetChanged{MergeWrongSizeLine(path)};
  }
  if (!TrailerMatches(opened, size, trailer_)) {
    throw SetChanged{MergeForeignPieceLine(path)};
  }
  opened.Seek(0);
  opened.AdviseSequential();
  // A compressed piece is inflated on the piece threads; its raw bytes are digested apart.
  if (sums != nullptr && options_.Compressed == 1) {
    sums->AddFile(n, opened);
  }
  return opened;
}

std::unique_ptr<PieceSums> TMergerFile::ReadSumsBesideSet(SetSums& set_sums) {
  // A checksum file beside the set lets the join name a damaged piece.
  set_sums = ReadSetSums(piece_dir_, piece_base_, piece_count_);
  for (const std::string& note : SetSumsNotes(set_sums, "文件合并:")) {
    Log(note);
  }
  return PieceSumsToTake(set_sums, piece_count_);
}

void TMergerFile::InflateIntoOutput(File& output, FileFollower* follower, PieceSums* sums) {
  // Inflating is the slow part: the pieces are inflated concurrently, each at its place.
  std::vector<int64_t> offsets{0};
  for (const int64_t share : piece_shares_) {
    offsets.push_back(offsets.back() + share);
  }
  // Pieces end in any order; the follower gets the whole ones from the start on.
  std::mutex whole_mutex;
  std::vector<bool> whole(static_cast<size_t>(piece_count_), false);
  size_t whole_from_start = 0;
  InflatePieces(
      output, offsets, [this, sums](int32_t n) { return OpenPieceToJoin(n, sums); }, Observer(),
      [&](int32_t n) {
        if (follower == nullptr) {
          return;
        }
        std::lock_guard<std::mutex> lock(whole_mutex);
        whole[static_cast<size_t>(n - 1)] = true;
        while (whole_from_start < whole.size() && whole[whole_from_start]) {
          ++whole_from_start;
        }
        follower->WrittenUpTo(offsets[whole_from_start]);
      });
}

void TMergerFile::CopyIntoOutput(File& output, FileFollower* follower, PieceSums* sums) {
  FollowedObserver followed(Observer(), follower);
  for (int32_t n = 1; n <= piece_count_; ++n) {
    File piece = OpenPieceToJoin(n, sums);
    const int64_t payload = piece.Size() - static_cast<int64_t>(kHeaderTrailerSize);
    if (sums != nullptr) {
      // The trailer was just compared with the set's, so it is these bytes.
      CopyAndDigest(piece, output, payload, n, *sums, &followed);
      sums->Add(n, trailer_.data(), trailer_.size());
      sums->EndPiece(n);
    } else {
      CopyBytes(piece, output, payload, &followed);
    }
    piece.Close();
  }
}

bool TMergerFile::KeepOutput(AtomicOutput& output, Verdict verdict, PieceSums* sums,
                             const SetSums& set_sums) {
  // With the pieces about to go, the joined file must be on the disk first.
  const bool remove =
      options_.DeletePieces == 1 && (verdict == Verdict::Same || verdict == Verdict::NotChecked);
  output.Seal(remove);
  {
    // A paused job gives its file no name either.
    auto hold = Gate().Pass();
    PublishOutput(output, verdict, remove);
  }
  if (remove) {
    if (!RemovePieces()) {
      return false;
    }
    // The checksum file goes with the pieces when it was theirs: it listed each of them and
    // each matched.
    if (sums != nullptr && set_sums.unlisted.empty() && set_sums.bad_lines.empty()) {
      auto hold = Gate().Pass();
      DeleteFile(set_sums.path);
    }
  } else if (options_.DeletePieces == 1 && verdict == Verdict::Differs) {
    Log(kMergeKeptPieces);
  }
  return true;
}

bool TMergerFile::JoinFailed(const std::exception_ptr& failure, const std::string& output_path,
                             PieceSums* sums, const SetSums& set_sums) {
  try {
    std::rethrow_exception(failure);
  } catch (const SetChanged& changed) {
    Log(changed.line);
  } catch (const DamagedPiece& damaged) {
    // The checksum file, when there is one, names the piece already.
    if (sums == nullptr || PiecesMatchSums(*sums, set_sums)) {
      Log(DamagedPieceLine(kMergeJob, PiecePath(damaged.piece())));
    }
  } catch (const FileError& error) {
    NoteFailure(error);
    // Someone gave a file the joined name while the job ran: it stays.
    if (error.error_number() == EEXIST && options_.Overwrite != 1) {
      Log(ExistingOutputsLine(kMergeJob, ExistingOutputs{output_path, 1}));
    } else {
      Log(kMergeBusyFailure);
    }
  } catch (const std::exception& error) {
    NoteFailure(error);
    // A broken compressed stream is most likely the damaged piece the checksum file names.
    if (sums != nullptr) {
      PiecesMatchSums(*sums, set_sums);
    }
    Log(kMergeBusyFailure);
  }
  return false;
}

bool TMergerFile::JoinPieces() {
  const std::string output_path = output_dir_ + source_name_;
  AtomicOutput output;
  SetSums set_sums;
  std::unique_ptr<PieceSums> sums;
  try {
    for (int32_t n = 1; n <= piece_count_; ++n) {
      // Never replace a piece by the joined file.
      if (SameFile(PiecePath(n), output_path)) {
        throw FileError("\"" + output_path + "\" is one of the pieces", output_path, 0);
      }
    }
    // The verification digests the joined file as it is written: it reads no more than this.
    SetProgressTotal(output_size_);
    sums = ReadSumsBesideSet(set_sums);
    {
      auto hold = Gate().Pass();
      output = AtomicOutput(output_path);
    }
    // The verification reads the joined file back as it is written, on a thread of its own.
    std::unique_ptr<FileFollower> follower;
    if (Verifies()) {
      follower = std::make_unique<FileFollower>(output.file(), options_.CheckKind);
    }
    if (options_.Compressed == 1) {
      InflateIntoOutput(output.file(), follower.get(), sums.get());
    } else {
      CopyIntoOutput(output.file(), follower.get(), sums.get());
    }
    if (sums && !PiecesMatchSums(*sums, set_sums)) {
      return false;
    }
    verdict_ = VerifyOutput(output.file(), output_path, follower.get());
    if (!KeepOutput(output, verdict_, sums.get(), set_sums)) {
      return false;
    }
  } catch (...) {
    return JoinFailed(std::current_exception(), output_path, sums.get(), set_sums);
  }
  FinishProgress();
  return true;
}

bool TMergerFile::PiecesMatchSums(PieceSums& sums, const SetSums& set_sums) {
  const std::vector<int32_t> damaged = DamagedPieces(set_sums, sums.Finish());
  for (const int32_t n : damaged) {
    Log("文件合并:" + PieceSumMismatchLine(n, PiecePath(n)));
  }
  return damaged.empty();
}

bool TMergerFile::Verifies() const {
  return options_.SkipVerify != 1 && options_.CheckKind != ChecksumKind::None;
}

TMergerFile::Verdict TMergerFile::VerifyOutput(File& output, const std::string& output_path,
                                               FileFollower* follower) {
  if (!Verifies()) {
    return Verdict::NotChecked;
  }
  Log(kMergeVerifying);
  std::string computed;
  try {
    computed = follower->Finish(output.Size());
  } catch (const FileError& error) {
    NoteFailure(error);
    Log(MergeUnverifiableLine(output_path, options_.DeletePieces == 1));
    return Verdict::Unreadable;
  }
  const bool same = computed == options_.CheckText;
  Log(same ? kMergeSameAsSource : kMergeDiffersFromSource);
  return same ? Verdict::Same : Verdict::Differs;
}

void TMergerFile::PublishOutput(AtomicOutput& output, Verdict verdict, bool durable) {
  const bool failed_check = verdict == Verdict::Differs || verdict == Verdict::Unreadable;
  if (failed_check && FindExisting({output.final_path()}).Any()) {
    joined_path_ = output.PublishBeside(kFailedCheckMark, durable);
    beside_ = true;
    return;
  }
  output.Publish(durable, options_.Overwrite == 1);
  joined_path_ = output.final_path();
}

bool TMergerFile::RemovePieces() {
  for (int32_t n = 1; n <= piece_count_; ++n) {
    if (!Unchanged(PiecePath(n), piece_stamps_[static_cast<size_t>(n - 1)])) {
      Log(ChangedInputLine(kMergeJob, PiecePath(n)));
      return false;
    }
  }
  auto hold = Gate().Pass();
  for (int32_t n = 1; n <= piece_count_; ++n) {
    DeleteFile(PiecePath(n));
  }
  return true;
}

}  // namespace qarvo
