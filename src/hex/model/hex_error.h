#pragma once

#include <stdexcept>
#include <string>

namespace qarvo::hex {

// Every refusal of the hex control: a bad setting, a position outside the data, a load that
// failed or was cancelled. The message is the control's own text (UTF-8).
class EMPHexEditor : public std::runtime_error {
 public:
  explicit EMPHexEditor(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qarvo::hex
