#include "logfile.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace LogFile {

bool save(const QString &path, const QString &text, QString *why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    // Encoded a piece at a time, so a log of hundreds of megabytes is not held twice; the
    // encoder keeps a character split between two pieces whole.
    constexpr qsizetype kPieceChars = 1 << 20;
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (qsizetype at = 0; at < text.size(); at += kPieceChars) {
        const QByteArray bytes = utf8.encode(QStringView(text).mid(at, kPieceChars));
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
