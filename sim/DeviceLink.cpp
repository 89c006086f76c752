#include "sim/DeviceLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zel::sim {
namespace {

// Where the link leads; empty when it is no symbolic link.
std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

bool IsStalePtyLink(const std::string& link) {
  const std::string target = LinkTarget(link);
  struct stat st {};
  return target.rfind("/dev/pts/", 0) == 0 && ::stat(target.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace

std::string MakeDeviceLink(const std::string& link, const std::string& device) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) {
    if (!IsStalePtyLink(link)) return link + ": something is there already; remove it or choose another path";
    ::unlink(link.c_str());
  }
  if (::symlink(device.c_str(), link.c_str()) != 0) return link + ": " + std::strerror(errno);
  return {};
}

void RemoveDeviceLink(const std::string& link, const std::string& device) {
  if (LinkTarget(link) == device) ::unlink(link.c_str());
}

bool GoToTheBackground() {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child > 0) std::_Exit(0);
  ::setsid();
  return true;
}

}  // namespace zel::sim
