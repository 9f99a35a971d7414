#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job_host.h"
#include "jobs/worker.h"

namespace qarvo {

struct SumsList;

// The prefix of the check job's failure lines.
inline constexpr const char* kSumsCheckJob = "校验文件检查:";

// The file a name in a checksum file stands for, as a path to open: relative names from the
// checksum file's folder `dir`. A name is taken as UTF-8 when it is valid UTF-8 and as GB18030
// (a list made on a Chinese Windows system) otherwise; where both readings, or a name with
// Windows "\" separators read with "/", could be meant, the first that names an existing file
// wins. `shown` gets the name as one log line shows it (control characters escaped).
std::string ListedFilePath(const std::string& dir, std::string_view raw_name, std::string* shown);

// Checks every file a checksum file lists (.sha256, .sha1, .md5 in the GNU or BSD format, .sfv;
// another name is read by the length of each hash) and says of each whether it matches, is
// missing or cannot be read, then sums up. Lines that do not parse are counted and named,
// never a reason to stop. Succeeds only when every listed file matches and every line parsed;
// nothing is written.
class TCheckSums : public WorkerThread {
 public:
  static std::shared_ptr<TCheckSums> Create(const std::string& sums_file, JobHost host);

  TCheckSums(const std::string& sums_file, JobHost host);

 protected:
  JobResult Execute() override;

 private:
  struct Tally {
    size_t matched = 0;
    size_t differing = 0;
    size_t missing = 0;
    size_t unreadable = 0;
  };
  // The list's text, or how the job ends when it cannot be read or is too large for a list.
  std::optional<JobResult> ReadList(std::string& text);
  // One line per listed file, in the list's order.
  Tally CheckListed(const SumsList& list);
  void LogSummary(const SumsList& list, const Tally& tally);

  std::string sums_file_;
};

}  // namespace qarvo
