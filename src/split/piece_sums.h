#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/sha.h"
#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

// The checksum file beside a split set: "<stem>.sha256", one line per piece file (trailer
// included) as sha256sum writes it, so that a recipient can check the pieces with standard tools.
inline constexpr char kSumsExtension[] = ".sha256";
// `dir` ends in the separator.
std::string SumsPathOf(const std::string& dir, const std::string& piece_base);

// SHA-256 of every piece file of a set, taken from the bytes as a job writes or reads them: a
// thread of its own digests them behind a bounded queue, so the reading and writing thread
// waits for the digest only when it is far ahead.
class PieceSums {
 public:
  explicit PieceSums(int32_t count);
  ~PieceSums();
  PieceSums(const PieceSums&) = delete;
  PieceSums& operator=(const PieceSums&) = delete;

  // An empty buffer to fill and hand over with Add (the digested ones come back here).
  std::vector<uint8_t> TakeBuffer();
  // The next bytes of piece n (1-based). Several threads may feed different pieces; the bytes of
  // one piece must come in their order in the file.
  void Add(int32_t n, std::vector<uint8_t> block);
  void Add(int32_t n, const void* data, size_t size);
  // Piece n has had all its bytes: its digest is taken and its state freed.
  void EndPiece(int32_t n);
  // The whole of an open file as piece n, read by position (the file's position stays); ends it.
  void AddFile(int32_t n, const File& file);
  // Waits until every byte handed over is digested; the lower-case hex of each piece, in order,
  // empty for a piece that was not ended.
  std::vector<std::string> Finish();

 private:
  struct Block {
    int32_t piece = 0;
    std::vector<uint8_t> bytes;
    bool end = false;
  };
  void Push(Block block);
  void Digest();

  // Only the pieces under way hold a digest state: a set may have very many pieces.
  std::map<int32_t, ShaDigest> active_;
  std::vector<std::string> hex_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<Block> queue_;
  std::vector<std::vector<uint8_t>> spare_;
  bool closed_ = false;
  std::thread thread_;
};

// Copies `count` bytes from the position of `in` to the position of `out` through a buffer, in
// blocks of at most kCopyBlockSize bytes, and hands them to `sums` as piece n: the piece is
// digested in the same read that copies it.
void CopyAndDigest(File& in, File& out, int64_t count, int32_t n, PieceSums& sums,
                   CopyObserver* observer);

// What the checksum file beside a set says about its pieces.
struct SetSums {
  bool present = false;           // the file exists (and could be read)
  std::string path;               // where it is looked for
  bool unreadable = false;        // it exists, but could not be read
  std::vector<std::string> hex;   // per piece; empty when the file does not list the piece
  std::vector<int> bad_lines;     // lines that do not parse
  std::vector<int32_t> unlisted;  // pieces the file does not list
  // True when the file lists piece n (1-based).
  bool Lists(int32_t n) const;
};

// The digests to take while the pieces are read: null when the checksum file is missing,
// unreadable or lists none of the `count` pieces.
std::unique_ptr<PieceSums> PieceSumsToTake(const SetSums& sums, int32_t count);

// Looks for "<piece_base>.sha256" in `piece_dir` (ending in the separator) and finds the lines
// of pieces piece_base + 1..count + ".vrk" by their file names.
SetSums ReadSetSums(const std::string& piece_dir, const std::string& piece_base, int32_t count);

// The lines that report what is wrong with the checksum file itself (lines that do not parse,
// pieces it does not list, a file that cannot be read), each starting with `prefix`; the job
// goes on without them.
std::vector<std::string> SetSumsNotes(const SetSums& sums, const std::string& prefix);
// "第n个分割文件已损坏:" + path, the piece whose digest differs from the checksum file.
std::string PieceSumMismatchLine(int32_t n, const std::string& path);
// Pieces (1-based) whose digest differs from a listed one; empty when all listed ones agree.
// Pieces without a digest (not read to their end) are not judged.
std::vector<int32_t> DamagedPieces(const SetSums& sums, const std::vector<std::string>& digests);

}  // namespace qarvo
