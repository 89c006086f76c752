/* A UART where there is a pseudo-terminal: preloaded into a program, it
 * makes the device named by BOXFEEDER_UART_DEVICE behave as serial
 * hardware does for the code above it, and logs what that code asked of it
 * to BOXFEEDER_UART_LOG, one line each:
 *   - modem lines (TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC) that it keeps:
 *     "lines DTR=1 RTS=0" on every change;
 *   - a transmitter that sends ten bits a byte at the line's speed:
 *     TIOCOUTQ counts what has not gone yet, tcdrain waits for it, and a
 *     change of speed says how many bytes were still going out:
 *     "speed 38400 -> 115200, 3 bytes on the wire";
 *   - an adapter FIFO of BOXFEEDER_UART_FIFO bytes (a CH340 or PL2303, which
 *     report no transmitter empty): TIOCOUTQ and tcdrain do not see what
 *     it holds;
 *   - injected errors: BOXFEEDER_UART_FAIL=OP:ERRNO:N fails every read,
 *     write or ioctl (OP) after the first N with EIO or EBUSY (ERRNO).
 * The bytes themselves reach the far end at once, as on the pty. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static int g_fd = -1;
static dev_t g_device; /* what the device is, once known: Wine's processes get its descriptor passed */
static int g_deviceKnown;
static unsigned g_baud = 9600;
static double g_busyUntil; /* when the last written byte has left */
static int g_lines;        /* TIOCM_DTR | TIOCM_RTS as set */
static int g_fifo;
static int g_failOp = -1; /* 0 read, 1 write, 2 ioctl */
static int g_failErrno;
static long g_failAfter;
static long g_calls[3];

static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void Log(const char* format, ...) {
  const char* path = getenv("BOXFEEDER_UART_LOG");
  if (!path) return;
  FILE* log = fopen(path, "a");
  if (!log) return;
  va_list args;
  va_start(args, format);
  vfprintf(log, format, args);
  va_end(args);
  fputc('\n', log);
  fclose(log);
}

/* The next definition of a function: the system's own. */
typedef void (*Function)(void);
static Function Next(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  Function function;
  memcpy(&function, &symbol, sizeof function);
  return function;
}

/* Bytes not yet sent, the adapter's FIFO included. */
static long OnTheWire(void) {
  const double left = g_busyUntil - Now();
  return left > 0 ? (long)(left * g_baud / 10.0 + 0.999) : 0;
}

static int Fails(int op) {
  if (op != g_failOp) return 0;
  if (g_calls[op]++ < g_failAfter) return 0;
  errno = g_failErrno;
  return 1;
}

static void AdoptLocked(int fd) {
  g_fd = fd;
  g_busyUntil = 0;
  g_lines = TIOCM_DTR | TIOCM_RTS; /* as a driver raises them at open */
  const char* fifo = getenv("BOXFEEDER_UART_FIFO");
  g_fifo = fifo ? atoi(fifo) : 0;
  const char* fail = getenv("BOXFEEDER_UART_FAIL");
  char op[16] = "", err[16] = "";
  if (fail && sscanf(fail, "%15[a-z]:%15[A-Z]:%ld", op, err, &g_failAfter) == 3) {
    g_failOp = !strcmp(op, "read") ? 0 : !strcmp(op, "write") ? 1 : !strcmp(op, "ioctl") ? 2 : -1;
    g_failErrno = !strcmp(err, "EBUSY") ? EBUSY : EIO;
  }
  Log("open");
}

static void Adopt(int fd, const char* path) {
  const char* device = getenv("BOXFEEDER_UART_DEVICE");
  char want[PATH_MAX], got[PATH_MAX];
  if (fd < 0 || !device || !realpath(device, want) || !realpath(path, got) || strcmp(want, got) != 0) return;
  pthread_mutex_lock(&g_lock);
  AdoptLocked(fd);
  pthread_mutex_unlock(&g_lock);
}

/* Whether fd is the device: the descriptor opened here, or one another
   process opened and passed on (Wine's server opens devices for its
   clients). */
static int IsDevice(int fd) {
  if (fd < 0) return 0;
  if (fd == g_fd) return 1;
  pthread_mutex_lock(&g_lock);
  if (!g_deviceKnown) {
    struct stat st;
    const char* device = getenv("BOXFEEDER_UART_DEVICE");
    if (device && stat(device, &st) == 0 && S_ISCHR(st.st_mode)) g_device = st.st_rdev;
    g_deviceKnown = 1;
  }
  struct stat st;
  const int match =
      g_device != 0 && g_fd < 0 && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == g_device;
  if (match) AdoptLocked(fd);
  pthread_mutex_unlock(&g_lock);
  return match;
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  const int fd = ((int (*)(const char*, int, ...))Next("open"))(path, flags, mode);
  Adopt(fd, path);
  return fd;
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  const int fd = ((int (*)(const char*, int, ...))Next("open64"))(path, flags, mode);
  Adopt(fd, path);
  return fd;
}

int close(int fd) {
  pthread_mutex_lock(&g_lock);
  if (fd == g_fd) {
    g_fd = -1;
    Log("close");
  }
  pthread_mutex_unlock(&g_lock);
  return ((int (*)(int))Next("close"))(fd);
}

ssize_t read(int fd, void* buffer, size_t count) {
  if (IsDevice(fd) && Fails(0)) return -1;
  return ((ssize_t(*)(int, void*, size_t))Next("read"))(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  if (IsDevice(fd) && Fails(1)) return -1;
  const ssize_t n = ((ssize_t(*)(int, const void*, size_t))Next("write"))(fd, buffer, count);
  if (fd == g_fd && n > 0) {
    pthread_mutex_lock(&g_lock);
    const double now = Now();
    g_busyUntil = (g_busyUntil > now ? g_busyUntil : now) + (double)n * 10.0 / g_baud;
    pthread_mutex_unlock(&g_lock);
  }
  return n;
}

static void SetLines(int lines) {
  if (lines == g_lines) return;
  g_lines = lines;
  Log("lines DTR=%d RTS=%d", !!(lines & TIOCM_DTR), !!(lines & TIOCM_RTS));
}

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  int (*real)(int, unsigned long, ...) = (int (*)(int, unsigned long, ...))Next("ioctl");
  if (!IsDevice(fd)) return real(fd, request, argument);
  if (Fails(2)) return -1;
  int* value = (int*)argument;
  int result = 0;
  pthread_mutex_lock(&g_lock);
  switch (request) {
    case TIOCOUTQ: {
      const long queued = OnTheWire() - g_fifo;
      *value = queued > 0 ? (int)queued : 0;
      break;
    }
    case TIOCSERGETLSR: { /* Wine's transmitter-empty test */
      const long queued = OnTheWire() - g_fifo;
      *(unsigned int*)argument = queued > 0 ? 0 : TIOCSER_TEMT;
      break;
    }
    case TIOCMGET: *value = g_lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CD; break;
    case TIOCMSET: SetLines(*value & (TIOCM_DTR | TIOCM_RTS)); break;
    case TIOCMBIS: SetLines(g_lines | (*value & (TIOCM_DTR | TIOCM_RTS))); break;
    case TIOCMBIC: SetLines(g_lines & ~*value); break;
    default: result = real(fd, request, argument); break;
  }
  pthread_mutex_unlock(&g_lock);
  return result;
}

int tcdrain(int fd) {
  if (!IsDevice(fd)) return ((int (*)(int))Next("tcdrain"))(fd);
  /* Waits for the driver's queue; the adapter's FIFO is not its to see. */
  for (;;) {
    pthread_mutex_lock(&g_lock);
    const long queued = OnTheWire() - g_fifo;
    pthread_mutex_unlock(&g_lock);
    if (queued <= 0) return 0;
    usleep(200);
  }
}

static unsigned BaudOf(speed_t code) {
  static const struct {
    speed_t code;
    unsigned baud;
  } kBauds[] = {{B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  for (size_t i = 0; i < sizeof kBauds / sizeof kBauds[0]; ++i)
    if (kBauds[i].code == code) return kBauds[i].baud;
  return 0;
}

int tcsetattr(int fd, int actions, const struct termios* tio) {
  if (IsDevice(fd)) {
    pthread_mutex_lock(&g_lock);
    const unsigned baud = BaudOf(cfgetospeed(tio));
    if (baud != 0 && baud != g_baud) {
      Log("speed %u -> %u, %ld bytes on the wire", g_baud, baud, OnTheWire());
      g_baud = baud;
      g_busyUntil = 0;
    }
    pthread_mutex_unlock(&g_lock);
  }
  return ((int (*)(int, int, const struct termios*))Next("tcsetattr"))(fd, actions, tio);
}
