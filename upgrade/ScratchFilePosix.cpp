#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "upgrade/ScratchFile.h"

namespace zel {
namespace {

// One whole positioned transfer.
bool Transfer(int fd, uint8_t* data, size_t count, uint64_t offset, bool write, std::string& error) {
  for (size_t done = 0; done < count;) {
    const off_t at = static_cast<off_t>(offset + done);
    const ssize_t n =
        write ? ::pwrite(fd, data + done, count - done, at) : ::pread(fd, data + done, count - done, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? std::strerror(errno) : "the copy ended early";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

CScratchFile::~CScratchFile() {
  if (m_handle != kNoHandle) ::close(static_cast<int>(m_handle));
}

bool CScratchFile::Create(std::string& error) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/boxfeed-image-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) {
    error = path.substr(0, path.rfind('/')) + ": " + std::strerror(errno);
    return false;
  }
  ::unlink(path.c_str());  // its name goes now: no other program can open it
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  m_handle = fd;
  return true;
}

bool CScratchFile::WriteAt(const uint8_t* data, size_t count, uint64_t offset, std::string& error) {
  return Transfer(static_cast<int>(m_handle), const_cast<uint8_t*>(data), count, offset, true, error);
}

bool CScratchFile::ReadAt(uint8_t* data, size_t count, uint64_t offset, std::string& error) const {
  return Transfer(static_cast<int>(m_handle), data, count, offset, false, error);
}

}  // namespace zel
