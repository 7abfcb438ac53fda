#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Running simulated modules announce themselves in a folder of the user's runtime
// location, so that the console's scan can list them after the machine's real ports.
// Each module holds a lock file there while it runs; an entry whose lock can be taken
// belongs to a module that is gone and is removed. The folder is used only when it is the
// user's own, and only regular files of the user's in it are read (see registryfiles.h).
//
// The simulator announces; the console program reads, through withRunning() on its port
// scan. The serial library itself knows nothing of this.
namespace SimRegistry {

struct Entry
{
    QString portName;     // the path of the pseudo-terminal's slave side
    QString friendlyName; // as the module announced it, else the port name
};

// The folder: the environment variable QUORLIN_SIM_DIR when set (a set of modules kept
// apart from others; the manual pages and the README say so), else "quorlin-sim" in
// XDG_RUNTIME_DIR, or "quorlin-sim-<uid>" in the temporary folder without one.
QString directory();

// The modules that run now, sorted by port name. Entries left by a module that is gone
// are removed on the way. A folder that is not the user's own is not used: nothing is
// listed, and one line on standard error says why.
QList<Entry> running();

// The name a module announces itself by: "ESP8266 模拟模块 (" + portName + ")".
QString friendlyName(const QString &portName);

// Why the module listed on `portName` must not be opened now, or empty when it may. The
// entry is opened long after the scan: its module may have stopped since, and its
// pseudo-terminal gone to another user, who would then read what the console sends. So
// it is opened only while its module still runs (its lock is held) and the terminal is
// this user's. The text is for the open-failure box.
QString whyNotOpen(const QString &portName);

// The ports given (the machine's own), then every running module, each as the port list
// shows it: Port is any {portName, friendlyName, whyNotOpen} triple, the last asked again
// when the entry is opened.
template <typename Port> QList<Port> withRunning(QList<Port> ports)
{
    const QList<Entry> modules = running();
    for (const Entry &module : modules) {
        const QString portName = module.portName;
        ports.append({portName, module.friendlyName, [portName] { return whyNotOpen(portName); }});
    }
    return ports;
}

// A module's announcement: while it lives, running() lists the port by friendlyName(). It
// takes the lock first and writes the entry second, and undoes both in the reverse order.
// It makes the folder (for the user alone) and refuses one that is not the user's own.
class Announcement
{
public:
    explicit Announcement(const QString &portName);
    ~Announcement();
    Announcement(const Announcement &) = delete;
    Announcement &operator=(const Announcement &) = delete;

    bool isValid() const { return m_valid; }
    QString errorString() const { return m_error; }

private:
    int m_folder = -1; // the registry folder, opened once: its files are reached through it
    int m_lock = -1;   // held while the module runs
    QByteArray m_entryName;
    QByteArray m_lockName;
    bool m_valid = false;
    QString m_error;
};

} // namespace SimRegistry
