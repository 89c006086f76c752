#include "cli/InputChecks.h"

#include <filesystem>

namespace zel::cli {
namespace {

// Why a file is refused: the check's own words where it gave them, else
// the cause's, with the system's words for a file that is denied or held.
std::string Why(const CFailureCause& cause) {
  if (cause.kind == CauseKind::Unreadable && !cause.systemText.empty())
    return cause.subject + ": " + cause.systemText;
  const bool systemWords = cause.kind == CauseKind::PermissionDenied || cause.kind == CauseKind::Busy;
  return CauseWords(cause) + (systemWords && !cause.systemText.empty() ? " (" + cause.systemText + ")" : "");
}

}  // namespace

std::shared_ptr<CRunInput> TakeInput(const CEngineKind& kind, const std::string& path, std::string& refusal) {
  CFailureCause failure;
  auto input = kind.take(path, failure);
  if (!input) refusal = Why(failure);
  return input;
}

std::string CheckLogPath(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    return path + ": not a regular file";
  return {};
}

std::string CheckLogIsNoInput(const std::string& logPath, const std::string& input) {
  std::error_code ec;
  if (std::filesystem::equivalent(logPath, input, ec) && !ec)
    return logPath + ": this is the file the run reads; the log would overwrite it";
  return {};
}

}  // namespace zel::cli
