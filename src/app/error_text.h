#pragma once

#include <QString>

namespace qarvo::ui {

// The system's reason for a failed file operation in words a Chinese user reads, with the
// system's own text added for the reasons without a translation here. The one place that words
// reasons: message boxes and the log's reason lines of every window use it.
QString ReasonText(int error_number);

// The log line that follows a job's own failure line when a file operation failed it: the file
// (when known) and the reason.
QString FailureReasonLine(const QString& path, int error_number);

}  // namespace qarvo::ui
