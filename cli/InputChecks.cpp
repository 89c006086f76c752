#include "cli/InputChecks.h"

#include <filesystem>

#include "boot/CommandFile.h"
#include "boot/CommandFileOpen.h"
#include "boot/ZELBootThread.h"

namespace zel::cli {
namespace {

// The cause's words without the "Cause: " in front.
std::string Why(const CFailureCause& cause) {
  const std::string line = DescribeCause(cause);
  return line.substr(line.find(": ") + 2);
}

}  // namespace

std::shared_ptr<CImageCopy> TakeImage(const std::string& path, std::string& refusal) {
  CFailureCause failure;
  auto image = CImageCopy::Take(path, failure);
  if (!image) refusal = Why(failure);
  return image;
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

std::string CheckCommandFile(const std::string& path) {
  CFailureCause cause;
  CCommandFile file = OpenCommandFile(path, &cause);
  if (!file) {
    const bool ownWords = cause.kind == CauseKind::PermissionDenied || cause.kind == CauseKind::Busy;
    return Why(cause) + (ownWords && !cause.systemText.empty() ? " (" + cause.systemText + ")" : "");
  }
  const std::string problem = CheckSections(file.get(), CZELBootThread::kSectionRoom);
  return problem.empty() ? problem : path + ": " + problem;
}

}  // namespace zel::cli
