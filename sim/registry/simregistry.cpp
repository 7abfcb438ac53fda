// The listing side: what the console program links to add running modules to its scan.
#include "simregistry.h"

#include "registryfiles.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace SimRegistry {

using namespace Files;

QString directory()
{
    const QString chosen = qEnvironmentVariable("QUORLIN_SIM_DIR");
    if (!chosen.isEmpty())
        return chosen;
    // Read from the environment, not through Qt, which warns on every start when there is
    // no runtime folder (after su, sudo, over ssh) and makes one up.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        return QDir(runtime).filePath(QStringLiteral("quorlin-sim"));
#ifdef Q_OS_UNIX
    // The temporary folder is everybody's: one name per user, so that users do not stand
    // in each other's way. Another user may still have made it first; the folder is then
    // not used.
    return QDir(QDir::tempPath()).filePath(QStringLiteral("quorlin-sim-%1").arg(::geteuid()));
#else
    return QDir(QDir::tempPath()).filePath(QStringLiteral("quorlin-sim"));
#endif
}

#ifdef Q_OS_UNIX
namespace {

// The module a file belongs to, by its key: "<key>.entry", or ".<key>.entry.<pid>" that a
// module writes aside before renaming it into place. Other files are none of ours.
QByteArray keyOf(const QByteArray &name)
{
    const QByteArray suffix(kEntrySuffix);
    if (name.endsWith(suffix))
        return name.chopped(suffix.size());
    const qsizetype aside = name.indexOf(suffix + '.');
    return name.startsWith('.') && aside > 1 ? name.mid(1, aside - 1) : QByteArray();
}

QList<QByteArray> moduleFiles(int folder)
{
    QList<QByteArray> names;
    const int listing = ::dup(folder);
    DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        return names;
    }
    while (const dirent *found = ::readdir(dir)) {
        const QByteArray name(found->d_name);
        if (!keyOf(name).isEmpty())
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end()); // two entries naming one port keep one order
    return names;
}

// The port name, then the name the module chose to be listed by; a few KB at most.
std::optional<Entry> readEntry(int folder, const QByteArray &name)
{
    QString why;
    const Descriptor file = openOwnFile(folder, name, O_RDONLY, &why);
    if (!file.isValid())
        return std::nullopt;
    QByteArray text(kMaxEntryBytes + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.get(), text.data() + got, size_t(text.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    if (got > kMaxEntryBytes)
        return std::nullopt;
    text.truncate(got);
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    const QString portName = lines.value(0).trimmed();
    if (portName.isEmpty())
        return std::nullopt;
    const QString shown = lines.value(1).trimmed();
    return Entry{portName, shown.isEmpty() ? portName : shown};
}

} // namespace
#endif

QList<Entry> running()
{
    QList<Entry> entries;
#ifdef Q_OS_UNIX
    QString why;
    const Descriptor folder = openFolder(directory(), false, &why);
    if (!folder.isValid()) {
        if (!why.isEmpty())
            qWarning("quorlin: simulated modules not listed: %s", qPrintable(why));
        return entries;
    }
    for (const QByteArray &name : moduleFiles(folder.get())) {
        const QByteArray lockName = keyOf(name) + kLockSuffix;
        Descriptor lock;
        const LockState state = tryLock(folder.get(), lockName, &lock, &why);
        if (state == LockState::Taken) {
            // Nobody holds it: the module is gone. Clear what it left while holding the
            // lock, so a new module on the same port cannot be announcing at that moment.
            ::unlinkat(folder.get(), name.constData(), 0);
            ::unlinkat(folder.get(), lockName.constData(), 0);
            continue;
        }
        // Unusable: we cannot tell, so we do not offer it. Held, for an entry written
        // aside: its module is writing it now.
        if (state == LockState::Unusable || !name.endsWith(kEntrySuffix))
            continue;
        if (const std::optional<Entry> entry = readEntry(folder.get(), name))
            entries.append(*entry);
    }
#endif
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.portName < b.portName; });
    return entries;
}

} // namespace SimRegistry
