// Kept apart from termios_serial_port.cpp: <asm/termbits.h> clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool setCustomBaudRate(int fd, unsigned rate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}
