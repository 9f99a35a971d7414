#include "split/set_check.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "codec/block_pipe.h"
#include "codec/digest.h"
#include "codec/envelope.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "split/header.h"
#include "split/merger_file.h"
#include "split/parallel_pieces.h"
#include "split/piece_sums.h"

namespace qarvo {

std::string ReadPieceTrailer(const std::string& path) {
  File piece(path, OpenMode::Read, Share::Shared);
  std::string trailer;
  ReadPieceTrailer(piece, piece.Size(), trailer);
  return trailer;
}

int64_t PieceShare(File& piece, int64_t size, bool compressed) {
  const int64_t payload = size - static_cast<int64_t>(kHeaderTrailerSize);
  if (payload <= 0 || (compressed && payload < 4)) {
    return -1;
  }
  if (!compressed) {
    return payload;
  }
  piece.Seek(0);
  return EnvelopeDeclaredLength(piece);
}

int32_t FirstMisfitShare(const std::vector<int64_t>& shares) {
  const auto count = static_cast<int32_t>(shares.size());
  if (count == 0) {
    return 0;
  }
  const int64_t last = shares.back();
  const auto last_fits = [&](int64_t share) {
    return share >= 1 && last >= share && last < share + count;
  };
  // The share of the pieces before the last: the one most of them carry, and among those one
  // that the last piece fits, so that the odd piece is the one named, also when it is the first.
  std::map<int64_t, int32_t> votes;
  for (int32_t n = 0; n + 1 < count; ++n) {
    ++votes[shares[static_cast<size_t>(n)]];
  }
  int64_t share = last;
  int32_t best = 0;
  for (const auto& [value, seen] : votes) {
    if (seen > best || (seen == best && last_fits(value) && !last_fits(share))) {
      share = value;
      best = seen;
    }
  }
  for (int32_t n = 0; n + 1 < count; ++n) {
    if (shares[static_cast<size_t>(n)] != share || share < 1) {
      return n + 1;
    }
  }
  return last_fits(share) ? 0 : count;
}

PieceFinding CheckPieceSet(int32_t count, const std::function<std::string(int32_t)>& piece_path,
                           std::string_view trailer, bool compressed, std::vector<int64_t>& shares,
                           std::vector<int64_t>* sizes) {
  for (int32_t n = 1; n <= count; ++n) {
    const FileKind kind = KindOf(piece_path(n));
    if (kind == FileKind::Missing) {
      return {PieceFault::Missing, n, std::nullopt};
    }
    // Opening a named pipe would wait for a writer, a device would be read without end.
    if (kind != FileKind::Regular) {
      return {PieceFault::NotAFile, n, std::nullopt, kind};
    }
  }
  shares.clear();
  if (sizes != nullptr) {
    sizes->clear();
  }
  for (int32_t n = 1; n <= count; ++n) {
    try {
      File piece(piece_path(n), OpenMode::Read, Share::Shared);
      const int64_t size = piece.Size();
      const int64_t share = PieceShare(piece, size, compressed);
      if (share < 0) {
        return {PieceFault::SizeMisfit, n, std::nullopt};
      }
      std::string found;
      if (!ReadPieceTrailer(piece, size, found) || found != trailer) {
        return {PieceFault::Foreign, n, std::nullopt};
      }
      shares.push_back(share);
      if (sizes != nullptr) {
        sizes->push_back(size);
      }
    } catch (const FileError& error) {
      return {PieceFault::Unreadable, n, error};
    } catch (const std::exception&) {
      return {PieceFault::Unreadable, n, std::nullopt};
    }
  }
  if (const int32_t misfit = FirstMisfitShare(shares); misfit != 0) {
    return {PieceFault::SizeMisfit, misfit, std::nullopt};
  }
  return {};
}

std::string VerifyPieceGoodLine(int32_t n, const std::string& path) {
  return "第" + std::to_string(n) + "个文件完好:" + path;
}

std::string VerifyPieceUncheckedLine(int32_t n, const std::string& path, bool compressed) {
  const std::string number = "第" + std::to_string(n) + "个文件";
  return compressed ? number + "压缩数据完整:" + path
                    : number + "名称、分割信息和大小相符,内容未检查:" + path;
}

std::string DamagedPieceLine(std::string_view job, const std::string& path) {
  return std::string(job) + "文件" + path + "已损坏!";
}

std::string VerifyFaultLine(PieceFault fault, const std::string& path, FileKind kind) {
  switch (fault) {
    case PieceFault::Missing:
      return "文件校验:文件" + path + "不存在!";
    case PieceFault::NotAFile:
      return "文件校验:文件" + path + NotARegularFileText(kind) + "!";
    case PieceFault::Unreadable:
      return "文件校验:无法读取文件" + path + "!";
    case PieceFault::Foreign:
      return "文件校验:文件" + path + "不属于这个分割集!";
    case PieceFault::SizeMisfit:
      return "文件校验:文件" + path + "的大小与分割集不符!";
    case PieceFault::Damaged:
      return DamagedPieceLine("文件校验:", path);
    case PieceFault::None:
      break;
  }
  return {};
}

namespace {

constexpr size_t kVerifyReadSize = size_t{1} << 20;

// Progress of the check, at most five reports a second; also the observer of the codecs.
class ProgressMeter : public CopyObserver {
 public:
  ProgressMeter(JobCallbacks* callbacks, int64_t total) : callbacks_(callbacks), total_(total) {
    if (callbacks_ != nullptr) {
      callbacks_->Progress(0, total_);
    }
  }
  std::unique_lock<std::mutex> BeforeBlock() override { return {}; }
  void Advanced(int64_t bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (callbacks_ != nullptr && now - last_ >= std::chrono::milliseconds(200)) {
      last_ = now;
      callbacks_->Progress(done_, total_);
    }
  }
  void Finish() {
    if (callbacks_ != nullptr) {
      callbacks_->Progress(total_, total_);
    }
  }

 private:
  JobCallbacks* callbacks_;
  int64_t total_;
  std::mutex mutex_;
  int64_t done_ = 0;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Hands the content of one piece to `sink`: inflated for a compressed piece, else the payload.
// Returns the fault of the piece.
PieceFault ReadContent(const std::string& path, bool compressed, int64_t share,
                       CopyObserver& observer, const ByteSink& sink, PieceSums* sums, int32_t n) {
  try {
    File piece(path, OpenMode::Read, Share::Shared);
    piece.AdviseSequential();
    const int64_t size = piece.Size();
    const int64_t payload = size - static_cast<int64_t>(kHeaderTrailerSize);
    if (compressed) {
      // The inflater reads the raw bytes itself: they are digested apart, before it.
      if (sums != nullptr) {
        sums->AddFile(n, piece);
      }
      if (DecompressEnvelope(piece, payload, sink, &observer) != share) {
        return PieceFault::Damaged;
      }
      return PieceFault::None;
    }
    if (sums == nullptr) {
      ReadInBlocks(piece, payload, kVerifyReadSize, &observer, sink);
      return PieceFault::None;
    }
    // The whole file, trailer included, goes to the digest; the payload to the sink.
    int64_t seen = 0;
    ReadInBlocks(piece, size, kVerifyReadSize, &observer, [&](const uint8_t* data, size_t step) {
      sums->Add(n, data, step);
      if (seen < payload) {
        sink(data,
             static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(step), payload - seen)));
      }
      seen += static_cast<int64_t>(step);
    });
    sums->EndPiece(n);
    return PieceFault::None;
  } catch (const CompressionError&) {
    return PieceFault::Damaged;
  } catch (const std::exception&) {
    return PieceFault::Unreadable;
  }
}

struct DataPass {
  std::vector<PieceFault> faults;  // one per piece; pieces after a fault may be left None
  std::string digest;              // of the joined bytes, in the header's check kind
};

// Inflates the pieces concurrently; CRC-32s of the pieces combine into the whole one.
DataPass PassConcurrently(int32_t count, const std::function<std::string(int32_t)>& path,
                          const std::vector<int64_t>& shares, ChecksumKind check_kind,
                          CopyObserver& observer, PieceSums* sums) {
  DataPass pass;
  pass.faults.assign(static_cast<size_t>(count), PieceFault::None);
  std::vector<uint32_t> crcs(static_cast<size_t>(count), 0);
  RunPieces(
      count, PieceThreads(count), [](int32_t) {},
      [&](int32_t n, CopyObserver& shared) {
        const auto i = static_cast<size_t>(n - 1);
        uint32_t crc = 0;
        pass.faults[i] = ReadContent(
            path(n), true, shares[i], shared,
            [&](const uint8_t* data, size_t size) {
              if (check_kind == ChecksumKind::Crc32) {
                crc = Crc32Update(crc, data, size);
              }
            },
            sums, n);
        crcs[i] = crc;
      },
      observer);
  uint32_t whole = 0;
  for (int32_t n = 0; n < count; ++n) {
    whole = static_cast<uint32_t>(crc32_combine(
        whole, crcs[static_cast<size_t>(n)], static_cast<z_off_t>(shares[static_cast<size_t>(n)])));
  }
  pass.digest = Crc32Text(whole);
  return pass;
}

// Reads the pieces in order, for a digest that must see the bytes in order (MD5) or pieces that
// are only read (uncompressed). This thread reads and inflates while the pipe's digests, so the
// two costs overlap instead of adding up. Stops at the first bad piece.
DataPass PassInOrder(int32_t count, const std::function<std::string(int32_t)>& path,
                     const std::vector<int64_t>& shares, bool compressed, ChecksumKind check_kind,
                     CopyObserver& observer, PieceSums* sums) {
  DataPass pass;
  pass.faults.assign(static_cast<size_t>(count), PieceFault::None);
  RunningChecksum checksum(check_kind);
  BlockPipe pipe(kVerifyReadSize, 8,
                 [&checksum](const uint8_t* data, size_t size) { checksum.Update(data, size); });
  for (int32_t n = 1; n <= count; ++n) {
    const auto i = static_cast<size_t>(n - 1);
    pass.faults[i] = ReadContent(
        path(n), compressed, shares[i], observer,
        [&](const uint8_t* data, size_t size) {
          while (check_kind != ChecksumKind::None && size > 0) {
            const size_t step = std::min(size, pipe.block_size());
            std::memcpy(pipe.Acquire(), data, step);
            pipe.Push(step);
            data += step;
            size -= step;
          }
        },
        sums, n);
    if (pass.faults[i] != PieceFault::None) {
      break;
    }
  }
  pipe.Finish();
  pass.digest = checksum.Text();
  return pass;
}

// The analysis of the chosen piece: false, with its lines, when its header cannot be read.
bool ReadChosenHeader(const std::string& chosen_piece, const std::string& password, LogSink& log,
                      std::string& trailer, SetHeader& header) {
  try {
    trailer = ReadPieceTrailer(chosen_piece);
  } catch (const std::exception&) {
    log.Add(VerifyFaultLine(PieceFault::Unreadable, chosen_piece));
    log.Add(kVerifyCannotJoin);
    return false;
  }
  const HeaderStatus status =
      trailer.empty() ? HeaderStatus::NotRecognised : ReadSetHeader(trailer, password, header);
  if (status != HeaderStatus::Ok) {
    log.Add(status == HeaderStatus::WrongPassword ? kVerifyNeedsPassword : kVerifyNotRecognised);
    log.Add(kVerifyCannotJoin);
    return false;
  }
  return true;
}

// Reads every piece once, for the set's checksum and the checksum file's digests, whichever
// there are.
DataPass ReadSetData(const SetHeader& header, const std::function<std::string(int32_t)>& path,
                     const std::vector<int64_t>& shares, PieceSums* sums, JobCallbacks* callbacks) {
  const int32_t count = header.piece_count;
  int64_t total = 0;
  for (const int64_t share : shares) {
    total += share;
  }
  if (sums != nullptr && !header.compressed) {
    total += static_cast<int64_t>(count) * static_cast<int64_t>(kHeaderTrailerSize);  // digested
  }
  DataPass pass;
  pass.faults.assign(static_cast<size_t>(count), PieceFault::None);
  if (header.compressed || header.check_kind != ChecksumKind::None || sums != nullptr) {
    ProgressMeter meter(callbacks, total);
    pass =
        header.compressed && header.check_kind != ChecksumKind::Md5
            ? PassConcurrently(count, path, shares, header.check_kind, meter, sums)
            : PassInOrder(count, path, shares, header.compressed, header.check_kind, meter, sums);
    meter.Finish();
  }
  return pass;
}

// One line per piece; false, with the closing line, when a piece could not be read or the
// checksum file calls one damaged.
bool ReportPieces(const SetHeader& header, const std::function<std::string(int32_t)>& path,
                  const DataPass& pass, const SetSums& set_sums,
                  const std::vector<std::string>& digests, LogSink& log) {
  const std::vector<int32_t> damaged = DamagedPieces(set_sums, digests);
  for (int32_t n = 1; n <= header.piece_count; ++n) {
    const auto i = static_cast<size_t>(n - 1);
    if (pass.faults[i] != PieceFault::None) {
      log.Add(VerifyFaultLine(pass.faults[i], path(n)));
      log.Add(kVerifyCannotJoin);
      return false;
    }
    if (std::find(damaged.begin(), damaged.end(), n) != damaged.end()) {
      log.Add(PieceSumMismatchLine(n, path(n)));
    } else if (set_sums.Lists(n) && i < digests.size() && !digests[i].empty()) {
      log.Add(VerifyPieceGoodLine(n, path(n)));
    } else {
      log.Add(VerifyPieceUncheckedLine(n, path(n), header.compressed));
    }
  }
  if (!damaged.empty()) {
    log.Add(kVerifyCannotJoin);
    return false;
  }
  return true;
}

}  // namespace

bool VerifySet(const std::string& chosen_piece, const std::string& password, LogSink& log,
               JobCallbacks* callbacks) {
  log.Add(kMergeAnalysing);
  std::string trailer;
  SetHeader header;
  if (!ReadChosenHeader(chosen_piece, password, log, trailer, header)) {
    return false;
  }
  const std::string piece_dir = AddTrailingBackslash(DirectoryOf(chosen_piece));
  const std::function<std::string(int32_t)> path = [&](int32_t n) {
    return piece_dir + header.piece_base + std::to_string(n) + kPieceExtension;
  };
  const int32_t count = header.piece_count;
  std::vector<int64_t> shares;
  const PieceFinding finding = CheckPieceSet(count, path, trailer, header.compressed, shares);
  if (finding.fault != PieceFault::None) {
    log.Add(VerifyFaultLine(finding.fault, path(finding.piece), finding.kind));
    log.Add(kVerifyCannotJoin);
    return false;
  }

  // A checksum file beside the set lets the check look at every byte of every piece.
  const SetSums set_sums = ReadSetSums(piece_dir, header.piece_base, count);
  for (const std::string& note : SetSumsNotes(set_sums, "文件校验:")) {
    log.Add(note);
  }
  std::unique_ptr<PieceSums> sums = PieceSumsToTake(set_sums, count);
  const DataPass pass = ReadSetData(header, path, shares, sums.get(), callbacks);
  const std::vector<std::string> digests = sums ? sums->Finish() : std::vector<std::string>();
  if (!ReportPieces(header, path, pass, set_sums, digests, log)) {
    return false;
  }
  if (header.check_kind == ChecksumKind::None) {
    log.Add(kVerifyJoins);
    return true;
  }
  const bool same = pass.digest == header.check_text;
  log.Add(same ? kMergeSameAsSource : kMergeDiffersFromSource);
  return same;
}

}  // namespace qarvo
