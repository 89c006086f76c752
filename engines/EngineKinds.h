// The protocols the front ends run, by name: how to make an engine of
// each, and how to take and check the file its runs serve before any port
// opens (with its digest, where it has one). The station, the windows and
// the command line make their engines here, so a protocol is one entry.
#pragma once

#include <memory>
#include <string>

#include "run/FailureCause.h"
#include "run/RunInput.h"
#include "run/ZELWorkingThread.h"

namespace zel {

struct CEngineKind {
  const char* name;  // "upgrade", "boot"
  std::unique_ptr<CZELWorkingThread> (*make)();
  // What a run of this kind serves, read or checked now; null, with why in
  // failure, when the file is refused.
  std::shared_ptr<CRunInput> (*take)(const std::string& path, CFailureCause& failure);
};

// The kind a station loads boxes with: the upgrade.
const CEngineKind& UpgradeKind();
const CEngineKind& BootKind();

}  // namespace zel
