#include <windows.h>

#include "run/Platform.h"
#include "station/ResultsFile.h"

namespace zel {

bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end
  // as it is then, whoever else appends; the record is one write. Others
  // may read and append meanwhile.
  HANDLE file =
      ::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemErrorText(::GetLastError());
    return false;
  }
  DWORD written = 0;
  BOOL wrote = ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  // On the disk before the box is called done: a power cut after this
  // loses no record.
  if (wrote && written == line.size()) wrote = ::FlushFileBuffers(file);
  const DWORD code = ::GetLastError();
  ::CloseHandle(file);
  if (!wrote || written != line.size()) {
    error = wrote ? "the disk took only part of the record" : SystemErrorText(code);
    return false;
  }
  return true;
}

}  // namespace zel
