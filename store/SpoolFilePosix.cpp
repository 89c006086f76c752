#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/SpoolFile.h"

namespace zel {
namespace {

bool MakeFolders(const std::string& path, std::string& error) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = part + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string UserDataFolder(std::string& error) {
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
    base = data;
  else if (const char* home = std::getenv("HOME"); home && *home == '/')
    base = std::string(home) + "/.local/share";
  else {
    error = "neither XDG_DATA_HOME nor HOME names a folder";
    return {};
  }
  const std::string folder = base + "/boxfeeder";
  return MakeFolders(folder, error) ? folder : std::string();
}

CFileLock::CFileLock(const std::string& path, bool wait) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  m_handle = fd;
  while (::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0)
    if (errno != EINTR) return;
  m_bHeld = true;
}

CFileLock::~CFileLock() {
  if (m_handle >= 0) ::close(static_cast<int>(m_handle));  // the lock goes with it
}

bool AppendSynced(const std::string& path, const std::string& text, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool done = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!done) error = path + ": " + std::strerror(errno);
  return ::close(fd) == 0 && done;
}

bool ReplaceSynced(const std::string& path, const std::string& text, std::string& error) {
  const std::string fresh = path + ".new";
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = fresh + ": " + std::strerror(errno);
    return false;
  }
  bool done = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (!done) error = fresh + ": " + std::strerror(errno);
  done = ::close(fd) == 0 && done;
  if (done && ::rename(fresh.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    done = false;
  }
  if (!done) {
    ::unlink(fresh.c_str());
    return false;
  }
  // The rename itself on the disk: the folder's entry.
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    error = path + ": " + std::strerror(errno);
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace zel
