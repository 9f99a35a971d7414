#include "split/cut_file.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/block_deflate.h"
#include "codec/block_pipe.h"
#include "codec/digest.h"
#include "codec/envelope.h"
#include "codec/sums_file.h"
#include "platform/atomic_output.h"
#include "platform/copy.h"
#include "platform/file.h"
#include "platform/io_buffer.h"
#include "platform/paths.h"
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "text/checks.h"

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

std::string TCutFile::BuildTrailer() {
  return MakeTrailerBlock(EncryptHeaderWithFiller(BuildSetHeaderText(
                              options_.Password, options_.CheckText, options_.CheckKind,
                              options_.Compress == 1, piece_count_, source_name_)),
                          kHeaderTrailerSize);
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

void TCutFile::PrepareSplit(File& source) {
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
  SetProgressTotal(file_size_);
  if (options_.CheckKind != ChecksumKind::None) {
    Log(options_.CheckKind == ChecksumKind::Md5 ? kSplitMakingMd5 : kSplitMakingCrc32);
  }
  source = File(source_path_, OpenMode::Read, Share::Exclusive);
  source.AdviseSequential();
  if (source.Size() < file_size_) {
    throw FileError("\"" + source_path_ + "\" became shorter than when the split began",
                    source_path_, 0);
  }
  if (options_.CheckKind == ChecksumKind::None) {
    options_.CheckText = "0";
    trailer_ = BuildTrailer();
  }
  if (piece_count_ <= 0) {
    throw FileError("nothing to split in \"" + source_path_ + "\"", source_path_, 0);
  }
  piece_size_ = file_size_ / piece_count_;
}

void TCutFile::OpenPiece(std::vector<AtomicOutput>& pieces, int32_t n) {
  Log(SplitProgressLine(n, piece_count_ - n));
  auto hold = Gate().Pass();
  pieces.emplace_back(PiecePath(n));
}

void TCutFile::WriteToPiece(File& piece, int32_t n, const uint8_t* data, size_t size) {
  piece.Write(data, size);
  if (sums_) {
    // The piece file's own bytes, compressed or not: the checksum file lists what is on disk.
    sums_->Add(n, data, size);
  }
}

void TCutFile::EndShare(AtomicOutput& piece, int32_t n) {
  if (trailer_.empty()) {
    // Closed for now; the trailer comes once the checksum is known.
    piece.Seal(false);
    return;
  }
  {
    auto hold = Gate().Pass();
    WriteToPiece(piece.file(), n, reinterpret_cast<const uint8_t*>(trailer_.data()),
                 trailer_.size());
  }
  if (sums_) {
    sums_->EndPiece(n);
  }
  // Flushed to disk only when the source is to go: then the pieces are the only copy.
  piece.Seal(durable_);
}

void TCutFile::AppendTrailer(AtomicOutput& piece, int32_t n) {
  File file(piece.temp_path(), OpenMode::ReadWrite, Share::Exclusive);
  file.ReportAs(piece.final_path());
  file.SeekToEnd();
  {
    auto hold = Gate().Pass();
    WriteToPiece(file, n, reinterpret_cast<const uint8_t*>(trailer_.data()), trailer_.size());
  }
  if (sums_) {
    sums_->EndPiece(n);
  }
  if (durable_) {
    file.Sync();
  }
  file.Close();
}

void TCutFile::CopyShares(File& source, std::vector<AtomicOutput>& pieces, BlockPipe* digest) {
  for (int32_t n = 1; n <= piece_count_; ++n) {
    OpenPiece(pieces, n);
    AtomicOutput& piece = pieces.back();
    if (digest == nullptr && !sums_) {
      Copy(source, piece.file(), ShareOf(n));
    } else if (digest == nullptr) {
      CopyToPiece(source, piece.file(), n);
    } else {
      CopyThroughPipe(
          source, ShareOf(n),
          [&](const uint8_t* data, size_t size) { WriteToPiece(piece.file(), n, data, size); },
          *digest, &Observer());
    }
    EndShare(piece, n);
  }
}

void TCutFile::CopyToPiece(File& source, File& piece, int32_t n) {
  // The bytes pass through memory (not the kernel's copy) so that the checksum file sees them.
  IoBuffer block(static_cast<size_t>(std::min<int64_t>(ShareOf(n), kCopyBlockSize)));
  for (int64_t left = ShareOf(n); left > 0;) {
    const auto step = static_cast<size_t>(std::min<int64_t>(left, kCopyBlockSize));
    source.ReadExact(block.data(), step);
    {
      auto hold = Observer().BeforeBlock();
      WriteToPiece(piece, n, block.data(), step);
    }
    left -= static_cast<int64_t>(step);
    Observer().Advanced(static_cast<int64_t>(step));
  }
}

void TCutFile::CompressShares(File& source, std::vector<AtomicOutput>& pieces, BlockPipe* digest) {
  // Compression is the slow part: blocks of every piece are deflated on one pool, one thread per
  // core, while this thread reads the source once and writes the pieces in order.
  ParallelDeflater deflater(options_.Level, PoolThreads(), &Observer());
  IoBuffer own_buffer(digest == nullptr ? kDeflateBlockSize : 0);
  pieces.reserve(static_cast<size_t>(piece_count_));
  for (int32_t n = 1; n <= piece_count_; ++n) {
    OpenPiece(pieces, n);
    const auto index = static_cast<size_t>(n - 1);
    deflater.Begin(ShareOf(n), [this, &pieces, index, n](const uint8_t* data, size_t size) {
      WriteToPiece(pieces[index].file(), n, data, size);
    });
    for (int64_t left = ShareOf(n); left > 0;) {
      uint8_t* block = digest != nullptr ? digest->Acquire() : own_buffer.data();
      const auto step = static_cast<size_t>(std::min<int64_t>(left, kDeflateBlockSize));
      source.ReadExact(block, step);
      deflater.Add(block, step);
      if (digest != nullptr) {
        digest->Push(step);
      }
      left -= static_cast<int64_t>(step);
    }
    deflater.End([this, &pieces, index, n] { EndShare(pieces[index], n); });
  }
  deflater.Flush();
}

void TCutFile::PublishAll(std::vector<AtomicOutput>& pieces) {
  auto hold = Gate().Pass();
  size_t published = 0;
  try {
    for (; published < pieces.size(); ++published) {
      pieces[published].Publish(false, options_.Overwrite == 1);
    }
  } catch (...) {
    for (size_t i = 0; i < published; ++i) {
      ::unlink(pieces[i].final_path().c_str());
    }
    throw;
  }
}

void TCutFile::WriteSet(File& source, std::vector<AtomicOutput>& pieces) {
  const bool checked = options_.CheckKind != ChecksumKind::None;
  RunningChecksum checksum(options_.CheckKind);
  std::unique_ptr<BlockPipe> digest;
  if (checked) {
    // A ring of blocks ahead of the digest at most: a few MiB, whatever the source's size.
    digest = std::make_unique<BlockPipe>(
        options_.Compress == 1 ? kDeflateBlockSize : kCopyBlockSize, kPipeDepth,
        [&checksum](const uint8_t* data, size_t size) { checksum.Update(data, size); });
  }
  if (options_.Compress == 1) {
    CompressShares(source, pieces, digest.get());
  } else {
    CopyShares(source, pieces, digest.get());
  }
  if (checked) {
    digest->Finish();
    options_.CheckText = checksum.Text();
    trailer_ = BuildTrailer();
    for (int32_t n = 1; n <= piece_count_; ++n) {
      AppendTrailer(pieces[static_cast<size_t>(n - 1)], n);
    }
  }
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
  durable_ = options_.DeleteSource == 1;
  try {
    // The pieces keep temporary names until the whole set is written: a split that fails leaves
    // no piece of an incomplete set behind.
    std::vector<AtomicOutput> pieces;
    PrepareSplit(source);
    if (options_.WriteSums == 1) {
      // A source named like the checksum file ("movie.sha256" gives the stem "movie").
      const std::string sums_path = SumsPathOf(output_dir_, piece_base_);
      if (SameFile(sums_path, source_path_)) {
        throw FileError("\"" + source_path_ + "\" would be replaced by the checksum file",
                        source_path_, 0);
      }
      sums_ = std::make_unique<PieceSums>(piece_count_);
    }
    WriteSet(source, pieces);
    source.Close();
    PublishAll(pieces);
    if (sums_) {
      WriteSumsFile(durable_);
    }

    // Only now is every piece complete and, when the source goes, on the disk.
    if (durable_) {
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
    source = File();
    sums_.reset();
    Log(kSplitBusyFailure);
    return false;
  }
}

}  // namespace qarvo
