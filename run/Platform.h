// Small services of the operating system that the core needs, each
// platform providing them in its own file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// Opens the null device on each standard stream (0 to 2) that is closed,
// so that no port or file opened later takes its number and receives what
// is printed. The first thing every program's main does.
void ReserveStandardStreams();

// The system's id of the calling thread.
uint32_t CurrentThreadId();

// The system's words for one of its error codes (GetLastError's on
// Windows), without the closing full stop and line end.
std::string SystemErrorText(unsigned long code);

// Writes bytes to a new file in the temporary directory whose name ends in
// suffix; returns its path, or an empty text when it could not be written.
std::string WriteTemporaryFile(const std::vector<uint8_t>& bytes, const std::string& suffix);

// This computer's name on the network; empty when the system gives none.
std::string HostName();

// path made absolute against the current directory, without resolving
// links; path itself when it cannot be.
std::string AbsolutePath(const std::string& path);

}  // namespace zel
