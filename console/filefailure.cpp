#include "filefailure.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace FileFailure {

namespace {

QString cause(int systemError)
{
    switch (systemError) {
    case ENOSPC:
        return QStringLiteral("磁盘空间已满");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额");
#endif
    case EROFS:
        return QStringLiteral("文件系统是只读的");
    case EACCES:
        return QStringLiteral("没有写入的权限");
    case EPERM:
        return QStringLiteral("系统不允许这样做（文件可能被锁定为不可更改）");
    case ENOENT:
        return QStringLiteral("文件夹不存在，或已被删除");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case EFBIG:
        return QStringLiteral("文件超过了系统允许的大小");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    case EIO:
        return QStringLiteral("读写磁盘出错（设备可能已被拔出）");
#ifdef ESTALE
    case ESTALE:
        return QStringLiteral("网络上的文件已失效");
#endif
    default:
        return QStringLiteral("写入失败");
    }
}

} // namespace

QString reason(int systemError, const QString &fileText)
{
    if (systemError == 0)
        return fileText;
    return cause(systemError) + QStringLiteral("（") +
           QString::fromLocal8Bit(std::strerror(systemError)) + QStringLiteral("）");
}

bool writeAll(QFileDevice &file, QByteArrayView bytes, QString *why)
{
    // The system may take part of a piece and refuse the rest only on the next write: ask
    // again until it has all of it or says why not.
    while (!bytes.isEmpty()) {
        errno = 0;
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written <= 0) {
            *why = reason(errno, file.errorString());
            return false;
        }
        bytes = bytes.sliced(written);
    }
    return true;
}

bool sync(QFileDevice &file, QString *why)
{
#ifdef Q_OS_UNIX
    if (::fdatasync(file.handle()) != 0) {
        // A file system that cannot sync (a pipe, some network shares) has nothing to lose.
        if (errno == EINVAL || errno == EROFS)
            return true;
        *why = reason(errno, file.errorString());
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(why);
#endif
    return true;
}

} // namespace FileFailure
