#include "portreopener.h"

#include "seriallink.h"

#include <algorithm>

#include <QFile>
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
    const QString path =
        systemName.contains(QLatin1Char('/')) ? systemName : QStringLiteral("/dev/") + systemName;
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#else
    // No device nodes here: the system's list of ports says whether it is there.
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    return std::any_of(infos.begin(), infos.end(),
                       [&](const QSerialPortInfo &info) { return info.portName() == systemName; });
#endif
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

void PortReopener::opened(const QString &systemName, const LineSettings &settings)
{
    m_poll.stop();
    m_settings = settings;
    m_sinceTry.invalidate();
    m_identified = m_enabled;
    m_device = m_enabled ? PortIdentity::of(systemName, m_options.ports())
                         : PortIdentity{systemName, {}, 0, 0, {}, {}};
}

bool PortReopener::takeLoss()
{
    if (!m_enabled || !m_identified)
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
    if (!m_device.isUsb()) {
        if (m_options.nodeReady(m_device.systemName))
            return m_device;
        return std::nullopt;
    }
    const std::optional<PortIdentity> found = m_device.findIn(m_options.ports());
    if (found && m_options.nodeReady(found->systemName))
        return found;
    return std::nullopt;
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
    m_poll.stop();
    m_device = *device;
    emit reopened(m_device.systemName);
}
