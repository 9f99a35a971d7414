#include "split/cut_file.h"

#include <unistd.h>

#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/digest.h"
#include "codec/envelope.h"
#include "codec/sums_file.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "split/paths.h"

namespace qarvo {

std::string SplitProgressLine(int32_t n, int32_t left) {
  return "正在分割第" + std::to_string(n) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

TCutFile::TCutFile(const std::string& source_path, const TCWorkInfos& options, int32_t piece_count,
                   const std::string& output_dir, std::shared_ptr<JobCallbacks> callbacks)
    : WorkerThread(JobHost{options.Log, std::move(callbacks)},
                   JobSteps{kSplitGathering, true, ShakeAfter::Always}),
      options_(options),
      source_path_(source_path) {
  file_size_ = FileSizeOf(source_path_);
  piece_count_ = piece_count;
  if (options_.MaxPieceFile > 0) {
    const SizePlan plan =
        PlanPiecesBySize(file_size_, options_.MaxPieceFile, options_.Compress == 1);
    piece_count_ = plan.count;
    size_fault_ = plan.fault;
  }
  if (file_size_ < piece_count_) {
    piece_count_ = static_cast<int32_t>(file_size_);
  }
  // The stem comes from the stored (possibly shortened) name, so that a merge, which knows only
  // the stored name, looks for the same piece names.
  const std::string file_name = FileNameOf(source_path_);
  piece_base_ = PieceBaseOf(file_name);
  output_dir_ = AddTrailingBackslash(output_dir);
  source_name_ = StoredSourceName(file_name);
  source_stamp_ = StampOf(source_path_);
}

std::vector<std::string> SplitPiecePaths(const std::string& source_path, int32_t piece_count,
                                         const std::string& output_dir) {
  const int64_t size = FileSizeOf(source_path);
  const int32_t count = size < piece_count ? static_cast<int32_t>(size) : piece_count;
  const std::string stem = AddTrailingBackslash(output_dir) + PieceBaseOf(FileNameOf(source_path));
  std::vector<std::string> paths;
  for (int32_t n = 1; n <= count; ++n) {
    paths.push_back(stem + std::to_string(n) + kPieceExtension);
  }
  return paths;
}

std::vector<std::string> SplitOutputPaths(const std::string& source_path, int32_t piece_count,
                                          const std::string& output_dir, bool sums) {
  std::vector<std::string> paths = SplitPiecePaths(source_path, piece_count, output_dir);
  if (sums) {
    paths.push_back(
        SumsPathOf(AddTrailingBackslash(output_dir), PieceBaseOf(FileNameOf(source_path))));
  }
  return paths;
}

std::shared_ptr<TCutFile> TCutFile::Create(const std::string& source_path,
                                           const TCWorkInfos& options, int32_t piece_count,
                                           const std::string& output_dir,
                                           std::shared_ptr<JobCallbacks> callbacks) {
  return Start(std::make_shared<TCutFile>(source_path, options, piece_count, output_dir,
                                          std::move(callbacks)));
}

std::string SplitSumsWrittenLine(const std::string& path) {
  return "已生成校验文件:" + path;
}

bool TCutFile::RefusesExistingPieces() {
  if (options_.Overwrite == 1) {
    return false;
  }
  std::vector<std::string> paths;
  for (int32_t n = 1; n <= piece_count_; ++n) {
    paths.push_back(PiecePath(n));
  }
  if (options_.WriteSums == 1) {
    paths.push_back(SumsPathOf(output_dir_, piece_base_));
  }
  const ExistingOutputs existing = FindExisting(paths);
  if (existing.Any()) {
    Log(ExistingOutputsLine(kSplitJob, existing));
  }
  return existing.Any();
}

JobResult TCutFile::Execute() {
  // The size was checked before the start; the source may have grown since.
  if (const char* refusal = SizePlanRefusalLine(size_fault_)) {
    Log(refusal);
    Log(kSplitFailed);
    return JobResult::Refused;
  }
  if (RefusesExistingPieces()) {
    return JobResult::Refused;
  }
  const bool ok = WritePieces();
  Log(ok ? kSplitSucceeded : kSplitFailed);
  return ok ? JobResult::Succeeded : JobResult::Failed;
}

std::string TCutFile::PiecePath(int32_t n) const {
  return output_dir_ + piece_base_ + std::to_string(n) + kPieceExtension;
}

int64_t TCutFile::ShareOf(int32_t n) const {
  if (n < piece_count_) {
    return piece_size_;
  }
  return file_size_ - static_cast<int64_t>(piece_count_ - 1) * piece_size_;
}

std::string TCutFile::BuildHeaderText(File& source) {
  if (options_.CheckKind != ChecksumKind::None) {
    options_.CheckText = ChecksumTextOf(source, file_size_, options_.CheckKind, &Observer());
    source.Seek(0);
  } else {
    options_.CheckText = "0";
  }
  return EncryptHeaderWithFiller(BuildSetHeaderText(options_.Password, options_.CheckText,
                                                    options_.CheckKind, options_.Compress == 1,
                                                    piece_count_, source_name_));
}

bool TCutFile::SourceIsAPiece() const {
  // Only a stored name shortened to exactly the stem can do it: then the source's own name may
  // read stem + n + ".vrk". Writing that piece would replace the source, and deleting the
  // source after the split would take the piece with it.
  const std::string name = FileNameOf(source_path_);
  const std::string_view extension = kPieceExtension;
  if (name.size() <= piece_base_.size() + extension.size() ||
      name.compare(0, piece_base_.size(), piece_base_) != 0 ||
      name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
    return false;
  }
  const std::string digits =
      name.substr(piece_base_.size(), name.size() - piece_base_.size() - extension.size());
  if (!IsAllDigits(digits) || digits[0] == '0' || digits.size() > 9) {
    return false;
  }
  const int32_t n = std::stoi(digits);
  return n <= piece_count_ && SameFile(PiecePath(n), source_path_);
}

std::string TCutFile::PrepareSplit(File& source) {
  if (SourceIsAPiece()) {
    throw FileError("\"" + source_path_ + "\" would be replaced by one of its pieces", source_path_,
                    0);
  }
  // The envelope records a piece's length in 32 bits: a larger piece would make a set that
  // no merge can read back, so refuse before reading or writing anything.
  if (options_.Compress == 1 && piece_count_ > 0 &&
      file_size_ - static_cast<int64_t>(piece_count_ - 1) * (file_size_ / piece_count_) >
          kMaxEnvelopeContent) {
    throw CompressionError();
  }
  const bool checked = options_.CheckKind != ChecksumKind::None;
  SetProgressTotal(checked ? 2 * file_size_ : file_size_);
  if (checked) {
    Log(options_.CheckKind == ChecksumKind::Md5 ? kSplitMakingMd5 : kSplitMakingCrc32);
  }
  source = File(source_path_, OpenMode::Read, Share::Exclusive);
  source.AdviseSequential();
  if (source.Size() < file_size_) {
    throw FileError("\"" + source_path_ + "\" became shorter than when the split began",
                    source_path_, 0);
  }
  const std::string trailer = MakeTrailerBlock(BuildHeaderText(source), kHeaderTrailerSize);
  if (piece_count_ <= 0) {
    throw FileError("nothing to split in \"" + source_path_ + "\"", source_path_, 0);
  }
  piece_size_ = file_size_ / piece_count_;
  return trailer;
}

AtomicOutput TCutFile::OpenPiece(int32_t n) {
  Log(SplitProgressLine(n, piece_count_ - n));
  auto hold = Gate().Pass();
  return AtomicOutput(PiecePath(n));
}

void TCutFile::ClosePiece(int32_t n, AtomicOutput& out, const std::string& trailer, bool durable) {
  {
    auto hold = Gate().Pass();
    out.file().Write(trailer.data(), trailer.size());
  }
  if (sums_) {
    // A compressed piece is read back whole (from the page cache): its bytes are made on the
    // compressing threads. A plain piece's share went to the digest as it was copied.
    if (options_.Compress == 1) {
      sums_->AddFile(n, out.file());
    } else {
      sums_->Add(n, trailer.data(), trailer.size());
      sums_->EndPiece(n);
    }
  }
  // Flushed to disk only when the source is to go: then the pieces are the only copy. Their
  // names reach the disk with one flush of the folder once every piece is there.
  out.Seal(durable);
}

void TCutFile::PublishPieces() {
  auto hold = Gate().Pass();
  std::vector<std::string> published;
  try {
    for (AtomicOutput& piece : pieces_) {
      const std::string name = piece.final_path();
      piece.Publish(false, options_.Overwrite == 1);
      published.push_back(name);
    }
  } catch (...) {
    for (const std::string& name : published) {
      ::unlink(name.c_str());
    }
    throw;
  }
  pieces_.clear();
}

void TCutFile::WriteCompressedPieces(File& source, const std::string& trailer, bool durable) {
  // Compression is the slow part: the pieces are compressed concurrently, one per core.
  std::vector<int64_t> offsets{0};
  for (int32_t n = 1; n <= piece_count_; ++n) {
    offsets.push_back(offsets.back() + ShareOf(n));
  }
  pieces_.resize(static_cast<size_t>(piece_count_));
  CompressPieces(
      source, offsets, options_.Level,
      [&](int32_t n) -> File& {
        pieces_[static_cast<size_t>(n - 1)] = OpenPiece(n);
        return pieces_[static_cast<size_t>(n - 1)].file();
      },
      [&](int32_t n) { ClosePiece(n, pieces_[static_cast<size_t>(n - 1)], trailer, durable); },
      Observer());
}

void TCutFile::WriteSumsFile(bool durable) {
  const std::vector<std::string> digests = sums_->Finish();
  sums_.reset();
  std::string text;
  for (int32_t n = 1; n <= piece_count_; ++n) {
    text += GnuSumLine(digests[static_cast<size_t>(n - 1)], FileNameOf(PiecePath(n)));
  }
  const std::string path = SumsPathOf(output_dir_, piece_base_);
  AtomicOutput out(path);
  {
    auto hold = Gate().Pass();
    out.file().Write(text.data(), text.size());
  }
  out.Commit(durable);
  Log(SplitSumsWrittenLine(path));
}

bool TCutFile::WritePieces() {
  // A name that is not UTF-8 would be stored garbled, and no merge could find the set again.
  if (!IsValidUtf8(FileNameOf(source_path_))) {
    Log(kSplitNameNotUtf8);
    return false;
  }
  File source;
  const bool durable = options_.DeleteSource == 1;
  try {
    const std::string trailer = PrepareSplit(source);
    if (options_.WriteSums == 1) {
      // A source named like the checksum file ("movie.sha256" gives the stem "movie").
      const std::string sums_path = SumsPathOf(output_dir_, piece_base_);
      if (SameFile(sums_path, source_path_)) {
        throw FileError("\"" + source_path_ + "\" would be replaced by the checksum file",
                        source_path_, 0);
      }
      sums_ = std::make_unique<PieceSums>(piece_count_);
    }

    if (options_.Compress == 1) {
      WriteCompressedPieces(source, trailer, durable);
    } else {
      for (int32_t n = 1; n <= piece_count_; ++n) {
        pieces_.push_back(OpenPiece(n));
        AtomicOutput& piece = pieces_.back();
        if (sums_) {
          CopyAndDigest(source, piece.file(), ShareOf(n), n, *sums_, &Observer());
        } else {
          Copy(source, piece.file(), ShareOf(n));
        }
        ClosePiece(n, piece, trailer, durable);
      }
    }
    source.Close();
    PublishPieces();
    if (sums_) {
      WriteSumsFile(durable);
    }

    // Only now is every piece complete and, when the source goes, on the disk.
    if (durable) {
      SyncDirectory(output_dir_);
      auto hold = Gate().Pass();
      // The pieces hold what was read; a source changed since then is not theirs to replace.
      if (!Unchanged(source_path_, source_stamp_)) {
        hold.unlock();
        Log(ChangedInputLine(kSplitJob, source_path_));
        return false;
      }
      DeleteFile(source_path_);
    }
    FinishProgress();
    return true;
  } catch (const std::exception& error) {
    NoteFailure(error);
    pieces_.clear();
    source = File();
    sums_.reset();
    Log(kSplitBusyFailure);
    return false;
  }
}

}  // namespace qarvo
