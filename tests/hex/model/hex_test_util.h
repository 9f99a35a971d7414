#pragma once

#include <functional>
#include <string>

#include "hex/model/hex_error.h"
#include "hex/model/hex_model.h"

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

// Changes the model's settings as `edit` says, through the model's one change call.
inline void ChangeSettings(hex::HexEditorModel& model,
                           const std::function<void(hex::HexEditorSettings&)>& edit) {
  const hex::HexEditorSettings before = model.AllSettings();
  hex::HexEditorSettings wanted = before;
  edit(wanted);
  model.ChangeSettings(before, wanted);
}

}  // namespace qarvo::test
