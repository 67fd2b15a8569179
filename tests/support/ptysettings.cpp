// Reads back a pseudo-terminal's line settings through the kernel's own terminal structure, which
// carries rates without a standard code (14400, 56000) that <termios.h> cannot show.
#include "ptypair.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

PtyLineSettings readPtyLineSettings(int fd)
{
    PtyLineSettings s;
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) < 0)
        return s;
    // The kernel keeps the rate itself in c_ospeed for every speed code.
    s.baudRate = int(t.c_ospeed);
    s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    s.oddParity = (t.c_cflag & PARODD) != 0;
    s.stickParity = (t.c_cflag & CMSPAR) != 0;
    s.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    s.xonXoff = (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF);
    s.raw = !(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(t.c_oflag & OPOST) &&
            !(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK));
    int exclusive = 0;
    s.exclusive = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    return s;
}
