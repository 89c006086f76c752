// The far end of a Wine COM port for the Windows device tests: it makes a
// pseudo-terminal, links it as COMn into the Wine prefix, runs the command
// given (the Windows test under Wine) and answers it on the line:
//   'b'       the line's speed, as 8 decimal digits
//   'e' x     x, echoed
//   'h'       hangs up, as an unplugged adapter does, and is plugged in
//             again: a new pseudo-terminal under the same name
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

unsigned Baud(speed_t code) {
  static const std::map<speed_t, unsigned> kRates{{B9600, 9600},   {B19200, 19200},   {B38400, 38400},
                                                  {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
  const auto it = kRates.find(code);
  return it == kRates.end() ? 0 : it->second;
}

// A raw pseudo-terminal linked as the COM port. It becomes this process's
// controlling terminal: otherwise the wineserver takes it, and floods its
// output when the pty goes.
bool PlugIn(const std::string& link, int& master, int& slave) {
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
  ::ioctl(slave, TIOCSCTTY, 0);
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave, TCSANOW, &tio);
  ::unlink(link.c_str());
  return ::symlink(name, link.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[2]) != "--") {
    std::fprintf(stderr, "usage: comport_peer COMn -- command...\n");
    return 64;
  }
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix) {
    std::fprintf(stderr, "comport_peer: WINEPREFIX is not set\n");
    return 64;
  }
  ::setsid();
  std::string port = argv[1];
  for (char& c : port) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string link = std::string(prefix) + "/dosdevices/" + port;
  int master = -1, slave = -1;
  if (!PlugIn(link, master, slave)) return 1;

  // Hanging up the line signals its session: the peer and the command
  // (which inherits the disposition) take no notice; the command learns of
  // the hang-up from the line itself.
  ::signal(SIGHUP, SIG_IGN);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(master);
    ::execvp(argv[3], argv + 3);
    ::_exit(127);
  }
  int status = 0;
  bool echoNext = false;
  for (;;) {
    if (::waitpid(child, &status, WNOHANG) == child) break;
    pollfd pfd{master, POLLIN, 0};
    if (master < 0) {
      ::waitpid(child, &status, 0);
      break;
    }
    if (::poll(&pfd, 1, 50) <= 0 || !(pfd.revents & POLLIN)) continue;
    unsigned char byte;
    if (::read(master, &byte, 1) != 1) continue;
    if (echoNext) {
      echoNext = false;
      [[maybe_unused]] ssize_t n = ::write(master, &byte, 1);
    } else if (byte == 'e') {
      echoNext = true;
    } else if (byte == 'b') {
      termios now{};
      ::tcgetattr(slave, &now);
      char reply[16];
      std::snprintf(reply, sizeof reply, "%08u", Baud(::cfgetospeed(&now)));
      [[maybe_unused]] ssize_t n = ::write(master, reply, 8);
    } else if (byte == 'h') {
      ::close(slave);
      ::close(master);
      master = slave = -1;
      if (!PlugIn(link, master, slave)) master = slave = -1;
    }
  }
  ::unlink(link.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
