// "另存为..." of the hex view: the content written through SaveContentCopy, block by block into
// a temporary file that is flushed and renamed. Prints the seconds of the save alone.
// Usage: save_bench SOURCE OUT
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "hex/model/save_copy.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: save_bench SOURCE OUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto t0 = std::chrono::steady_clock::now();
  qarvo::hex::SaveContentCopy(
      [&content](int64_t position, std::span<uint8_t> out) {
        std::memcpy(out.data(), content.data() + position, out.size());
      },
      static_cast<int64_t>(content.size()), argv[2], {});
  const auto t1 = std::chrono::steady_clock::now();
  std::printf("%.3f\n", std::chrono::duration<double>(t1 - t0).count());
  return 0;
}
