// Line speeds through the kernel's termios2: the kernel header that declares it redefines what
// <termios.h> declares, so this file includes nothing else of termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace marlo {

bool SetTtySpeed(int fd, int speed);
int GetTtySpeed(int fd);

namespace {

// The constant termios has for a speed, or BOTHER when it has none.
unsigned SpeedCode(int speed) {
    switch (speed) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return BOTHER;
    }
}

}  // namespace

bool SetTtySpeed(int fd, int speed) {
    if (speed <= 0) return false;
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));  // input speed follows the output speed
    t.c_cflag |= SpeedCode(speed);
    t.c_ispeed = static_cast<speed_t>(speed);
    t.c_ospeed = static_cast<speed_t>(speed);
    return ioctl(fd, TCSETS2, &t) == 0;
}

int GetTtySpeed(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    return static_cast<int>(t.c_ospeed);
}

}  // namespace marlo
