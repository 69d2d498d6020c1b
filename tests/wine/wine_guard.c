/* Preloaded into every Wine process of the test sandbox.
 *
 * A fence: character devices that may be a real serial line or the console are refused before
 * their driver sees an open.
 *
 * A stand-in: a pseudo-terminal plays the COM port, so the requests Wine makes of a UART
 * (custom-divisor speeds, modem lines) are answered here the way a serial driver would, and
 * tcsetattr on a pseudo-terminal goes straight to the kernel: the C library's read-back check
 * fails every request with PARENB there, since a pseudo-terminal always drops that flag. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

/* The kernel's termios2 (it carries any speed in bit/s). Its header clashes with <termios.h>,
 * so the layout is spelt out here for the TCGETS2/TCSETS2 request numbers of <sys/ioctl.h>. */
struct termios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};

#ifndef BOTHER
#define BOTHER 0010000
#endif
#define LIBC_IBAUD0 020000000000u /* the C library's private "input speed 0" flag */

/* 2^31 - 1: every rate that is a multiple of 100 below 463 000 gets a divisor of its own, so
 * the rate asked for can be told back from the divisor. */
#define BAUD_BASE 2147483647
#define PORT_16550A_TYPE 4
#define MAX_LINES 16

static int is_refused_device(dev_t rdev) {
  const unsigned int major_number = major(rdev);
  return major_number == 4 ||                          /* ttyS*, VTs */
         (major_number == 5 && minor(rdev) == 1) ||    /* /dev/console */
         major_number == 166 || major_number == 188 || /* ttyACM*, ttyUSB* */
         major_number == 204;                          /* on-chip UARTs */
}

/* The C library's own functions, found once each. */
enum real_function {
  REAL_OPEN,
  REAL_OPEN64,
  REAL_OPENAT,
  REAL_OPENAT64,
  REAL_FOPEN,
  REAL_FOPEN64,
  REAL_IOCTL,
  REAL_TCGETATTR,
  REAL_TCSETATTR,
  REAL_COUNT
};

static const char* const REAL_NAMES[REAL_COUNT] = {
    "open", "open64", "openat", "openat64", "fopen", "fopen64", "ioctl", "tcgetattr", "tcsetattr"};

static void* real_symbol(enum real_function which) {
  static void* found[REAL_COUNT];
  void* fn = __atomic_load_n(&found[which], __ATOMIC_ACQUIRE);
  if (fn == NULL) {
    fn = dlsym(RTLD_NEXT, REAL_NAMES[which]);
    __atomic_store_n(&found[which], fn, __ATOMIC_RELEASE);
  }
  return fn;
}

/* ISO C has no cast from an object pointer to a function pointer; copying the bits is fine. */
#define REAL(which, out)              \
  do {                                \
    void* p_ = real_symbol(which);    \
    memcpy(&(out), &p_, sizeof(out)); \
  } while (0)

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef FILE* (*fopen_fn)(const char*, const char*);
typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcgetattr_fn)(int, struct termios*);
typedef int (*tcsetattr_fn)(int, int, const struct termios*);

static int real_open_plain(const char* path, int flags) {
  open_fn fn;
  REAL(REAL_OPEN, fn);
  return fn(path, flags);
}

/* The terminal a session already has is reached through /dev/tty: refused when it is one of
 * the devices above (a run started from the serial console). */
static int controlling_terminal_refused(void) {
  char text[1024];
  const int fd = real_open_plain("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  const ssize_t got = read(fd, text, sizeof(text) - 1);
  close(fd);
  if (got <= 0) {
    return 0;
  }
  text[got] = '\0';
  const char* after_name = strrchr(text, ')');
  unsigned int tty_nr = 0;
  if (after_name == NULL || sscanf(after_name + 1, " %*c %*d %*d %*d %u", &tty_nr) != 1 ||
      tty_nr == 0) {
    return 0;
  }
  const unsigned int tty_major = (tty_nr >> 8) & 0xfff;
  const unsigned int tty_minor = (tty_nr & 0xff) | ((tty_nr >> 12) & 0xfff00);
  return is_refused_device(makedev(tty_major, tty_minor));
}

/* Stats the path, not the open file: the refusal must come before the driver's open. */
static int refuse_path(int dirfd, const char* path) {
  struct stat st;
  if (path == NULL || fstatat(dirfd, path, &st, 0) != 0 || !S_ISCHR(st.st_mode)) {
    return 0;
  }
  if (is_refused_device(st.st_rdev) ||
      (st.st_rdev == makedev(5, 0) && controlling_terminal_refused())) {
    errno = EACCES;
    return 1;
  }
  return 0;
}

#define NEEDS_MODE(flags) (((flags)&O_CREAT) != 0 || ((flags)&O_TMPFILE) == O_TMPFILE)

/* Wine never wants a controlling terminal: with one, a line's bytes could become signals and a
 * hang-up would reach the wineserver. */
#define SAFE_FLAGS(flags) ((flags) | O_NOCTTY)

static int guarded_openat(enum real_function which, int dirfd, const char* path, int flags,
                          mode_t mode) {
  if (refuse_path(dirfd, path)) {
    return -1;
  }
  openat_fn fn;
  REAL(which, fn);
  return fn(dirfd, path, SAFE_FLAGS(flags), mode);
}

static int guarded_open(enum real_function which, const char* path, int flags, mode_t mode) {
  if (refuse_path(AT_FDCWD, path)) {
    return -1;
  }
  open_fn fn;
  REAL(which, fn);
  return fn(path, SAFE_FLAGS(flags), mode);
}

#define MODE_ARG(flags, mode)            \
  do {                                   \
    if (NEEDS_MODE(flags)) {             \
      va_list ap_;                       \
      va_start(ap_, flags);              \
      (mode) = (mode_t)va_arg(ap_, int); \
      va_end(ap_);                       \
    }                                    \
  } while (0)

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode);
  return guarded_open(REAL_OPEN, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode);
  return guarded_open(REAL_OPEN64, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode);
  return guarded_openat(REAL_OPENAT, dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  MODE_ARG(flags, mode);
  return guarded_openat(REAL_OPENAT64, dirfd, path, flags, mode);
}

/* The fortified forms that _FORTIFY_SOURCE builds call when no mode is given. */
int __open_2(const char* path, int flags) {
  return guarded_open(REAL_OPEN, path, flags, 0);
}

int __open64_2(const char* path, int flags) {
  return guarded_open(REAL_OPEN64, path, flags, 0);
}

int __openat_2(int dirfd, const char* path, int flags) {
  return guarded_openat(REAL_OPENAT, dirfd, path, flags, 0);
}

int __openat64_2(int dirfd, const char* path, int flags) {
  return guarded_openat(REAL_OPENAT64, dirfd, path, flags, 0);
}

/* The C library's fopen opens internally, past the wrappers above. */
FILE* fopen(const char* path, const char* mode) {
  if (refuse_path(AT_FDCWD, path)) {
    return NULL;
  }
  fopen_fn fn;
  REAL(REAL_FOPEN, fn);
  return fn(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  if (refuse_path(AT_FDCWD, path)) {
    return NULL;
  }
  fopen_fn fn;
  REAL(REAL_FOPEN64, fn);
  return fn(path, mode);
}

/* What a UART driver would keep per line for as long as this process lives: its custom divisor
 * and its modem lines. Keyed by the device, since Wine reaches one port through several
 * descriptors. */
struct line_state {
  dev_t rdev;
  int divisor;
  int serial_flags;
  int modem;
};

static struct line_state lines[MAX_LINES];
static int line_count;
static int next_reuse;
static pthread_mutex_t lines_lock = PTHREAD_MUTEX_INITIALIZER;

static int pty_device(int fd, struct stat* st) {
  if (fstat(fd, st) != 0 || !S_ISCHR(st->st_mode)) {
    return 0;
  }
  const unsigned int major_number = major(st->st_rdev);
  return major_number >= 136 && major_number <= 143;
}

/* Under lines_lock. A line just opened has DTR and RTS raised and sees a ready device. */
static struct line_state* line_for(const struct stat* st) {
  for (int i = 0; i < line_count; ++i) {
    if (lines[i].rdev == st->st_rdev) {
      return &lines[i];
    }
  }
  struct line_state* line =
      line_count < MAX_LINES ? &lines[line_count++] : &lines[next_reuse++ % MAX_LINES];
  line->rdev = st->st_rdev;
  line->divisor = 0;
  line->serial_flags = 0;
  line->modem = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
  return line;
}

static unsigned int pts_index(dev_t rdev) {
  return (major(rdev) - 136) * 256 + minor(rdev);
}

static void log_modem(dev_t rdev, const char* request, int modem) {
  const char* path = getenv("TARVEX_WINE_MODEM_LOG");
  if (path == NULL || *path == '\0') {
    return;
  }
  char text[128];
  const int length =
      snprintf(text, sizeof(text), "pts/%u %s RTS=%d DTR=%d pid=%d\n", pts_index(rdev), request,
               (modem & TIOCM_RTS) != 0, (modem & TIOCM_DTR) != 0, (int)getpid());
  open_fn fn;
  REAL(REAL_OPEN, fn);
  const int fd = fn(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    /* One write per line, so that lines from several processes do not interleave. */
    if (write(fd, text, (size_t)length) < 0) {
      /* nothing to do: the log is for tests to read */
    }
    close(fd);
  }
}

/* A rate that is a multiple of 100 has a divisor no other such rate has; others come out as
 * the divisor gives them. */
static speed_t rate_of_divisor(int divisor) {
  const long long base = BAUD_BASE;
  const long long high = base / divisor;      /* largest rate with this divisor */
  const long long low = base / (divisor + 1); /* below the smallest one */
  const long long round = high / 100 * 100;
  return (speed_t)(round > low ? round : high);
}

static int answer_serial(struct line_state* line, unsigned long request, void* arg) {
  if (arg == NULL) {
    errno = EFAULT;
    return -1;
  }
  struct serial_struct* serial = arg;
  if (request == TIOCGSERIAL) {
    memset(serial, 0, sizeof(*serial));
    serial->type = PORT_16550A_TYPE;
    serial->line = (int)pts_index(line->rdev);
    serial->baud_base = BAUD_BASE;
    serial->custom_divisor = line->divisor;
    serial->flags = line->serial_flags;
    serial->xmit_fifo_size = 16;
    return 0;
  }
  line->divisor = serial->custom_divisor;
  line->serial_flags = serial->flags;
  return 0;
}

static int answer_modem(struct line_state* line, unsigned long request, void* arg) {
  if (arg == NULL) {
    errno = EFAULT;
    return -1;
  }
  int* bits = arg;
  const int settable = TIOCM_DTR | TIOCM_RTS;
  const char* name = "TIOCMSET";
  switch (request) {
    case TIOCMGET:
      *bits = line->modem;
      return 0;
    case TIOCMSET:
      line->modem = (line->modem & ~settable) | (*bits & settable);
      break;
    case TIOCMBIS:
      line->modem |= *bits & settable;
      name = "TIOCMBIS";
      break;
    default:
      line->modem &= ~(*bits & settable);
      name = "TIOCMBIC";
      break;
  }
  log_modem(line->rdev, name, line->modem);
  return 0;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);

  struct stat st;
  switch (request) {
    case TIOCGSERIAL:
    case TIOCSSERIAL:
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
      if (pty_device(fd, &st)) {
        pthread_mutex_lock(&lines_lock);
        struct line_state* line = line_for(&st);
        int result;
        if (request == TIOCGSERIAL || request == TIOCSSERIAL) {
          result = answer_serial(line, request, arg);
        } else {
          result = answer_modem(line, request, arg);
        }
        pthread_mutex_unlock(&lines_lock);
        return result;
      }
      break;
    default:
      break;
  }
  ioctl_fn fn;
  REAL(REAL_IOCTL, fn);
  return fn(fd, request, arg);
}

/* The custom rate in force when the line asks for B38400, or 0. */
static speed_t custom_rate(const struct stat* st) {
  speed_t rate = 0;
  pthread_mutex_lock(&lines_lock);
  const struct line_state* line = line_for(st);
  if ((line->serial_flags & ASYNC_SPD_MASK) == ASYNC_SPD_CUST && line->divisor > 0) {
    rate = rate_of_divisor(line->divisor);
  }
  pthread_mutex_unlock(&lines_lock);
  return rate;
}

/* A UART at a custom divisor shows B38400; so does the line here, and Wine's read-back of the
 * rate (GetCommState) works as it would on a real port instead of failing on BOTHER. */
int tcgetattr(int fd, struct termios* termios) {
  tcgetattr_fn fn;
  REAL(REAL_TCGETATTR, fn);
  const int result = fn(fd, termios);
  struct stat st;
  if (result == 0 && (termios->c_cflag & CBAUD) == BOTHER && pty_device(fd, &st) &&
      custom_rate(&st) != 0) {
    termios->c_cflag = (termios->c_cflag & ~(tcflag_t)(CBAUD | CIBAUD)) | B38400;
    termios->c_ispeed = B38400;
    termios->c_ospeed = B38400;
  }
  return result;
}

int tcsetattr(int fd, int action, const struct termios* termios) {
  struct stat st;
  if (termios == NULL || !pty_device(fd, &st)) {
    tcsetattr_fn fn;
    REAL(REAL_TCSETATTR, fn);
    return fn(fd, action, termios);
  }
  unsigned long request;
  switch (action) {
    case TCSANOW:
      request = TCSETS2;
      break;
    case TCSADRAIN:
      request = TCSETSW2;
      break;
    case TCSAFLUSH:
      request = TCSETSF2;
      break;
    default:
      errno = EINVAL;
      return -1;
  }
  ioctl_fn kernel;
  REAL(REAL_IOCTL, kernel);

  struct termios2 k;
  memset(&k, 0, sizeof(k));
  k.c_iflag = termios->c_iflag & ~LIBC_IBAUD0;
  k.c_oflag = termios->c_oflag;
  k.c_cflag = termios->c_cflag;
  k.c_lflag = termios->c_lflag;
  k.c_line = termios->c_line;
  memcpy(k.c_cc, termios->c_cc, sizeof(k.c_cc));

  const tcflag_t speed = termios->c_cflag & CBAUD;
  speed_t rate = speed == B38400 ? custom_rate(&st) : 0;
  if (rate == 0 && speed == BOTHER) {
    /* Read back from a line already at a custom rate: keep that rate. */
    struct termios2 now;
    if (kernel(fd, TCGETS2, &now) != 0) {
      return -1;
    }
    rate = now.c_ospeed;
  }
  if (rate != 0) {
    k.c_cflag = (k.c_cflag & ~(tcflag_t)(CBAUD | CIBAUD)) | BOTHER;
    k.c_ispeed = rate;
    k.c_ospeed = rate;
  }
  return kernel(fd, request, &k);
}
