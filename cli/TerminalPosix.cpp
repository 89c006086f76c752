#include <unistd.h>

#include "cli/Terminal.h"

namespace zel::cli {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

}  // namespace zel::cli
