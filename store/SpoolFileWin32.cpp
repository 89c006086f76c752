#include <windows.h>

#include "run/Platform.h"
#include "store/SpoolFile.h"
#include "store/Utf16Text.h"

namespace zel {
namespace {

std::wstring WidePath(const std::string& path) {
  const std::u16string wide = Utf16(path);
  return {wide.begin(), wide.end()};
}

std::string Cause(const std::string& path) { return path + ": " + SystemErrorText(::GetLastError()); }

bool WriteAll(HANDLE file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return ::FlushFileBuffers(file) != 0;
}

bool WriteSynced(const std::string& path, const std::string& text, DWORD access, DWORD disposition,
                 std::string& error) {
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Cause(path);
    return false;
  }
  const bool done = WriteAll(file, text);
  if (!done) error = Cause(path);
  ::CloseHandle(file);
  return done;
}

}  // namespace

std::string UserDataFolder(std::string& error) {
  wchar_t base[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    error = "LOCALAPPDATA names no folder";
    return {};
  }
  const std::wstring folder = std::wstring(base, length) + L"\\BoxFeeder";
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    error = Cause(Utf8({folder.begin(), folder.end()}));
    return {};
  }
  return Utf8({folder.begin(), folder.end()});
}

CFileLock::CFileLock(const std::string& path, bool wait) {
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  m_handle = reinterpret_cast<intptr_t>(file);
  OVERLAPPED whole{};
  const DWORD how = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  m_bHeld = ::LockFileEx(file, how, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

CFileLock::~CFileLock() {
  if (m_handle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));  // the lock goes with it
}

bool AppendSynced(const std::string& path, const std::string& text, std::string& error) {
  return WriteSynced(path, text, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, error);
}

bool ReplaceSynced(const std::string& path, const std::string& text, std::string& error) {
  const std::string fresh = path + ".new";
  if (!WriteSynced(fresh, text, GENERIC_WRITE, CREATE_ALWAYS, error)) return false;
  if (!::MoveFileExW(WidePath(fresh).c_str(), WidePath(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = Cause(path);
    ::DeleteFileW(WidePath(fresh).c_str());
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    error = Cause(path);
    return false;
  }
  char buffer[65536];
  DWORD n = 0;
  bool done = true;
  while ((done = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr) != 0) && n > 0) text.append(buffer, n);
  if (!done) error = Cause(path);
  ::CloseHandle(file);
  return done;
}

}  // namespace zel
