#pragma once

#include <string>
#include <vector>

namespace qarvo::test {

struct CliResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the real command-line executable and keeps stdout and stderr apart.
CliResult RunQarvo(const std::vector<std::string>& args);

}  // namespace qarvo::test
