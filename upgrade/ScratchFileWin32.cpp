#include <algorithm>

#include "run/Platform.h"
#include "run/SystemHeadersWin32.h"
#include "upgrade/ScratchFile.h"

namespace zel {
namespace {

// One positioned transfer on a synchronous handle.
bool Transfer(HANDLE file, uint8_t* data, size_t count, uint64_t offset, bool write, std::string& error) {
  for (size_t done = 0; done < count;) {
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD moved = 0;
    const BOOL ok = write ? ::WriteFile(file, data + done, chunk, &moved, &at)
                          : ::ReadFile(file, data + done, chunk, &moved, &at);
    if (!ok || moved == 0) {
      error = ok ? "the copy ended early" : SystemErrorText(::GetLastError());
      return false;
    }
    done += moved;
  }
  return true;
}

}  // namespace

CScratchFile::~CScratchFile() {
  if (m_handle != kNoHandle) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool CScratchFile::Create(std::string& error) {
  wchar_t dir[MAX_PATH + 1];
  wchar_t path[MAX_PATH + 1];
  if (::GetTempPathW(MAX_PATH + 1, dir) == 0 || ::GetTempFileNameW(dir, L"bxf", 0, path) == 0) {
    error = SystemErrorText(::GetLastError());
    return false;
  }
  // No sharing and deleted on close: nobody else opens it, and it goes
  // with this handle, even when the process is killed.
  HANDLE file = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemErrorText(::GetLastError());
    ::DeleteFileW(path);
    return false;
  }
  m_handle = reinterpret_cast<intptr_t>(file);
  return true;
}

bool CScratchFile::WriteAt(const uint8_t* data, size_t count, uint64_t offset, std::string& error) {
  return Transfer(reinterpret_cast<HANDLE>(m_handle), const_cast<uint8_t*>(data), count, offset, true, error);
}

bool CScratchFile::ReadAt(uint8_t* data, size_t count, uint64_t offset, std::string& error) const {
  return Transfer(reinterpret_cast<HANDLE>(m_handle), data, count, offset, false, error);
}

}  // namespace zel
