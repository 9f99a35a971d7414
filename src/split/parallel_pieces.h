#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/copy.h"
#include "platform/file.h"

namespace qarvo {

// Each thread holds one zlib stream and its buffers, about half a MiB at the best level; this cap
// keeps a job far below 64 MiB on any machine.
inline constexpr int kMaxPieceThreads = 32;

// Threads of a job's pool: one per core, or the number set below, at most kMaxPieceThreads.
int PoolThreads();
// Threads for a job of `pieces` pieces that can be worked on independently: one per core (or the
// number set below), at most one per piece and at most kMaxPieceThreads.
int PieceThreads(int32_t pieces);
// Sets the thread count for the whole process in place of the core count: 1 gives the one-thread
// run that tests and benchmarks compare against, more than the cores makes threads really
// overlap on a small machine; 0 goes back to the core count.
void SetPieceThreads(int threads);

// Runs work(n) for n = 1..count on `threads` threads. open(n) runs before work(n), one piece at
// a time and in piece order (the piece's log line and its file go there); work(n) runs
// concurrently with the other pieces. `observer` is wrapped so that several threads may use it:
// its Advanced calls are serialised, and once any piece has failed, BeforeBlock refuses, so every
// thread stops at its next block. The first failure is rethrown once every thread has stopped.
void RunPieces(int32_t count, int threads, const std::function<void(int32_t)>& open,
               const std::function<void(int32_t, CopyObserver&)>& work, CopyObserver& observer);

// A compressed piece whose stream is broken or ends early, by its 1-based number.
class DamagedPiece : public std::runtime_error {
 public:
  explicit DamagedPiece(int32_t piece) : std::runtime_error("damaged piece"), piece_(piece) {}
  int32_t piece() const { return piece_; }

 private:
  int32_t piece_;
};

// Compressed join: inflates piece n into `output` at offset offsets[n-1]; the content it
// declares must be exactly offsets[n] - offsets[n-1] bytes. open(n) logs the piece's line and
// returns the opened piece, positioned at its start. A broken stream throws DamagedPiece.
// done(n), when given, runs on the piece's thread once its content is all in `output`.
void InflatePieces(const File& output, const std::vector<int64_t>& offsets,
                   const std::function<File(int32_t)>& open, CopyObserver& observer,
                   const std::function<void(int32_t)>& done = nullptr);

}  // namespace qarvo
