#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/ResultsFile.h"

namespace zel {

bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
  // O_APPEND: each write lands at the end as it is then, whoever else
  // appends; the record is one write.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const ssize_t written = ::write(fd, line.data(), line.size());
  const int writeErrno = errno;
  const bool closed = ::close(fd) == 0;
  if (written != static_cast<ssize_t>(line.size())) {
    error = written < 0 ? std::strerror(writeErrno) : "the disk took only part of the record";
    return false;
  }
  if (!closed) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace zel
