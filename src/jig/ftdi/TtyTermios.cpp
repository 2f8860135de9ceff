#ifdef __linux__

#include "jig/ftdi/TtyTermios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

// <sys/ioctl.h> would drag in the C library's termios types.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace qj::tty {

namespace {
bool get(int fd, termios2& t) { return ioctl(fd, TCGETS2, &t) == 0; }
bool set(int fd, const termios2& t) { return ioctl(fd, TCSETS2, &t) == 0; }
}  // namespace

bool makeRaw(int fd) {
    termios2 t{};
    if (!get(fd, t)) return false;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // No HUPCL: dropping DTR on every close would toggle the jig's control
    // line at each of the many short opens a session makes.
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return set(fd, t);
}

bool setBaud(int fd, uint32_t baud) {
    termios2 t{};
    if (!get(fd, t)) return false;
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return set(fd, t);
}

bool setFrame(int fd, int dataBits, int stopBits, int parity) {
    termios2 t{};
    if (!get(fd, t)) return false;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= dataBits == 7 ? CS7 : CS8;
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    switch (parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    return set(fd, t);
}

bool getLine(int fd, LineSettings& out) {
    termios2 t{};
    if (!get(fd, t)) return false;
    out.baud = t.c_ospeed;
    out.dataBits = 5 + int((t.c_cflag & CSIZE) / CS6);  // CS5..CS8 are 0..3 times CS6
    out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    if (!(t.c_cflag & PARENB)) out.parity = 0;
    else if (t.c_cflag & CMSPAR) out.parity = (t.c_cflag & PARODD) ? 3 : 4;
    else out.parity = (t.c_cflag & PARODD) ? 1 : 2;
    return true;
}

bool isPtySlave(int fd) {
    struct stat s {};
    if (::fstat(fd, &s) != 0 || !S_ISCHR(s.st_mode)) return false;
    // The slave sides of Unix 98 pseudo-terminals have majors 136 to 143.
    const unsigned m = major(s.st_rdev);
    return m >= 136 && m <= 143;
}

}  // namespace qj::tty

#endif  // __linux__
