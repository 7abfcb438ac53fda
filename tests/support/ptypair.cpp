#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_pty.masterFd(), bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        // The slave side is full: let the console read before writing more.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

QByteArray PtyPair::read(int timeoutMs, int quietMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Let the console's event loop run, so what it queued reaches the pty.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pfd{m_pty.masterFd(), POLLIN, 0};
        const int wait = out.isEmpty() ? 10 : quietMs;
        const int r = poll(&pfd, 1, wait);
        if (r > 0 && (pfd.revents & POLLIN)) {
            char buf[65536];
            const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
            if (n > 0) {
                out.append(buf, n);
                continue;
            }
        }
        if (!out.isEmpty() && r == 0)
            return out;
        if (deadline.hasExpired())
            return out;
    }
}

QByteArray PtyPair::readExactly(qsizetype count, int timeoutMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pfd{m_pty.masterFd(), POLLIN, 0};
        if (poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLIN)) {
            char buf[65536];
            const ssize_t n =
                ::read(m_pty.masterFd(), buf, std::min<qsizetype>(sizeof buf, count - out.size()));
            if (n > 0)
                out.append(buf, n);
        }
    }
    return out;
}

PtyPair::Line PtyPair::line() const
{
    // The kernel's own view of a terminal's settings; on the master side it is the
    // slave's, which the console set.
    struct KernelTermios2
    {
        tcflag_t c_iflag;
        tcflag_t c_oflag;
        tcflag_t c_cflag;
        tcflag_t c_lflag;
        cc_t c_line;
        cc_t c_cc[19];
        speed_t c_ispeed;
        speed_t c_ospeed;
    } settings{};
    if (::ioctl(m_pty.masterFd(), _IOR('T', 0x2A, KernelTermios2), &settings) != 0)
        return {};
    return {qint64(settings.c_ospeed), qint64(settings.c_ispeed), bool(settings.c_cflag & CSTOPB)};
}
