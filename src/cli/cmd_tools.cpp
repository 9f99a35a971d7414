#include <cstdio>

#include "cli/commands.h"

namespace qarvo::cli {

int RunBundle(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

int RunCompare(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

int RunMp3Cut(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

}  // namespace qarvo::cli
