#pragma once

#include <QDir>
#include <QString>

// The files of the registry folder, shared by the side that announces a module and the
// side that lists them: per module an entry ("<key>.entry": the port name, then the
// friendly name, one per line) and the lock its module holds while it runs.
namespace SimRegistry::Files {

inline constexpr const char *kEntrySuffix = ".entry";
inline constexpr const char *kLockSuffix = ".lock";

// One file name per port, and never the same name for two ports, even where file names
// ignore case: lower-case letters and digits stay, every other byte of the UTF-8 path
// becomes "_" and two hex digits ("/dev/pts/3" becomes "_2fdev_2fpts_2f3").
inline QString keyFor(const QString &portName)
{
    QString key;
    for (const char c : portName.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z'))
            key.append(QLatin1Char(c));
        else
            key.append(QLatin1Char('_') + QString::number(u, 16).rightJustified(2, u'0'));
    }
    return key;
}

inline QString lockPathFor(const QDir &dir, const QString &key)
{
    return dir.filePath(key + QLatin1String(kLockSuffix));
}

inline QString entryPathFor(const QDir &dir, const QString &key)
{
    return dir.filePath(key + QLatin1String(kEntrySuffix));
}

} // namespace SimRegistry::Files
