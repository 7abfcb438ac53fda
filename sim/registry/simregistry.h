#pragma once

#include <QList>
#include <QString>

#include <memory>

class QLockFile;

// Running simulated modules announce themselves in a folder of the user's runtime
// location, so that the console's scan can list them after the machine's real ports.
// Each module holds a lock file there while it runs; an entry whose lock can be taken
// belongs to a module that is gone and is skipped.
//
// The simulator announces; the console program reads, through withRunning() on its port
// scan. The serial library itself knows nothing of this.
namespace SimRegistry {

struct Entry
{
    QString portName;     // the path of the pseudo-terminal's slave side
    QString friendlyName; // as the module announced it, else the port name
};

// The folder: the environment variable QUORLIN_SIM_DIR when set (tests use their own),
// else "quorlin-sim" in the runtime location, or in the temporary folder without one.
QString directory();

// The modules that run now, sorted by port name. Entries left by a module that is gone
// are removed on the way.
QList<Entry> running();

// The name a module announces itself by: "ESP8266 模拟模块 (" + portName + ")".
QString friendlyName(const QString &portName);

// The ports given (the machine's own), then every running module, each as the port list
// shows it: Port is any {portName, friendlyName} pair.
template <typename Port> QList<Port> withRunning(QList<Port> ports)
{
    const QList<Entry> modules = running();
    for (const Entry &module : modules)
        ports.append({module.portName, module.friendlyName});
    return ports;
}

// A module's announcement: while it lives, running() lists the port by friendlyName(). It
// takes the lock first and writes the entry second, and undoes both in the reverse order.
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
    QString m_entryPath;
    std::unique_ptr<QLockFile> m_lock;
    bool m_valid = false;
    QString m_error;
};

} // namespace SimRegistry
