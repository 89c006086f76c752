#include <io.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "cli/Terminal.h"
#include "run/SystemHeadersWin32.h"

namespace zel::cli {
namespace {

HANDLE HandleOf(std::FILE* stream) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))); }

bool SamePlace(COORD a, COORD b) { return a.X == b.X && a.Y == b.Y; }

// Whether the console acts on escape sequences. Asking is not enough: some
// consoles (Wine's) accept virtual-terminal processing, report it on, and
// still print the sequences as text. So a sequence that changes nothing
// where it is honoured is written, and the cursor tells: where it moved,
// the text is blanked again and the console is drawn through its own calls.
bool ActsOnEscapes(HANDLE console) {
  DWORD mode = 0;
  if (!::GetConsoleMode(console, &mode)) return false;
  if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) &&
      !::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
    return false;
  CONSOLE_SCREEN_BUFFER_INFO before{}, after{};
  if (!::GetConsoleScreenBufferInfo(console, &before)) return false;
  static constexpr wchar_t kNoChange[] = L"\x1b[0m";
  constexpr DWORD kLength = sizeof kNoChange / sizeof kNoChange[0] - 1;
  DWORD done = 0;
  if (before.dwCursorPosition.X + static_cast<SHORT>(kLength) >= before.dwSize.X ||
      !::WriteConsoleW(console, kNoChange, kLength, &done, nullptr) ||
      !::GetConsoleScreenBufferInfo(console, &after))
    return false;  // no room to try on this line: the console's own calls work everywhere
  if (SamePlace(before.dwCursorPosition, after.dwCursorPosition)) return true;
  ::FillConsoleOutputCharacterW(console, L' ', kLength, before.dwCursorPosition, &done);
  ::SetConsoleCursorPosition(console, before.dwCursorPosition);
  ::SetConsoleMode(console, mode);
  return false;
}

// What each console handle was found to do, so that it is tried once.
bool ActsOnEscapesRemembered(HANDLE console) {
  static std::mutex mutex;
  static std::map<HANDLE, bool> found;
  std::lock_guard lock(mutex);
  const auto known = found.find(console);
  if (known != found.end()) return known->second;
  return found[console] = ActsOnEscapes(console);
}

}  // namespace

bool SameDestination(std::FILE* a, std::FILE* b) {
  const HANDLE first = HandleOf(a);
  const HANDLE second = HandleOf(b);
  if (first == second) return true;
  // One disk file through two handles (`2>&1` duplicates the handle).
  BY_HANDLE_FILE_INFORMATION one{}, other{};
  return ::GetFileInformationByHandle(first, &one) && ::GetFileInformationByHandle(second, &other) &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }

bool CanRedraw(std::FILE* stream) {
  // Either way a console redraws: with escape sequences where it acts on
  // them, through its own calls where it does not.
  DWORD mode = 0;
  if (!IsTerminal(stream) || !::GetConsoleMode(HandleOf(stream), &mode)) return false;
  ActsOnEscapesRemembered(HandleOf(stream));
  return true;
}

void EraseLines(std::FILE* stream, int lines) {
  std::fflush(stream);
  const HANDLE console = HandleOf(stream);
  if (ActsOnEscapesRemembered(console)) {
    if (lines > 1) std::fprintf(stream, "\033[%dA", lines - 1);
    std::fputs("\r\033[J", stream);
    return;
  }
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(console, &info)) return;
  const COORD first{0, static_cast<SHORT>(std::max(0, info.dwCursorPosition.Y - (lines - 1)))};
  const DWORD cells =
      static_cast<DWORD>(info.dwCursorPosition.Y - first.Y + 1) * static_cast<DWORD>(info.dwSize.X);
  DWORD done = 0;
  ::FillConsoleOutputCharacterW(console, L' ', cells, first, &done);
  ::FillConsoleOutputAttribute(console, info.wAttributes, cells, first, &done);
  ::SetConsoleCursorPosition(console, first);
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(HandleOf(stream), &info)) return 0;
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
