#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string_view>

#include "cli/Terminal.h"

namespace zel::cli {

bool SameDestination(std::FILE* a, std::FILE* b) {
  struct stat first {
  }, second{};
  return ::fstat(::fileno(a), &first) == 0 && ::fstat(::fileno(b), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool CanRedraw(std::FILE* stream) {
  const char* term = std::getenv("TERM");
  return IsTerminal(stream) && !(term && std::string_view(term) == "dumb");
}

void EraseLines(std::FILE* stream, int lines) {
  // Up to the first line, then clear to the end of the screen.
  if (lines > 1) std::fprintf(stream, "\033[%dA", lines - 1);
  std::fputs("\r\033[J", stream);
}

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void PrepareOutput() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace zel::cli
