#include "logfile.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace LogFile {

bool save(const QString &path, const QString &text, QString *why)
{
    // Encoded a piece at a time, so a log of hundreds of megabytes is not held twice; the
    // encoder keeps a character split between two pieces whole.
    constexpr qsizetype kPieceChars = 1 << 20;
    QStringEncoder utf8(QStringEncoder::Utf8);
    qsizetype at = 0;
    return save(
        path,
        [&](QByteArray &bytes) {
            if (at >= text.size())
                return false;
            bytes = utf8.encode(QStringView(text).mid(at, kPieceChars));
            at += kPieceChars;
            return true;
        },
        why);
}

bool save(const QString &path, const std::function<bool(QByteArray &)> &next, QString *why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    for (QByteArray bytes; next(bytes);) {
        if (file.write(bytes) != bytes.size()) {
            *why = file.errorString();
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

} // namespace LogFile
