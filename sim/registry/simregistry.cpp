// The listing side: what the console program links to add running modules to its scan.
#include "simregistry.h"

#include "registryfiles.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>

namespace SimRegistry {

using namespace Files;

QString directory()
{
    const QString chosen = qEnvironmentVariable("QUORLIN_SIM_DIR");
    if (!chosen.isEmpty())
        return chosen;
    // Looked up once: Qt warns each time it has to make up a runtime folder.
    static const QString base = [] {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        return runtime.isEmpty() ? QDir::tempPath() : runtime;
    }();
    return QDir(base).filePath(QStringLiteral("quorlin-sim"));
}

QList<Entry> running()
{
    QList<Entry> entries;
    const QDir dir(directory());
    if (!dir.exists())
        return entries;
    const QString suffix = QLatin1String(kEntrySuffix);
    const QStringList files = dir.entryList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const QString key = file.left(file.size() - suffix.size());
        QLockFile lock(lockPathFor(dir, key));
        // A module may run for days without touching its lock: only a holder that is gone
        // makes a lock stale, never its age.
        lock.setStaleLockTime(0);
        if (lock.tryLock(0)) {
            // Nobody holds it: the module is gone. Clear its entry while holding the lock,
            // so a new module on the same port cannot be announcing at the same moment.
            QFile::remove(dir.filePath(file));
            lock.unlock();
            continue;
        }
        if (lock.error() != QLockFile::LockFailedError)
            continue; // unreadable: we cannot tell, so we do not offer it
        QFile entry(dir.filePath(file));
        if (!entry.open(QIODevice::ReadOnly))
            continue;
        // The port name, then the name the module chose to be listed by.
        const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
        const QString portName = lines.value(0).trimmed();
        if (portName.isEmpty())
            continue;
        const QString shown = lines.value(1).trimmed();
        entries.append({portName, shown.isEmpty() ? portName : shown});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.portName < b.portName; });
    return entries;
}

} // namespace SimRegistry
