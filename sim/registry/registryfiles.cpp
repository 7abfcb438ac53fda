#include "registryfiles.h"

// Only where simulated modules run: POSIX systems.
#ifdef Q_OS_UNIX

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SimRegistry::Files {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Nobody but this user may change what is in it: its group and others may not write.
bool writableByOthers(const struct stat &status)
{
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

} // namespace

Descriptor::~Descriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Descriptor &Descriptor::operator=(Descriptor &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Descriptor openFolder(const QString &path, bool create, QString *why)
{
    const QByteArray native = QFile::encodeName(path);
    if (create && ::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *why = QStringLiteral("cannot create %1: %2").arg(path, systemText(errno));
        return Descriptor();
    }
    // The folder itself is never followed: a link put in its place leads elsewhere.
    Descriptor folder(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isValid()) {
        struct stat status = {};
        if ((errno == ELOOP || errno == ENOTDIR) && ::lstat(native.constData(), &status) == 0)
            *why = (S_ISLNK(status.st_mode) ? QStringLiteral("%1 is a symbolic link, not a folder")
                                            : QStringLiteral("%1 is not a folder"))
                       .arg(path);
        else if (errno != ENOENT || create)
            *why = QStringLiteral("cannot open %1: %2").arg(path, systemText(errno));
        return Descriptor();
    }
    struct stat status = {};
    if (::fstat(folder.get(), &status) != 0) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, systemText(errno));
        return Descriptor();
    }
    if (status.st_uid != ::geteuid()) {
        *why = QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(status.st_uid);
        return Descriptor();
    }
    if (writableByOthers(status)) {
        *why = QStringLiteral("other users may write to %1 (mode %2)")
                   .arg(path)
                   .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return Descriptor();
    }
    return folder;
}

Descriptor openOwnFile(int folder, const QByteArray &name, int flags, QString *why)
{
    // A FIFO or a device in the file's place must not stall the scan, nor become our
    // terminal.
    Descriptor file(::openat(folder, name.constData(),
                             flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!file.isValid()) {
        *why =
            QStringLiteral("cannot open %1: %2").arg(QString::fromLatin1(name), systemText(errno));
        return Descriptor();
    }
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || writableByOthers(status)) {
        *why = QStringLiteral("%1 is not a regular file of this user's")
                   .arg(QString::fromLatin1(name));
        return Descriptor();
    }
    return file;
}

LockState tryLock(int folder, const QByteArray &name, Descriptor *lock, QString *why)
{
    Descriptor file = openOwnFile(folder, name, O_RDONLY | O_CREAT, why);
    if (!file.isValid())
        return LockState::Unusable;
    // Only a holder that is gone frees a lock, never its age: a module may run for days.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return LockState::Held;
        *why =
            QStringLiteral("cannot lock %1: %2").arg(QString::fromLatin1(name), systemText(errno));
        return LockState::Unusable;
    }
    // A scan clearing a module that is gone removes the lock's name while it holds the
    // lock: what we took after it may be a file no longer named, while another module
    // holds the new one.
    struct stat taken = {};
    struct stat named = {};
    if (::fstat(file.get(), &taken) != 0 ||
        ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        taken.st_dev != named.st_dev || taken.st_ino != named.st_ino)
        return LockState::Held;
    *lock = std::move(file);
    return LockState::Taken;
}

} // namespace SimRegistry::Files

#endif // Q_OS_UNIX
