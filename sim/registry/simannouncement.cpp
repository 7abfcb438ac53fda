// The announcing side, kept apart from the listing side so that a program that only lists
// modules (the console) links neither it nor the name a module is listed by.
#include "simregistry.h"

#include "registryfiles.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace SimRegistry {

using namespace Files;

namespace {

#ifdef Q_OS_UNIX
// A scan may hold a module's lock for a moment while it clears a stale entry.
constexpr int kLockWaitMs = 2000;

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}
#endif

} // namespace

QString friendlyName(const QString &portName)
{
    return QStringLiteral("ESP8266 模拟模块 (") + portName + QLatin1Char(')');
}

Announcement::Announcement(const QString &portName)
{
#ifdef Q_OS_UNIX
    Descriptor folder = openFolder(directory(), true, &m_error);
    if (!folder.isValid())
        return;
    const QByteArray key = keyFor(portName).toLatin1();
    const QByteArray lockName = key + kLockSuffix;
    const QByteArray entryName = key + kEntrySuffix;

    Descriptor lock;
    const QDeadlineTimer deadline(kLockWaitMs);
    for (;;) {
        const LockState state = tryLock(folder.get(), lockName, &lock, &m_error);
        if (state == LockState::Taken)
            break;
        if (state == LockState::Unusable)
            return;
        if (deadline.hasExpired()) {
            m_error =
                QStringLiteral("%1 is held by another module").arg(QString::fromLatin1(lockName));
            return;
        }
        QThread::msleep(10);
    }

    // A scan reads the entry whole or not at all: it is written aside, then renamed.
    const QByteArray aside = '.' + entryName + '.' + QByteArray::number(::getpid());
    const QByteArray text = (portName + QLatin1Char('\n') + friendlyName(portName)).toUtf8() + '\n';
    ::unlinkat(folder.get(), aside.constData(), 0); // left by a killed module of our number
    const Descriptor file = openOwnFile(folder.get(), aside, O_WRONLY | O_CREAT | O_EXCL, &m_error);
    if (!file.isValid() || !writeAll(file.get(), text) ||
        ::renameat(folder.get(), aside.constData(), folder.get(), entryName.constData()) != 0) {
        if (file.isValid())
            m_error = QStringLiteral("cannot write %1: %2")
                          .arg(QString::fromLatin1(entryName),
                               QString::fromLocal8Bit(std::strerror(errno)));
        ::unlinkat(folder.get(), aside.constData(), 0);
        ::unlinkat(folder.get(), lockName.constData(), 0); // still ours: nobody else has it
        return;
    }
    m_entryName = entryName;
    m_lockName = lockName;
    m_lock = lock.release();
    m_folder = folder.release();
    m_valid = true;
#else
    Q_UNUSED(portName);
    m_error = QStringLiteral("simulated modules run only where there are pseudo-terminals");
#endif
}

Announcement::~Announcement()
{
#ifdef Q_OS_UNIX
    if (!m_valid)
        return;
    // The entry goes while the lock is still held, then the lock.
    ::unlinkat(m_folder, m_entryName.constData(), 0);
    ::unlinkat(m_folder, m_lockName.constData(), 0);
    ::close(m_lock);
    ::close(m_folder);
#endif
}

} // namespace SimRegistry
