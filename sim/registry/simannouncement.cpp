// The announcing side, kept apart from the listing side so that a program that only lists
// modules (the console) links neither it nor the name a module is listed by.
#include "simregistry.h"

#include "registryfiles.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>

namespace SimRegistry {

using namespace Files;

namespace {

// A scan may hold a module's lock for a moment while it clears a stale entry.
constexpr int kLockWaitMs = 2000;

} // namespace

QString friendlyName(const QString &portName)
{
    return QStringLiteral("ESP8266 模拟模块 (") + portName + QLatin1Char(')');
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
    const QString entryPath = entryPathFor(dir, key);
    QSaveFile entry(entryPath);
    const QByteArray text = (portName + QLatin1Char('\n') + friendlyName(portName)).toUtf8() + '\n';
    if (!entry.open(QIODevice::WriteOnly) || entry.write(text) < 0 || !entry.commit()) {
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
