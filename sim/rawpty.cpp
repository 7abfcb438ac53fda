#include "rawpty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Opens and sets up the master side; returns the step that failed, or nullptr.
const char *openMaster(RawPty::Master mode, int *master, QString *slavePath)
{
    *master = posix_openpt(O_RDWR | O_NOCTTY);
    if (*master < 0)
        return "posix_openpt";
    if (grantpt(*master) != 0 || unlockpt(*master) != 0)
        return "grantpt/unlockpt";
    const char *name = ptsname(*master);
    if (!name)
        return "ptsname";
    *slavePath = QString::fromLocal8Bit(name);
    termios tio{};
    if (tcgetattr(*master, &tio) != 0)
        return "tcgetattr";
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(*master, TCSANOW, &tio) != 0)
        return "tcsetattr";
    if (mode == RawPty::Master::NonBlocking &&
        fcntl(*master, F_SETFL, fcntl(*master, F_GETFL) | O_NONBLOCK) != 0)
        return "fcntl";
    return nullptr;
}

} // namespace

RawPty::RawPty(Master mode)
{
    if (const char *failed = openMaster(mode, &m_master, &m_slavePath)) {
        m_error = QStringLiteral("%1: %2").arg(QLatin1String(failed),
                                               QString::fromLocal8Bit(strerror(errno)));
        close();
    }
}

RawPty::~RawPty()
{
    close();
}

void RawPty::close()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

int RawPty::release()
{
    const int master = m_master;
    m_master = -1;
    return master;
}
