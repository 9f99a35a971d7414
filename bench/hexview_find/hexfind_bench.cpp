// The hex view's search over a buffer in memory against grep over the same file in the page
// cache: a 12-byte pattern that lies at the very end of the data, once as it is and once with
// case ignored. Each run times every contender in turn, so a busy machine slows them alike;
// the best run of each counts.
// Usage: hexfind_bench make FILE SIZE   writes SIZE random bytes ending in the pattern
//        hexfind_bench FILE RUNS        prints "<name> <seconds> <result>" per contender
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "hex/model/find.h"

namespace {

using Clock = std::chrono::steady_clock;
using qarvo::hex::SearchSettings;
using qarvo::hex::THexSearch;

const std::string kPattern = "QarvoNeedle!";  // 12 bytes, no newline: grep sees one line

[[noreturn]] void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

void Make(const std::string& path, size_t size) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    Fail(path);
  }
  std::mt19937_64 random(42);
  std::vector<uint64_t> block(1 << 17);
  size_t left = size - kPattern.size();
  while (left > 0) {
    for (auto& word : block) {
      word = random();
    }
    const size_t n = std::min(left, block.size() * sizeof(uint64_t));
    if (std::fwrite(block.data(), 1, n, out) != n) {
      Fail(path);
    }
    left -= n;
  }
  if (std::fwrite(kPattern.data(), 1, kPattern.size(), out) != kPattern.size() ||
      std::fclose(out) != 0) {
    Fail(path);
  }
}

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    Fail(path);
  }
  const off_t size = ::lseek(fd, 0, SEEK_END);
  std::vector<std::uint8_t> data(static_cast<size_t>(size));
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t got =
        ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
    if (got <= 0) {
      Fail(path);
    }
    done += static_cast<size_t>(got);
  }
  ::close(fd);
  return data;
}

// The count grep prints for the file; the C locale keeps grep on its fastest path.
std::string Grep(const std::string& flags, const std::string& pattern, const std::string& path) {
  const std::string command = "LC_ALL=C grep " + flags + " '" + pattern + "' '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    Fail("grep");
  }
  char line[64] = {};
  const bool read = std::fgets(line, sizeof(line), pipe) != nullptr;
  ::pclose(pipe);  // grep answers 1 when it counts nothing; the count shows that
  std::string count = read ? line : "?";
  while (!count.empty() && count.back() == '\n') {
    count.pop_back();
  }
  return count;
}

struct Contender {
  Contender(std::string contender_name, std::function<std::string()> contender_run)
      : name(std::move(contender_name)), run(std::move(contender_run)) {}
  std::string name;
  std::function<std::string()> run;
  double best = 1e300;
  std::string result;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "make") {
    Make(argv[2], std::stoull(argv[3]));
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: hexfind_bench make FILE SIZE | hexfind_bench FILE RUNS\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = std::atoi(argv[2]);
  const std::vector<std::uint8_t> data = ReadWhole(path);
  const auto last = static_cast<int64_t>(data.size()) - 1;

  THexSearch search;
  const std::string exact = search.PrepareSearchData(kPattern, false, true, SearchSettings{});
  THexSearch folded_search;
  const std::string folded = folded_search.PrepareSearchData(kPattern, true, true, {});
  int events = 0;
  const THexSearch::Progress count_events = [&events](int) { ++events; };

  std::vector<Contender> contenders;
  contenders.emplace_back("grep-F", [&] { return Grep("-c -F", kPattern, path); });
  contenders.emplace_back("Find",
                          [&] { return std::to_string(search.Find(data, exact, 0, last, false)); });
  contenders.emplace_back("Find+progress", [&] {
    return std::to_string(search.Find(data, exact, 0, last, false, count_events));
  });
  contenders.emplace_back("grep-iF", [&] { return Grep("-c -i -F", folded, path); });
  contenders.emplace_back(
      "Find-i", [&] { return std::to_string(folded_search.Find(data, folded, 0, last, true)); });
  contenders.emplace_back("Find-i+progress", [&] {
    return std::to_string(folded_search.Find(data, folded, 0, last, true, count_events));
  });
  for (int run = 0; run < runs; ++run) {
    for (Contender& contender : contenders) {
      const auto t0 = Clock::now();
      contender.result = contender.run();
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      contender.best = std::min(contender.best, seconds);
    }
  }
  for (const Contender& contender : contenders) {
    std::printf("%s %.4f %s\n", contender.name.c_str(), contender.best, contender.result.c_str());
  }
  std::printf("expected %lld\n", static_cast<long long>(data.size() - kPattern.size()));
  return 0;
}
