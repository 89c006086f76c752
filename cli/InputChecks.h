// What the command line checks before any port opens, so that the operator
// learns of a bad file before switching the box on. Each check returns an
// empty text when the input is fine, else why it is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "upgrade/ImageCopy.h"

namespace zel::cli {

// The copy of the image the run serves, begun now; null, with why in
// refusal, when the file is none to serve.
std::shared_ptr<CImageCopy> TakeImage(const std::string& path, std::string& refusal);
// A new file, or a regular one: never a FIFO or a device, whose opening
// would block.
std::string CheckLogPath(const std::string& path);
// Refuses a log that is one of the files the run reads (through links and
// hard links alike): opening it to write would destroy what is served.
std::string CheckLogIsNoInput(const std::string& logPath, const std::string& input);
// Readable, writable, held by no other program, and with the two sections
// the boot download sends from.
std::string CheckCommandFile(const std::string& path);

}  // namespace zel::cli
