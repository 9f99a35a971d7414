#include "split/merger_file.h"

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
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "split/paths.h"
#include "split/set_check.h"

namespace qarvo {

std::string MergeProgressLine(int32_t n, int32_t left) {
  return "正在合并第" + std::to_string(n) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

std::string MergeMissingPieceLine(const std::string& path) {
  return "文件合并:文件" + path + "不存在!";
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

TMergerFile::TMergerFile(const std::string& piece_path, const TMWorkInfos& options,
                         const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks)
    : WorkerThread(JobHost{options.Log, std::move(callbacks)},
                   JobSteps{"", true, ShakeAfter::Completion}),
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
  if (!JoinPieces()) {
    Log(kMergeFailed);
    return JobResult::Failed;
  }
  Log(kMergeSucceeded);
  switch (verdict_) {
    case Verdict::Differs:
      return JobResult::Mismatch;
    case Verdict::Unreadable:
      return JobResult::Failed;
    case Verdict::Same:
    case Verdict::NotChecked:
      break;
  }
  return JobResult::Succeeded;
}

std::string TMergerFile::PiecePath(int32_t n) const {
  return piece_dir_ + piece_base_ + std::to_string(n) + kPieceExtension;
}

bool TMergerFile::AnalyseSet() {
  Log(kMergeAnalysing);
  std::string trailer;
  try {
    File piece(chosen_path_, OpenMode::Read, Share::Exclusive);
    const bool found = ReadPieceTrailer(piece, piece.Size(), trailer);
    piece.Close();
    if (!found) {
      Log(kMergeNotRecognised);
      return false;
    }
  } catch (const std::exception& error) {
    NoteFailure(error);
    Log(MergeUnreadablePieceLine(chosen_path_));
    return false;
  }

  SetHeader header;
  if (const char* refusal = HeaderRefusalLine(ReadSetHeader(trailer, options_.Password, header),
                                              kMergeNotRecognised, kMergeNeedsPassword)) {
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
    case PieceFault::Unreadable:
      Log(MergeUnreadablePieceLine(path));
      return false;
    case PieceFault::Foreign:
      Log(MergeForeignPieceLine(path));
      return false;
    case PieceFault::SizeMisfit:
    case PieceFault::Damaged:
      Log(MergeWrongSizeLine(path));
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

bool TMergerFile::JoinPieces() {
  const std::string output_path = output_dir_ + source_name_;
  AtomicOutput output;
  File piece;
  Verdict verdict = Verdict::NotChecked;
  try {
    for (int32_t n = 1; n <= piece_count_; ++n) {
      // Never replace a piece by the joined file.
      if (SameFile(PiecePath(n), output_path)) {
        throw FileError("\"" + output_path + "\" is one of the pieces", output_path, 0);
      }
    }
    SetProgressTotal(output_size_);
    {
      auto hold = Gate().Pass();
      output = AtomicOutput(output_path);
    }
    // The verification reads the joined file back as it is written, on a thread of its own.
    std::unique_ptr<FileFollower> follower;
    if (Verifies()) {
      follower = std::make_unique<FileFollower>(output.file(), options_.CheckKind);
    }
    const auto open_piece = [&](int32_t n) {
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
      return opened;
    };
    if (options_.Compressed == 1) {
      // Inflating is the slow part: the pieces are inflated concurrently, each at its place.
      std::vector<int64_t> offsets{0};
      for (const int64_t share : piece_shares_) {
        offsets.push_back(offsets.back() + share);
      }
      // Pieces end in any order; the follower gets the whole ones from the start on.
      std::mutex whole_mutex;
      std::vector<bool> whole(static_cast<size_t>(piece_count_), false);
      size_t whole_from_start = 0;
      InflatePieces(output.file(), offsets, open_piece, Observer(), [&](int32_t n) {
        if (!follower) {
          return;
        }
        std::lock_guard<std::mutex> lock(whole_mutex);
        whole[static_cast<size_t>(n - 1)] = true;
        while (whole_from_start < whole.size() && whole[whole_from_start]) {
          ++whole_from_start;
        }
        follower->WrittenUpTo(offsets[whole_from_start]);
      });
    } else {
      FollowedObserver followed(Observer(), follower.get());
      for (int32_t n = 1; n <= piece_count_; ++n) {
        piece = open_piece(n);
        CopyBytes(piece, output.file(), piece.Size() - static_cast<int64_t>(kHeaderTrailerSize),
                  &followed);
        piece.Close();
      }
    }
    verdict = VerifyOutput(output.file(), output_path, follower.get());
    verdict_ = verdict;
    // With the pieces about to go, the joined file must be on the disk first.
    const bool remove =
        options_.DeletePieces == 1 && (verdict == Verdict::Same || verdict == Verdict::NotChecked);
    output.Commit(remove);
    if (remove) {
      RemovePieces();
    } else if (options_.DeletePieces == 1 && verdict == Verdict::Differs) {
      Log(kMergeKeptPieces);
    }
  } catch (const SetChanged& changed) {
    Log(changed.line);
    return false;
  } catch (const std::exception& error) {
    NoteFailure(error);
    Log(kMergeBusyFailure);
    return false;
  }
  FinishProgress();
  return true;
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

void TMergerFile::RemovePieces() {
  auto hold = Gate().Pass();
  for (int32_t n = 1; n <= piece_count_; ++n) {
    DeleteFile(PiecePath(n));
  }
}

}  // namespace qarvo
