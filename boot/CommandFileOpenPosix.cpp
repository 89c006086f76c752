#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "boot/CommandFileOpen.h"

namespace zel {

CCommandFile OpenCommandFile(const std::string& path, CFailureCause* cause) {
  auto fail = [&](CauseKind kind, std::string text) {
    if (cause) *cause = {kind, path, std::move(text)};
    return nullptr;
  };
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    const CauseKind kind = err == ENOENT || err == ENOTDIR                 ? CauseKind::NotFound
                           : err == EACCES || err == EPERM || err == EROFS ? CauseKind::PermissionDenied
                                                                           : CauseKind::Unreadable;
    return fail(kind, std::strerror(err));
  }
  struct stat st {};
  const char* refusal = nullptr;
  CauseKind kind = CauseKind::Unreadable;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    refusal = "not a regular file";
  } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    refusal = "the file is read-only";
    kind = CauseKind::PermissionDenied;
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    refusal = "another program has the file open";
    kind = CauseKind::Busy;
  }
  if (refusal) {
    ::close(fd);
    return fail(kind, refusal);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "r+");
  if (file == nullptr) {
    ::close(fd);
    return fail(CauseKind::Other, std::strerror(errno));
  }
  return CCommandFile(file);
}

}  // namespace zel
