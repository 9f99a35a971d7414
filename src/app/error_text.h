#pragma once

#include <QString>

namespace qarvo::ui {

// The system's reason for a failed file operation in words a Chinese user reads, with the
// system's own text added for the reasons without a translation here.
QString ReasonText(int error_number);

}  // namespace qarvo::ui
