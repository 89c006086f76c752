#include <io.h>

#include "cli/Terminal.h"
#include "run/SystemHeadersWin32.h"

namespace zel::cli {

bool SameDestination(std::FILE* a, std::FILE* b) {
  const HANDLE first = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(a)));
  const HANDLE second = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(b)));
  if (first == second) return true;
  // One disk file through two handles (`2>&1` duplicates the handle).
  BY_HANDLE_FILE_INFORMATION one{}, other{};
  return ::GetFileInformationByHandle(first, &one) && ::GetFileInformationByHandle(second, &other) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }

bool CanRedraw(std::FILE* stream) {
  if (!IsTerminal(stream)) return false;
  // The progress bar redraws with escape sequences: the console must take
  // them. One that cannot (Windows before 10, some consoles of Wine) gets
  // progress as lines rather than the sequences as text.
  HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  return ::GetConsoleMode(console, &mode) &&
         ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
          ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  if (!::GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

// Windows raises no signal for a closed pipe: the write fails. The
// program's code page is UTF-8 (its manifest says so); the console's is
// made the same.
void PrepareOutput() {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
}

}  // namespace zel::cli
