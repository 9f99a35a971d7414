#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qarvo::test {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
// True when `part` occurs in `text`: a line in a command's output, a name in a message.
inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t size, uint32_t seed);
// The names of the entries of a folder, sorted: what a job left there.
std::vector<std::string> NamesIn(const std::string& dir);
// The folder of the interoperability vectors.
std::string VectorsDir();

// The id of a process that has ended and been waited for, so that nothing runs under it: what
// a leftover temporary file of a dead process carries in its name.
pid_t EndedProcessId();

// A local calendar time, fields as written (no normalisation).
std::tm LocalTm(int year, int month, int day, int hour, int minute, int second);

}  // namespace qarvo::test
