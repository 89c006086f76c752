// The upgrade as a station runs it, without its pause before the success.
#pragma once

#include <chrono>

#include "engines/EngineKinds.h"

namespace zel::test {

inline const CEngineKind& QuickUpgradeKind() {
  static const CEngineKind kind{"upgrade",
                                [] {
                                  auto engine = UpgradeKind().make();
                                  engine->SetPauseBeforeSuccess(std::chrono::milliseconds(0));
                                  return engine;
                                },
                                UpgradeKind().take};
  return kind;
}

}  // namespace zel::test
