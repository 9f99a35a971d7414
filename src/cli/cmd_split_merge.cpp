#include <cstdio>

#include "cli/commands.h"

namespace qarvo::cli {

int RunSplit(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

int RunMerge(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

}  // namespace qarvo::cli
