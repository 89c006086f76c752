#include "boot/CommandFileInput.h"

#include <filesystem>

#include "boot/CommandFile.h"
#include "boot/ZELBootThread.h"

namespace zel {

CCommandFile OpenCheckedCommandFile(const std::string& path, CFailureCause& failure) {
  CCommandFile file = OpenCommandFile(path, &failure);
  if (!file) return file;
  if (std::string problem = CheckSections(file.get(), CZELBootThread::kSectionRoom); !problem.empty()) {
    failure = {CauseKind::Unreadable, path, std::move(problem)};
    file.reset();
  }
  return file;
}

std::shared_ptr<CCommandFileInput> CCommandFileInput::Take(const std::string& path, CFailureCause& failure) {
  if (!OpenCheckedCommandFile(path, failure)) return nullptr;
  auto input = std::make_shared<CCommandFileInput>();
  input->m_path = path;
  std::error_code ec;
  input->m_size = std::filesystem::file_size(path, ec);
  return input;
}

}  // namespace zel
