#include <io.h>

#include "boot/CommandFileOpen.h"
#include "run/SystemHeadersWin32.h"

namespace zel {

CCommandFile OpenCommandFile(const std::string& path, CFailureCause* cause) {
  auto fail = [&](CauseKind kind, std::string text) {
    if (cause) *cause = {kind, path, std::move(text)};
    return nullptr;
  };
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return fail(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CauseKind::NotFound
                                                                               : CauseKind::Unreadable,
                "the file cannot be found");
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(CauseKind::Unreadable, "not a regular file");
  if (attributes & FILE_ATTRIBUTE_READONLY) return fail(CauseKind::PermissionDenied, "the file is read-only");
  // Shared with nobody: a file another program has open is refused.
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return fail(CauseKind::Busy, "another program has the file open");
    if (error == ERROR_ACCESS_DENIED) return fail(CauseKind::PermissionDenied, "access denied");
    return fail(CauseKind::Unreadable, "the file cannot be opened");
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return fail(CauseKind::Unreadable, "not a regular file");
  }
  // The reader only reads; the file stays open for writing too, held.
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
  if (fd < 0) {
    ::CloseHandle(file);
    return fail(CauseKind::Other, "the file cannot be opened");
  }
  std::FILE* stream = ::_fdopen(fd, "rb");
  if (stream == nullptr) {
    ::_close(fd);
    return fail(CauseKind::Other, "the file cannot be opened");
  }
  return CCommandFile(stream);
}

}  // namespace zel
