#include "cli/InputChecks.h"

#include <filesystem>

#include "boot/CommandFile.h"
#include "boot/CommandFileOpen.h"
#include "boot/ZELBootThread.h"

namespace zel::cli {
namespace {

constexpr uint64_t kLargestImage = uint64_t{1} << 32;

// The cause's words without the "Cause: " in front.
std::string Why(const CFailureCause& cause) {
  const std::string line = DescribeCause(cause);
  return line.substr(line.find(": ") + 2);
}

}  // namespace

std::shared_ptr<CImageCopy> TakeImage(const std::string& path, std::string& refusal) {
  CFailureCause failure;
  auto image = CImageCopy::Take(path, failure);
  if (!image)
    refusal = Why(failure);
  else if (image->Size() == 0)
    refusal = path + ": the image is empty";
  else if (image->Size() > kLargestImage)
    refusal = path + ": the image is larger than 4 GiB, past what the box can ask for";
  return refusal.empty() ? image : nullptr;
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
  uint8_t section[CZELBootThread::kSectionRoom];
  if (ReadNextSection(file.get(), section, sizeof section) == 0 ||
      ReadNextSection(file.get(), section, sizeof section) == 0)
    return path + ": fewer than two sections (a title, a header, hexadecimal lines and an empty line each)";
  return {};
}

}  // namespace zel::cli
