
#include <atomic>
#include <cstdio>

#include "run/Platform.h"
#include "run/SystemHeadersWin32.h"

namespace zel {

// A Windows handle never takes a C runtime stream's number.
void ReserveStandardStreams() {}

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

std::string SystemErrorText(unsigned long code) {
  char text[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, sizeof text - 1, nullptr);
  std::string words = text;
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
    words.pop_back();
  return words;
}

std::string WriteTemporaryFile(const std::vector<uint8_t>& bytes, const std::string& suffix) {
  static std::atomic<unsigned> counter{0};
  char directory[MAX_PATH + 1] = {};
  if (::GetTempPathA(sizeof directory, directory) == 0) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%sboxfeeder-%lu-%u%s", directory, ::GetCurrentProcessId(), counter++,
                  suffix.c_str());
    HANDLE file = ::CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return {};
    }
    DWORD written = 0;
    const bool ok = bytes.empty() ||
                    (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size());
    ::CloseHandle(file);
    if (!ok) {
      ::DeleteFileA(name);
      return {};
    }
    return name;
  }
  return {};
}

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return ::GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

// The process's code page is UTF-8 (its manifest), so the A calls take
// and give UTF-8 paths.
std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const DWORD size = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::string absolute(size, '\0');
  const DWORD length = ::GetFullPathNameA(path.c_str(), size, absolute.data(), nullptr);
  if (length == 0 || length >= size) return path;
  absolute.resize(length);
  return absolute;
}

}  // namespace zel
