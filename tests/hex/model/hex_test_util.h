#pragma once

#include <functional>
#include <string>

#include "hex/model/hex_error.h"

namespace qarvo::test {

// The message of the EMPHexEditor that `action` throws, or "" when it throws none.
inline std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const hex::EMPHexEditor& e) {
    return e.what();
  }
  return "";
}

}  // namespace qarvo::test
