#include "simregistry.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace SimRegistry {

namespace {

constexpr const char *kEntrySuffix = ".entry";
constexpr const char *kLockSuffix = ".lock";
constexpr int kLockWaitMs = 2000;

// One file name per port, and never the same name for two ports, even where file names
// ignore case: lower-case letters and digits stay, every other byte of the UTF-8 path
// becomes "_" and two hex digits ("/dev/pts/3" becomes "_2fdev_2fpts_2f3").
QString keyFor(const QString &portName)
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

QString lockPathFor(const QDir &dir, const QString &key)
{
    return dir.filePath(key + QLatin1String(kLockSuffix));
}

} // namespace

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

QString friendlyName(const QString &portName)
{
    return QStringLiteral("ESP8266 模拟模块 (") + portName + QLatin1Char(')');
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
        const QString portName = QString::fromUtf8(entry.readAll()).trimmed();
        if (portName.isEmpty())
            continue;
        entries.append({portName, friendlyName(portName)});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.portName < b.portName; });
    return entries;
}

Announcement::Announcement(const QString &portName)
{
    QDir dir(directory());
    if (!dir.mkpath(QStringLiteral("."))) {
        m_error = QStringLiteral("cannot create %1").arg(dir.path());
        return;
    }
    const QString key = keyFor(portName);
    auto lock = std::make_unique<QLockFile>(lockPathFor(dir, key));
    lock->setStaleLockTime(0);
    // A scan may hold the lock for a moment while it clears a stale entry: wait for it.
    if (!lock->tryLock(kLockWaitMs)) {
        m_error = QStringLiteral("cannot lock %1").arg(lockPathFor(dir, key));
        return;
    }
    const QString entryPath = dir.filePath(key + QLatin1String(kEntrySuffix));
    QSaveFile entry(entryPath);
    if (!entry.open(QIODevice::WriteOnly) || entry.write(portName.toUtf8() + '\n') < 0 ||
        !entry.commit()) {
        m_error = QStringLiteral("cannot write %1").arg(entryPath);
        return; // the lock goes with `lock`
    }
    m_lock = std::move(lock);
    m_entryPath = entryPath;
    m_valid = true;
}

Announcement::~Announcement()
{
    if (!m_valid)
        return;
    QFile::remove(m_entryPath);
    m_lock->unlock();
}

} // namespace SimRegistry
