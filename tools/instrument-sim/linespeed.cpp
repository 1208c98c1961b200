// The line speed the program set on the slave side of the pseudo-terminal,
// including rates without a Bxxx constant (28800), which are set through the
// kernel's termios2.
#include <asm/termbits.h>
#include <sys/ioctl.h>

long slaveLineSpeed(int fd)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return long(t.c_ospeed);
}
