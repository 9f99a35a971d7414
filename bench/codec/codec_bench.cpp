// Throughput of the file digests: MD5 of a file against the figure the script measures for
// md5sum, and the CRC-32 of a file (65521-byte reads) against zlib's crc32 over 64 KiB reads.
// Prints one line per measurement: "<name> <seconds> <MiB/s> <value>", best of the given runs.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/digest.h"
#include "platform/file.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best time of one measured step over all runs; the steps of a run follow each other, so a
// busy machine slows every tool alike.
struct Step {
  Step(const char* step_name, std::string (*step_run)(const std::string& path))
      : name(step_name), run(step_run) {}
  const char* name;
  std::string (*run)(const std::string& path);
  double best = 1e300;
  std::string value;
};

std::string Md5sumOfFile(const std::string& path) {
  const std::string command = "md5sum '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    std::perror("md5sum");
    std::exit(1);
  }
  char line[256] = {};
  const bool read = std::fgets(line, sizeof(line), pipe) != nullptr;
  if (::pclose(pipe) != 0 || !read) {
    std::fprintf(stderr, "md5sum failed\n");
    std::exit(1);
  }
  return std::string(line, 32);
}

std::string ZlibCrcOfFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::vector<unsigned char> buffer(65536);
  uLong crc = crc32(0, nullptr, 0);
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) {
      break;
    }
    crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
  }
  ::close(fd);
  return qarvo::Crc32Text(static_cast<uint32_t>(crc));
}

// Writes `size` bytes of cheap pseudo-random data (xorshift) in 1 MiB blocks.
void MakeFile(const std::string& path, int64_t size) {
  qarvo::File out(path, qarvo::OpenMode::Create, qarvo::Share::Exclusive);
  std::vector<uint64_t> block(1 << 17);
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (int64_t done = 0; done < size;) {
    for (auto& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    const size_t step = static_cast<size_t>(
        std::min<int64_t>(size - done, static_cast<int64_t>(block.size() * sizeof(uint64_t))));
    out.Write(block.data(), step);
    done += static_cast<int64_t>(step);
  }
  out.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "make") {
    MakeFile(argv[2], std::atoll(argv[3]));
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s make FILE BYTES | %s FILE RUNS\n", argv[0], argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int runs = std::atoi(argv[2]);
  const int64_t bytes = qarvo::FileSizeOf(path);
  Step steps[] = {
      {"md5sum", Md5sumOfFile},
      {"qarvo-md5", [](const std::string& p) { return qarvo::Md5Hex(qarvo::Md5OfFile(p)); }},
      {"zlib-crc32", ZlibCrcOfFile},
      {"qarvo-crc32", [](const std::string& p) { return qarvo::Crc32OfFileText(p); }},
  };
  for (int i = 0; i < runs; ++i) {
    for (auto& step : steps) {
      const auto start = Clock::now();
      step.value = step.run(path);
      step.best = std::min(step.best, std::chrono::duration<double>(Clock::now() - start).count());
    }
  }
  for (const auto& step : steps) {
    std::printf("%s %.3f %.1f %s\n", step.name, step.best,
                static_cast<double>(bytes) / 1048576.0 / step.best, step.value.c_str());
  }
  return 0;
}
