#pragma once

#include <string>
#include <vector>

namespace qarvo::test {

struct CliResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the real command-line executable and keeps stdout and stderr apart. With `stdout_to`,
// stdout goes to that file instead (and `out` stays empty).
CliResult RunQarvo(const std::vector<std::string>& args, const std::string& stdout_to = "");

}  // namespace qarvo::test
