#include "engines/EngineKinds.h"

#include "boot/CommandFileInput.h"
#include "boot/ZELBootThread.h"
#include "upgrade/ImageCopy.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel {
namespace {

const CEngineKind kKinds[] = {
    {"upgrade", [] { return std::unique_ptr<CZELWorkingThread>(std::make_unique<CZELUpgradeThread>()); },
     [](const std::string& path, CFailureCause& failure) {
       return std::shared_ptr<CRunInput>(CImageCopy::Take(path, failure));
     }},
    {"boot", [] { return std::unique_ptr<CZELWorkingThread>(std::make_unique<CZELBootThread>()); },
     [](const std::string& path, CFailureCause& failure) {
       return std::shared_ptr<CRunInput>(CCommandFileInput::Take(path, failure));
     }},
};

}  // namespace

const CEngineKind& UpgradeKind() { return kKinds[0]; }
const CEngineKind& BootKind() { return kKinds[1]; }

}  // namespace zel
