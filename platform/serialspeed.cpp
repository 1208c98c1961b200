#include "platform/serialspeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace serial {

bool setAnySpeed(int fd, int baud)
{
    struct termios2 t {};
    if (baud <= 0 || ::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = speed_t(baud);
    t.c_ospeed = speed_t(baud);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

int lineSpeed(int fd)
{
    // The kernel keeps the rate as a number beside the code, for every rate.
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return int(t.c_ospeed);
}

} // namespace serial
