#include "rawpty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

RawPty openRawPty(bool nonBlocking)
{
    RawPty pty;
    auto fail = [&pty](const char *what) {
        pty.error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                 QString::fromLocal8Bit(strerror(errno)));
        if (pty.master >= 0)
            ::close(pty.master);
        pty.master = -1;
        return pty;
    };
    pty.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0)
        return fail("posix_openpt");
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(pty.master);
    if (!name)
        return fail("ptsname");
    pty.slavePath = QString::fromLocal8Bit(name);
    termios tio{};
    if (tcgetattr(pty.master, &tio) != 0)
        return fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(pty.master, TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    if (nonBlocking && fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK) != 0)
        return fail("fcntl");
    return pty;
}
