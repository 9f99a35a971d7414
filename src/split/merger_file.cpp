#include "split/merger_file.h"

#include <exception>
#include <utility>
#include <vector>

#include "codec/digest.h"
#include "codec/envelope.h"
#include "platform/copy.h"
#include "platform/file.h"
#include "split/header.h"
#include "split/parallel_pieces.h"
#include "split/paths.h"

namespace qarvo {

std::string MergeProgressLine(int32_t n, int32_t left) {
  return "正在合并第" + std::to_string(n) + "个文件,剩余" + std::to_string(left) + "个文件...";
}

std::string MergeMissingPieceLine(const std::string& path) {
  return "文件合并:文件" + path + "不存在!";
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
    : WorkerThread(JobHost{options.Log, std::move(callbacks)}),
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

void TMergerFile::Execute() {
  ButtonsBusy();
  if (!AnalyseSet()) {
    ButtonsIdle();
    return;
  }
  if (JoinPieces()) {
    Log(kMergeSucceeded);
    ButtonsIdle();
    ShakeIfAsked();
  } else {
    Log(kMergeFailed);
    ButtonsIdle();
  }
}

std::string TMergerFile::PiecePath(int32_t n) const {
  return piece_dir_ + piece_base_ + std::to_string(n) + kPieceExtension;
}

bool TMergerFile::AnalyseSet() {
  Log(kMergeAnalysing);
  std::string trailer(kHeaderTrailerSize, '\0');
  try {
    File piece(chosen_path_, OpenMode::Read, Share::Exclusive);
    const int64_t size = piece.Size();
    if (size <= static_cast<int64_t>(kHeaderTrailerSize)) {
      piece.Close();
      Log(kMergeNotRecognised);
      return false;
    }
    piece.Seek(size - static_cast<int64_t>(kHeaderTrailerSize));
    piece.ReadExact(trailer.data(), trailer.size());
    piece.Close();
  } catch (const std::exception&) {
    Log(MergeUnreadablePieceLine(chosen_path_));
    return false;
  }

  SetHeader header;
  switch (ReadSetHeader(trailer, options_.Password, header)) {
    case HeaderStatus::Ok:
      break;
    case HeaderStatus::WrongPassword:
      Log(kMergeNeedsPassword);
      return false;
    case HeaderStatus::NotRecognised:
      Log(kMergeNotRecognised);
      return false;
  }
  options_.CheckText = header.check_text;
  options_.CheckKind = static_cast<uint8_t>(header.check_kind);
  options_.Compressed = header.compressed ? 1 : 0;
  piece_count_ = header.piece_count;
  source_name_ = header.source_name;
  piece_base_ = header.piece_base;

  for (int32_t n = 1; n <= piece_count_; ++n) {
    const std::string path = PiecePath(n);
    if (!FileExists(path)) {
      Log(MergeMissingPieceLine(path));
      return false;
    }
  }
  return true;
}

namespace {

// How many bytes a piece adds to the joined file, for progress only: a compressed piece
// declares its content length in its first four bytes.
int64_t OutputShareOf(const std::string& path, bool compressed) {
  File piece(path, OpenMode::Read, Share::Shared);
  const int64_t payload = piece.Size() - static_cast<int64_t>(kHeaderTrailerSize);
  if (payload <= 0) {
    return 0;
  }
  if (!compressed) {
    return payload;
  }
  uint8_t length[4] = {};
  if (payload < 4 || piece.Read(length, 4) != 4) {
    return 0;
  }
  return static_cast<int64_t>(length[0]) | (static_cast<int64_t>(length[1]) << 8) |
         (static_cast<int64_t>(length[2]) << 16) | (static_cast<int64_t>(length[3]) << 24);
}

}  // namespace

bool TMergerFile::JoinPieces() {
  const std::string output_path = output_dir_ + source_name_;
  File output;
  File piece;
  // Length of the output that holds whole pieces only; a failed piece is cut off again so that
  // no bytes of a damaged or short piece stay behind.
  int64_t joined = 0;
  try {
    // Where each piece's bytes begin in the output.
    std::vector<int64_t> offsets{0};
    for (int32_t n = 1; n <= piece_count_; ++n) {
      const std::string path = PiecePath(n);
      // Never truncate a piece by writing the output over it.
      if (SameFile(path, output_path)) {
        throw FileError("\"" + output_path + "\" is one of the pieces", output_path, 0);
      }
      offsets.push_back(offsets.back() + OutputShareOf(path, options_.Compressed == 1));
    }
    SetProgressTotal(offsets.back());

    {
      auto hold = Gate().Pass();
      output = File(output_path, OpenMode::Create, Share::Exclusive);
    }
    const auto open_piece = [&](int32_t n) {
      Log(MergeProgressLine(n, piece_count_ - n));
      File opened(PiecePath(n), OpenMode::Read, Share::Exclusive);
      opened.AdviseSequential();
      return opened;
    };
    if (options_.Compressed == 1) {
      // Inflating is the slow part: the pieces are inflated concurrently, each at its place.
      InflatePieces(output, offsets, open_piece, Observer(), joined);
    } else {
      for (int32_t n = 1; n <= piece_count_; ++n) {
        piece = open_piece(n);
        output.SeekToEnd();
        // Only the chosen piece's length was checked by the analysis; a piece that holds no
        // more than a trailer has nothing to give.
        const int64_t payload = piece.Size() - static_cast<int64_t>(kHeaderTrailerSize);
        if (payload <= 0) {
          throw FileError("\"" + piece.path() + "\" is too short to be a piece", piece.path(), 0);
        }
        Copy(piece, output, payload);
        piece.Close();
        joined = output.Position();
      }
    }
    output.Close();
  } catch (const std::exception&) {
    piece = File();
    if (output.IsOpen()) {
      try {
        output.Truncate(joined);
      } catch (const std::exception&) {
        // The failure line below already says the output is not usable.
      }
      output = File();
    }
    Log(kMergeBusyFailure);
    return false;
  }

  const bool verified = VerifyOutput(output_path);
  // Pieces go whatever the comparison found, but not when the joined file could not even be
  // read back: then they may be the only copy of the data.
  if (options_.DeletePieces == 1 && verified) {
    RemovePieces();
  }
  FinishProgress();
  return true;
}

bool TMergerFile::VerifyOutput(const std::string& output_path) {
  if (options_.SkipVerify == 1 || options_.CheckKind == 0) {
    return true;
  }
  Log(kMergeVerifying);
  // The digest functions report an unreadable file as an empty one; look first, so that such a
  // file is named as unreadable instead of as different.
  try {
    File probe(output_path, OpenMode::Read, Share::Shared);
    ExtendProgressTotal(probe.Size());
    probe.Close();
  } catch (const std::exception&) {
    Log(MergeUnverifiableLine(output_path, options_.DeletePieces == 1));
    return false;
  }
  const std::string computed = options_.CheckKind == 1 ? Md5Hex(Md5OfFile(output_path, &Observer()))
                                                       : Crc32OfFileText(output_path, &Observer());
  Log(computed == options_.CheckText ? kMergeSameAsSource : kMergeDiffersFromSource);
  return true;
}

void TMergerFile::RemovePieces() {
  auto hold = Gate().Pass();
  for (int32_t n = 1; n <= piece_count_; ++n) {
    DeleteFile(PiecePath(n));
  }
}

}  // namespace qarvo
