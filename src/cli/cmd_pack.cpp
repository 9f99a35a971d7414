#include <cstdio>

#include "cli/commands.h"

namespace qarvo::cli {

int RunPack(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

int RunUnpack(const std::vector<std::string>&) {
  std::fputs("qarvo: this command is not built yet\n", stderr);
  return kExitNotStarted;
}

}  // namespace qarvo::cli
