#include "platform/paths.h"

namespace qarvo {

std::string AddTrailingBackslash(std::string_view dir) {
  std::string result(dir);
  if (result.empty() || result.back() != kPathSeparator) {
    result.push_back(kPathSeparator);
  }
  return result;
}

std::string FileNameOf(std::string_view path) {
  const size_t slash = path.rfind(kPathSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string StripExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string BaseNameOf(std::string_view path) {
  return StripExtension(FileNameOf(path));
}

}  // namespace qarvo
