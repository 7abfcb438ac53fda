#pragma once

#include <QByteArray>
#include <QString>

#include <utility>

// The files of the registry folder, shared by the side that announces a module and the
// side that lists them: per module an entry ("<key>.entry": the port name, then the
// friendly name, one per line; written as ".<key>.entry.<pid>" and renamed into place) and
// the lock its module holds while it runs.
//
// The folder may sit in the temporary folder every user shares, so nothing in it is
// trusted: the folder is used only when it is this user's own, and a file in it is read
// or locked only when it is a regular file of this user's, opened without following a
// link and without waiting. Everything is reached through the opened folder, so nothing
// outside it is ever read, locked or removed.
namespace SimRegistry::Files {

inline constexpr const char *kEntrySuffix = ".entry";
inline constexpr const char *kLockSuffix = ".lock";
// An entry is two short lines; a longer file is not one a module wrote.
inline constexpr qsizetype kMaxEntryBytes = 4096;

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

// A file descriptor that is closed when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor();
    Descriptor(Descriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor &operator=(Descriptor &&other) noexcept;
    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// The registry folder, opened only when it is this user's own: a folder, not a link to
// one, owned by this user, that no one else may write to. With `create` a missing folder
// is made first, for this user alone. On refusal `why` says what is wrong with it; it
// stays empty when the folder simply does not exist.
Descriptor openFolder(const QString &path, bool create, QString *why);

// The file `name` of the folder, kept only when it is a regular file owned by this user
// that no one else may write to. `flags` are open(2)'s access flags, with O_CREAT (made
// for this user alone) or O_EXCL as needed.
Descriptor openOwnFile(int folder, const QByteArray &name, int flags, QString *why);

enum class LockState
{
    Taken,   // nobody held it: it is ours now, in `lock`
    Held,    // a running module holds it
    Unusable // no regular file of ours: whether a module runs cannot be told
};

// Tries once, without waiting, to take the lock file `name`, making it when it is
// missing. A lock counts only while its name still names the file locked.
LockState tryLock(int folder, const QByteArray &name, Descriptor *lock, QString *why);

} // namespace SimRegistry::Files
