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
  int writeErrno = errno;
  // On the disk before the box is called done: a power cut after this
  // loses no record.
  const bool synced = written == static_cast<ssize_t>(line.size()) && ::fsync(fd) == 0;
  if (!synced && written == static_cast<ssize_t>(line.size())) writeErrno = errno;
  const bool closed = ::close(fd) == 0;
  if (!synced) {
    error = written >= 0 && written != static_cast<ssize_t>(line.size())
                ? "the disk took only part of the record"
                : std::strerror(writeErrno);
    return false;
  }
  if (!closed) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace zel
