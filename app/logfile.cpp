#include "logfile.h"

#include "filefailure.h"

#include <QSaveFile>

#include <cerrno>

namespace LogFile {

bool save(const QString &path, const std::function<bool(QByteArray &)> &next, QString *why)
{
    QSaveFile file(path);
    // Unbuffered: each piece reaches the system as it is written, so that a refusal (a full
    // disk) is told by the write that meets it, with the system's reason; a buffer flushed
    // only at the commit could lose both the bytes and the reason.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *why = FileFailure::reason(errno, file.errorString());
        return false;
    }
    for (QByteArray bytes; next(bytes);) {
        if (!FileFailure::writeAll(file, bytes, why)) {
            file.cancelWriting();
            return false;
        }
    }
    // On the disk before it replaces the old file, which stays whole if that fails.
    if (!FileFailure::sync(file, why)) {
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        *why = FileFailure::reason(errno, file.errorString());
        return false;
    }
    return true;
}

} // namespace LogFile
