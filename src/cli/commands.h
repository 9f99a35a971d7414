#pragma once

#include <string>
#include <vector>

namespace qarvo::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;          // the job ended with its success line
inline constexpr int kExitJobFailed = 1;   // a failure or refusal line, or a mismatch
inline constexpr int kExitNotStarted = 2;  // usage error or validation refusal

// Each takes the arguments after the subcommand name.
int RunSplit(const std::vector<std::string>& args);
int RunMerge(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunPack(const std::vector<std::string>& args);
int RunUnpack(const std::vector<std::string>& args);
int RunBundle(const std::vector<std::string>& args);
int RunCompare(const std::vector<std::string>& args);
int RunCheck(const std::vector<std::string>& args);
int RunMp3Cut(const std::vector<std::string>& args);

}  // namespace qarvo::cli
