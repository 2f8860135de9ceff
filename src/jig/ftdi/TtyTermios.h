#pragma once
// Line settings of a tty through the kernel's termios2 interface, which takes
// any baud rate (BOTHER) and reports the real one back. Kept apart because its
// kernel header clashes with the C library's <termios.h>.
#ifdef __linux__

#include <cstdint>

namespace qj::tty {

struct LineSettings {
    uint32_t baud = 0;
    int dataBits = 8;
    int stopBits = 1;
    int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space (the D2XX codes)
};

// Raw bytes both ways: no echo, no line editing, no translation, no flow
// control, reads that never block in the kernel (VMIN = VTIME = 0), 8N1.
bool makeRaw(int fd);
bool setBaud(int fd, uint32_t baud);
bool setFrame(int fd, int dataBits, int stopBits, int parity);
// Also works on a pseudo-terminal master, where it reports the far side's settings.
bool getLine(int fd, LineSettings& out);

// Whether the open `fd` is the slave side of a pseudo-terminal: what the
// virtual jig is served through (qjig-sim, and the usbfs node of the emulated
// FT232R), never a real device.
bool isPtySlave(int fd);

}  // namespace qj::tty

#endif  // __linux__
