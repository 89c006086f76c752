// What the command line checks before any port opens, so that the operator
// learns of a bad file before switching the box on. Each check returns an
// empty text when the input is fine, else why it is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engines/EngineKinds.h"

namespace zel::cli {

// What a run of kind serves, taken and checked now (the upgrade's image,
// its copy begun; the boot download's command file, readable, writable,
// held by no other program, with its two sections); null, with why in
// refusal, when the file is refused.
std::shared_ptr<CRunInput> TakeInput(const CEngineKind& kind, const std::string& path, std::string& refusal);
// A new file, or a regular one: never a FIFO or a device, whose opening
// would block.
std::string CheckLogPath(const std::string& path);
// Refuses a log that is one of the files the run reads (through links and
// hard links alike): opening it to write would destroy what is served.
std::string CheckLogIsNoInput(const std::string& logPath, const std::string& input);

}  // namespace zel::cli
