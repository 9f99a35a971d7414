#include "cli/run_qarvo.h"

#include <sys/wait.h>

#include <cstdio>

#include "support/test_support.h"

namespace qarvo::test {

namespace {

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (const char c : arg) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

}  // namespace

CliResult RunQarvo(const std::vector<std::string>& args, const std::string& stdout_to) {
  TempDir scratch;
  const std::string err_path = scratch.File("stderr");
  std::string command = Quote(QARVO_CLI_PATH);
  for (const auto& arg : args) {
    command += " " + Quote(arg);
  }
  command += " 2>" + Quote(err_path);
  if (!stdout_to.empty()) {
    command += " >" + Quote(stdout_to);
  }
  CliResult run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.out.append(buffer, got);
  }
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ReadFile(err_path);
  return run;
}

}  // namespace qarvo::test
