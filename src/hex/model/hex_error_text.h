#pragma once

#include <string>

namespace qarvo::hex {

// The text a message box shows for a refusal of the control. The control's exceptions carry
// their own (mostly English) messages, which callers and tests rely on; the boxes speak the
// program's language, so the messages a user can meet are put into Chinese here, and those
// already in Chinese pass through.
std::string UserErrorText(const std::string& message);

}  // namespace qarvo::hex
