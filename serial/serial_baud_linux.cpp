// Sets and reads arbitrary baud rates with TCGETS2/TCSETS2 and BOTHER.
#include "serial/serial_baud_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SerialSetBaudRate(int fd, uint32_t baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = baud;
  t.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool SerialGetBaudRate(int fd, uint32_t& baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  baud = t.c_ospeed;
  return true;
}
