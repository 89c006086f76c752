// The boot download's command file as a run's input, checked before any
// port opens: it opens as the engine will open it (read and write, shared
// with nobody), and it holds the two sections the download sends. The
// engine reads the file itself as it runs.
#pragma once

#include <memory>
#include <string>

#include "boot/CommandFileOpen.h"
#include "run/FailureCause.h"
#include "run/RunInput.h"

namespace zel {

// The command file opened as OpenCommandFile opens it, and its sections
// checked; null, with why in failure (Unreadable, with the line and column
// of what is wrong, for the sections).
CCommandFile OpenCheckedCommandFile(const std::string& path, CFailureCause& failure);

class CCommandFileInput final : public CRunInput {
 public:
  // Null, with why in failure, as OpenCheckedCommandFile says.
  static std::shared_ptr<CCommandFileInput> Take(const std::string& path, CFailureCause& failure);

  const std::string& Path() const override { return m_path; }
  uint64_t Size() const override { return m_size; }
  std::string Sha256() const override { return {}; }
  bool FileChangedSince() const override { return false; }

 private:
  std::string m_path;
  uint64_t m_size = 0;
};

}  // namespace zel
