#include "filefailure.h"

#include "systemerror.h"

#include <QFileDevice>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace FileFailure {


QString reason(int systemError, const QString &fileText)
{
    if (systemError == 0)
        return fileText;
    return SystemError::described(systemError);
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
