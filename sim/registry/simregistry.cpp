// The listing side: what the console program links to add running modules to its scan.
#include "simregistry.h"

#include "registryfiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// Whether the module that wrote the file `name` still runs (its lock is held). Nobody
// holding it means the module is gone: what it left is cleared while we hold the lock, so
// a new module on the same port cannot be announcing at that moment.
LockState probe(int folder, const QByteArray &name, QString *why)
{
    const QByteArray lockName = keyOf(name) + kLockSuffix;
    Descriptor lock;
    const LockState state = tryLock(folder, lockName, &lock, why);
    if (state == LockState::Taken) {
        ::unlinkat(folder, name.constData(), 0);
        ::unlinkat(folder, lockName.constData(), 0);
    }
    return state;
}

} // namespace
#endif

QString whyNotOpen(const QString &portName)
{
#ifdef Q_OS_UNIX
    const QString again = QStringLiteral("请重新扫描。");
    QString why;
    const Descriptor folder = openFolder(directory(), false, &why);
    LockState state = LockState::Unusable;
    if (folder.isValid())
        state = probe(folder.get(), keyFor(portName).toLatin1() + kEntrySuffix, &why);
    if (state == LockState::Taken || (state == LockState::Unusable && why.isEmpty())) {
        return QStringLiteral("模拟模块 %1 已停止运行。这个伪终端此后可能已分给别的程序或用户，"
                              "为免把数据发给别人，没有打开它。")
                   .arg(portName) +
               again;
    }
    if (state == LockState::Unusable) {
        return QStringLiteral("无法确认模拟模块 %1 仍在运行（%2），没有打开它。")
                   .arg(portName, why) +
               again;
    }
    struct stat terminal = {};
    if (::stat(QFile::encodeName(portName).constData(), &terminal) != 0) {
        return QStringLiteral("模拟模块的伪终端 %1 已不存在（%2）。")
                   .arg(portName, QString::fromLocal8Bit(std::strerror(errno))) +
               again;
    }
    if (terminal.st_uid != ::geteuid()) {
        return QStringLiteral("伪终端 %1 属于另一个用户（uid %2），不是本用户的模拟模块，"
                              "为免把数据发给别人，没有打开它。")
                   .arg(portName)
                   .arg(terminal.st_uid) +
               again;
    }
#else
    Q_UNUSED(portName);
#endif
    return QString();
}

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
        const LockState state = probe(folder.get(), name, &why);
        // Taken: the module is gone. Unusable: we cannot tell, so we do not offer it. Held,
        // for an entry written aside: its module is writing it now.
        if (state != LockState::Held || !name.endsWith(kEntrySuffix))
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
