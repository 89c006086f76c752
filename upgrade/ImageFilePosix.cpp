#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "upgrade/ImageFile.h"

namespace zel {
namespace {

CauseKind CauseOfErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return CauseKind::NotFound;
    case EACCES:
    case EPERM: return CauseKind::PermissionDenied;
    default: return CauseKind::Unreadable;
  }
}

}  // namespace

CImageFile::~CImageFile() { Close(); }

bool CImageFile::Open(const std::string& path) {
  Close();
  m_path = path;
  m_failure = {};
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    m_failure = {CauseOfErrno(errno), path, std::strerror(errno)};
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    m_failure = {CauseKind::Unreadable, path, "not a regular file"};
    return false;
  }
  m_handle = fd;
  m_size = static_cast<uint64_t>(st.st_size);
  ReadStamp(m_stamp);
  return true;
}

namespace {

// The time of last change to the nanosecond, as each system names it.
int64_t ModifiedNs(const struct stat& st) {
#ifdef __APPLE__
  const timespec& at = st.st_mtimespec;
#else
  const timespec& at = st.st_mtim;
#endif
  return static_cast<int64_t>(at.tv_sec) * 1000000000 + at.tv_nsec;
}

}  // namespace

bool CImageFile::StampOf(const std::string& path, CStamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified = ModifiedNs(st);
  return true;
}

bool CImageFile::ReadStamp(CStamp& stamp) const {
  struct stat st {};
  if (::fstat(static_cast<int>(m_handle), &st) != 0) return false;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified = ModifiedNs(st);
  return true;
}

void CImageFile::Close() {
  if (m_handle != kNoHandle) ::close(static_cast<int>(m_handle));
  m_handle = kNoHandle;
  m_size = 0;
}

int64_t CImageFile::ReadBlock(uint8_t* buffer, size_t count, uint64_t offset, CFailureCause* failure) const {
  const int fd = static_cast<int>(m_handle);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (failure) *failure = {CauseKind::Unreadable, m_path, std::strerror(errno)};
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

}  // namespace zel
