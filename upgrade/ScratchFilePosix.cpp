#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "upgrade/ScratchFile.h"

namespace zel {

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
  for (size_t done = 0; done < count;) {
    const ssize_t n =
        ::pwrite(static_cast<int>(m_handle), data + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? std::strerror(errno) : "the disk took nothing";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool CScratchFile::ReadAt(uint8_t* data, size_t count, uint64_t offset, std::string& error) const {
  for (size_t done = 0; done < count;) {
    const ssize_t n =
        ::pread(static_cast<int>(m_handle), data + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? std::strerror(errno) : "the copy ended early";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace zel
