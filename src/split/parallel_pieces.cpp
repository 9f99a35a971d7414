#include "split/parallel_pieces.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "codec/block_pipe.h"
#include "codec/envelope.h"
#include "split/header.h"

namespace qarvo {

namespace {

std::atomic<int> g_piece_threads{0};

// Another piece failed: the thread that meets this stops where it is.
class PiecesStopped : public std::runtime_error {
 public:
  PiecesStopped() : std::runtime_error("stopped after another piece failed") {}
};

// The worker's observer, shared by the piece threads.
class SharedObserver : public CopyObserver {
 public:
  explicit SharedObserver(CopyObserver& inner) : inner_(inner) {}
  std::unique_lock<std::mutex> BeforeBlock() override {
    if (stopped_.load()) {
      throw PiecesStopped();
    }
    auto hold = inner_.BeforeBlock();
    // A pause may have held this thread while another piece failed.
    if (stopped_.load()) {
      throw PiecesStopped();
    }
    return hold;
  }
  void Advanced(int64_t bytes) override {
    std::lock_guard<std::mutex> lock(progress_mutex_);
    inner_.Advanced(bytes);
  }
  void Stop() { stopped_.store(true); }
  bool Stopped() const { return stopped_.load(); }

 private:
  CopyObserver& inner_;
  std::mutex progress_mutex_;
  std::atomic<bool> stopped_{false};
};

}  // namespace

int PoolThreads() {
  int threads = g_piece_threads.load();
  if (threads <= 0) {
    threads = static_cast<int>(std::thread::hardware_concurrency());
  }
  return std::clamp(threads, 1, kMaxPieceThreads);
}

int PieceThreads(int32_t pieces) {
  int threads = PoolThreads();
  if (pieces < threads) {
    threads = std::max<int32_t>(pieces, 1);
  }
  return threads;
}

void SetPieceThreads(int threads) {
  g_piece_threads.store(threads);
}

void RunPieces(int32_t count, int threads, const std::function<void(int32_t)>& open,
               const std::function<void(int32_t, CopyObserver&)>& work, CopyObserver& observer) {
  SharedObserver shared(observer);
  std::mutex dispatch_mutex;
  int32_t next = 1;
  std::mutex failure_mutex;
  std::exception_ptr failure;
  const auto fail = [&] {
    {
      std::lock_guard<std::mutex> lock(failure_mutex);
      if (!failure) {
        failure = std::current_exception();
      }
    }
    shared.Stop();
  };
  const auto body = [&] {
    for (;;) {
      int32_t n = 0;
      try {
        // Taking the next number and opening its piece under one lock keeps the pieces' lines
        // in piece order whichever thread gets there first.
        std::lock_guard<std::mutex> lock(dispatch_mutex);
        if (shared.Stopped() || next > count) {
          return;
        }
        n = next++;
        open(n);
      } catch (...) {
        fail();
        return;
      }
      try {
        work(n, shared);
      } catch (...) {
        fail();
        return;
      }
    }
  };

  const int helpers = std::clamp(threads, 1, std::max<int32_t>(count, 1)) - 1;
  std::vector<std::thread> pool;
  pool.reserve(static_cast<size_t>(helpers));
  try {
    for (int i = 0; i < helpers; ++i) {
      pool.emplace_back(body);
    }
  } catch (...) {
    // Fewer threads than asked is still a complete job.
  }
  body();
  for (std::thread& thread : pool) {
    thread.join();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void InflatePieces(const File& output, const std::vector<int64_t>& offsets,
                   const std::function<File(int32_t)>& open, CopyObserver& observer,
                   const std::function<void(int32_t)>& done) {
  const auto count = static_cast<int32_t>(offsets.size()) - 1;
  std::vector<File> pieces(static_cast<size_t>(std::max<int32_t>(count, 0)));
  RunPieces(
      count, PieceThreads(count), [&](int32_t n) { pieces[static_cast<size_t>(n - 1)] = open(n); },
      [&](int32_t n, CopyObserver& shared) {
        File& piece = pieces[static_cast<size_t>(n - 1)];
        const int64_t payload = piece.Size() - static_cast<int64_t>(kHeaderTrailerSize);
        if (payload <= 0) {
          throw FileError("\"" + piece.path() + "\" is too short to be a piece", piece.path(), 0);
        }
        const int64_t end = offsets[static_cast<size_t>(n)];
        int64_t position = offsets[static_cast<size_t>(n - 1)];
        try {
          DecompressEnvelope(
              piece, payload,
              [&](const uint8_t* data, size_t size) {
                // Never into the next piece's place, whatever the stream says.
                if (position + static_cast<int64_t>(size) > end) {
                  throw CompressionError();
                }
                WriteAt(output, data, size, position);
                position += static_cast<int64_t>(size);
              },
              &shared);
        } catch (const CompressionError&) {
          throw DamagedPiece(n);
        }
        if (position != end) {
          throw DamagedPiece(n);
        }
        piece.Close();
        if (done) {
          done(n);
        }
      },
      observer);
}

}  // namespace qarvo
