// What the command line asks of the terminal, each platform answering in
// its own file.
#pragma once

#include <cstdio>

namespace zel::cli {

// True when the stream is a terminal, where a progress bar can redraw.
bool IsTerminal(std::FILE* stream);

}  // namespace zel::cli
