// Opening the boot download's command file: an existing regular file,
// for reading and writing, shared with nobody. Each platform provides it
// in its own file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "run/FailureCause.h"

namespace zel {

struct CFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using CCommandFile = std::unique_ptr<std::FILE, CFileCloser>;

// Null, with cause saying why, when the file is missing, not a regular
// file, read-only (no write permission, whoever runs the tool) or held by
// another program.
CCommandFile OpenCommandFile(const std::string& path, CFailureCause* cause = nullptr);

}  // namespace zel
