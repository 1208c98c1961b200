// Uses the kernel's termios2, which carries rates without a Bxxx constant; it
// cannot share a translation unit with the C library's <termios.h>.
#include "linesettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

bool readLineSettings(int fd, bool pseudoTerminal, LineSettings& out)
{
    struct termios2 t {};
    if (fd < 0 || ::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    out.baud = long(t.c_ospeed);
    out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    if (pseudoTerminal) {
        out.parity = (t.c_cflag & PARODD) ? 'O' : '?';
        out.dataBits = 0;
        return true;
    }
    out.parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    switch (t.c_cflag & CSIZE) {
    case CS5: out.dataBits = 5; break;
    case CS6: out.dataBits = 6; break;
    case CS7: out.dataBits = 7; break;
    default: out.dataBits = 8; break;
    }
    return true;
}

} // namespace sim
