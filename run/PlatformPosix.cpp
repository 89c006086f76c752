#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "run/Platform.h"

namespace zel {

void ReserveStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    // The lowest free number: this one, since those below are open.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) ::close(null);
  }
}

// The number the system's tools show for the thread where it has one (ps,
// top and gdb show Linux's), else one of the process's own.
uint32_t CurrentThreadId() {
#ifdef __linux__
  return static_cast<uint32_t>(::syscall(SYS_gettid));
#else
  static std::atomic<uint32_t> next{1};
  thread_local const uint32_t id = next++;
  return id;
#endif
}

std::string SystemErrorText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

std::string WriteTemporaryFile(const std::vector<uint8_t>& bytes, const std::string& suffix) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/boxfeeder-XXXXXX" + suffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return {};
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && done == bytes.size();
  if (!ok) {
    std::remove(name.data());
    return {};
  }
  return name.data();
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char directory[4096];
  if (::getcwd(directory, sizeof directory) == nullptr) return path;
  std::string absolute = directory;
  if (absolute.back() != '/') absolute += '/';
  return absolute + (path.starts_with("./") ? path.substr(2) : path);
}

}  // namespace zel
