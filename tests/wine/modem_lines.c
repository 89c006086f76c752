/* Modem lines for pseudo-terminals, preloaded into Wine for the Windows
   tests: a pty has no modem lines and refuses their ioctls, and Wine's
   WaitCommEvent gives up when it cannot read them. Every other ioctl,
   and these on real serial ports, pass through unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (!real) {
    void* symbol = dlsym(RTLD_NEXT, "ioctl");
    memcpy(&real, &symbol, sizeof real);  /* an object pointer to a function pointer, as POSIX allows */
  }
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int result = real(fd, request, argument);
  if (result == 0 || (errno != ENOTTY && errno != EINVAL && errno != EIO)) return result;
  /* Only terminals: asked through the real ioctl, since isatty would come
     back here. */
  struct termios settings;
  if (real(fd, TCGETS, &settings) != 0) {
    errno = ENOTTY;
    return result;
  }
  switch (request) {
    case TIOCMGET: *(int*)argument = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD; return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC: return 0;
    case TIOCGICOUNT: memset(argument, 0, sizeof(struct serial_icounter_struct)); return 0;
    case TIOCSERGETLSR: {
      int queued = 0;
      real(fd, TIOCOUTQ, &queued);
      *(unsigned int*)argument = queued == 0 ? TIOCSER_TEMT : 0;
      return 0;
    }
    default: errno = ENOTTY; return -1;
  }
}
