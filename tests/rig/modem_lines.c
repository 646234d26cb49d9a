/* Loaded with LD_PRELOAD into the Wine processes of the serial tests only.
 *
 * A pseudo-terminal has no modem lines: TIOCMGET and friends fail on it, and
 * Wine's WaitCommEvent, which reads the modem status while it waits, then
 * returns at once with no event. A real serial port answers them. Where the
 * real ioctl fails on a terminal, this answers as a port with DSR, CTS and
 * carrier up would, remembering what DTR and RTS were set to, so that
 * WaitCommEvent blocks until a byte arrives, as on a real port. Nothing else
 * changes.
 *
 * When TRELVANE_RIG_SERIAL_LOG names a file, the break and port-setting
 * requests that reach a terminal are also appended to it, one per line
 * ("break on", "break off", "settings <baud>"), so a test can see in which
 * order a port was prepared.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static int modem_bits = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcsetattr_fn)(int, int, const struct termios *);

static void log_request(int fd, const char *what, long value) {
  const char *path = getenv("TRELVANE_RIG_SERIAL_LOG");
  FILE *log;
  if (path == NULL || path[0] == 0 || !isatty(fd)) return;
  log = fopen(path, "a");
  if (log == NULL) return;
  if (value >= 0) fprintf(log, "%s %ld\n", what, value);
  else fprintf(log, "%s\n", what);
  fclose(log);
}

static long baud_of(speed_t speed) {
  switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return (long)speed;
  }
}

int tcsetattr(int fd, int when, const struct termios *settings) {
  static tcsetattr_fn real_tcsetattr;
  if (real_tcsetattr == NULL) real_tcsetattr = (tcsetattr_fn)dlsym(RTLD_NEXT, "tcsetattr");
  log_request(fd, "settings", baud_of(cfgetospeed(settings)));
  return real_tcsetattr(fd, when, settings);
}

int ioctl(int fd, unsigned long request, ...) {
  static ioctl_fn real_ioctl;
  va_list args;
  void *argument;
  int result, saved;

  if (real_ioctl == NULL) real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  va_start(args, request);
  argument = va_arg(args, void *);
  va_end(args);

  if (request == TIOCSBRK) log_request(fd, "break on", -1);
  if (request == TIOCCBRK) log_request(fd, "break off", -1);
  result = real_ioctl(fd, request, argument);
  if (result != -1) return result;
  saved = errno;
  if ((saved != ENOTTY && saved != EINVAL) || !isatty(fd)) {
    errno = saved;
    return result;
  }
  switch (request) {
    case TIOCMGET:
      *(int *)argument = modem_bits;
      return 0;
    case TIOCMSET:
      modem_bits = (*(const int *)argument & (TIOCM_DTR | TIOCM_RTS)) | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
      return 0;
    case TIOCMBIS:
      modem_bits |= *(const int *)argument & (TIOCM_DTR | TIOCM_RTS);
      return 0;
    case TIOCMBIC:
      modem_bits &= ~(*(const int *)argument & (TIOCM_DTR | TIOCM_RTS));
      return 0;
    default:
      errno = saved;
      return result;
  }
}
