#include "portreopener.h"

#include "portfailure.h"
#include "seriallink.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

bool nodeReadyToOpen(const QString &systemName)
{
#ifdef Q_OS_UNIX
    // Right after an adapter appears its node may still wait for the permissions the
    // system gives it: until then it is not there for us.
    const QString path = PortFailure::deviceOf(systemName);
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#else
    // No device nodes here: the system's list of ports says whether it is there.
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    return std::any_of(infos.begin(), infos.end(),
                       [&](const QSerialPortInfo &info) { return info.portName() == systemName; });
#endif
}

// A pseudo-terminal by its own node, not through a link of the user's making.
bool isPseudoTerminalNode(const QString &systemName)
{
    const QFileInfo node(systemName);
    return !node.isSymLink() && node.canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
}

} // namespace

PortReopener::PortReopener(SerialLink &link, Options options, QObject *parent)
    : QObject(parent), m_link(link), m_options(std::move(options))
{
    if (!m_options.ports)
        m_options.ports = usbPortIdentities;
    if (!m_options.nodeReady)
        m_options.nodeReady = nodeReadyToOpen;
    m_poll.setInterval(m_options.pollMs);
    connect(&m_poll, &QTimer::timeout, this, &PortReopener::look);
}

void PortReopener::setEnabled(bool on)
{
    m_enabled = on;
    if (!on) {
        stopWaiting();
        return;
    }
    // Switched on while the port is open: the device is there to be told apart now.
    if (m_link.isOpen() && !m_identified && !m_device.systemName.isEmpty()) {
        m_device = PortIdentity::of(m_device.systemName, m_options.ports());
        m_identified = true;
    }
}

void PortReopener::opened(const QString &systemName, const LineSettings &settings,
                          std::function<QString()> whyNotOpen)
{
    m_poll.stop();
    m_settings = settings;
    m_whyNotOpen = std::move(whyNotOpen);
    m_recognisable = m_whyNotOpen || !isPseudoTerminalNode(systemName);
    m_sinceTry.invalidate();
    m_identified = m_enabled;
    m_device = m_enabled ? PortIdentity::of(systemName, m_options.ports())
                         : PortIdentity{systemName, {}, 0, 0, {}, {}};
}

bool PortReopener::takeLoss()
{
    if (!m_enabled || !m_identified || !m_recognisable)
        return false;
    m_poll.start();
    emit waitingFor(m_device.systemName);
    return true;
}

void PortReopener::stopWaiting()
{
    if (!isWaiting())
        return;
    m_poll.stop();
    emit stopped(m_device.systemName);
}

std::optional<PortIdentity> PortReopener::present() const
{
    std::optional<PortIdentity> found;
    if (!m_device.isUsb())
        found = m_device;
    else
        found = m_device.findIn(m_options.ports());
    if (!found || !m_options.nodeReady(found->systemName) ||
        (m_whyNotOpen && !m_whyNotOpen().isEmpty()))
        return std::nullopt;
    return found;
}

void PortReopener::look()
{
    const std::optional<PortIdentity> device = present();
    if (!device) {
        // Gone again: when it comes back it is tried at once.
        m_sinceTry.invalidate();
        return;
    }
    if (m_sinceTry.isValid() && m_sinceTry.elapsed() < m_options.retryMs)
        return;
    m_sinceTry.start();
    // A failure is not reported: the next look tries again.
    if (!m_link.open(device->systemName, m_settings))
        return;
    // It may have changed hands while it was being opened.
    if (m_whyNotOpen && !m_whyNotOpen().isEmpty()) {
        m_link.close();
        return;
    }
    m_poll.stop();
    m_device = *device;
    emit reopened(m_device.systemName);
}
