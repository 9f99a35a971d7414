#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job_host.h"
#include "platform/file.h"

namespace qarvo {

// What keeps a set from joining, found at its first bad piece.
enum class PieceFault {
  None,
  Missing,     // no file under the piece's name
  NotAFile,    // a folder, a named pipe or a device under the piece's name
  Unreadable,  // the file could not be opened or read
  Foreign,     // its trailer is not the chosen piece's (another set, or not a piece)
  SizeMisfit,  // its share does not fit the way a split cuts
  Damaged,     // its compressed stream is broken or ends early
};

struct PieceFinding {
  PieceFault fault = PieceFault::None;
  int32_t piece = 0;                  // 1-based number of the bad piece; 0 when none
  std::optional<FileError> failure;   // why an Unreadable piece could not be read, when known
  FileKind kind = FileKind::Regular;  // what a NotAFile piece is
};

// The last kHeaderTrailerSize bytes of a piece; empty when the file holds no more than that.
// Throws FileError.
std::string ReadPieceTrailer(const std::string& path);

// The bytes a piece already open, whose size is `size`, gives to the joined file: its payload
// before the trailer, or for a compressed piece the length its envelope declares. -1 when the
// file is too short to hold one. Moves its position; throws FileError.
int64_t PieceShare(File& piece, int64_t size, bool compressed);

// 0 when the shares fit the way a split cuts a file of their sum: every piece but the last
// carries the same count P >= 1, the last at least P and fewer than P + count. Otherwise the
// 1-based number of the first piece that does not fit (the piece that differs from the others).
int32_t FirstMisfitShare(const std::vector<int64_t>& shares);

// What a join checks before it writes anything: pieces 1..count (named by piece_path) exist,
// each is long enough to give bytes and carries `trailer` byte for byte, and their shares fit.
// Stops at the first fault in piece order: all pieces are looked for before any is opened, and
// the shares are compared once every piece has passed. `shares` receives each piece's content
// length (so output offsets follow from it), `sizes` (may be null) each piece's file size.
PieceFinding CheckPieceSet(int32_t count, const std::function<std::string(int32_t)>& piece_path,
                           std::string_view trailer, bool compressed, std::vector<int64_t>& shares,
                           std::vector<int64_t>* sizes = nullptr);

// Lines of the set check.
inline constexpr char kVerifyNotRecognised[] = "文件校验:无法识别文件!";
inline constexpr char kVerifyNeedsPassword[] =
    "文件校验:此文件需要密码才能校验,请在密码选项输入正确的密码!";
inline constexpr char kVerifyJoins[] = "校验结果:分割集完整,可以合并!";
inline constexpr char kVerifyCannotJoin[] = "校验结果:分割集不能合并!";
// "第n个文件完好:" + path: the piece's SHA-256 is the one the checksum file beside the set lists.
std::string VerifyPieceGoodLine(int32_t n, const std::string& path);
// A piece whose content no checksum file vouches for: only its name, trailer and size were
// checked, and for a compressed piece its stream (which carries its own check) as well.
std::string VerifyPieceUncheckedLine(int32_t n, const std::string& path, bool compressed);
// job + "文件" + path + "已损坏!": a compressed piece whose stream is broken, in the words of
// every job that finds one.
std::string DamagedPieceLine(std::string_view job, const std::string& path);
// The line that names a bad piece.
std::string VerifyFaultLine(PieceFault fault, const std::string& path,
                            FileKind kind = FileKind::Regular);

// Reads the set of `chosen_piece` as a merge would and writes nothing: the header, every piece
// present with the chosen trailer and fitting sizes, every compressed stream whole, and the
// stored MD5 or CRC-32 against the joined bytes, computed on the fly, and, when the checksum file
// "<stem>.sha256" lies beside the pieces, every piece file against it. Reports one line per
// piece and a last line with the result to `log`; progress to `callbacks` (may be null).
// Returns true when the set would join to its source.
bool VerifySet(const std::string& chosen_piece, const std::string& password, LogSink& log,
               JobCallbacks* callbacks);

}  // namespace qarvo
