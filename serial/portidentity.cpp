#include "portidentity.h"

#include "portfailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

// The node a system name opens: a path as it stands, links followed; a bare name in /dev.
QString nodeOf(const QString &systemName)
{
    const QString path = PortFailure::deviceOf(systemName);
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

} // namespace

PortIdentity PortIdentity::of(const QString &systemName, const QList<PortIdentity> &present)
{
    const QString node = nodeOf(systemName);
    for (const PortIdentity &port : present) {
        if (port.systemName == systemName || (!port.location.isEmpty() && port.location == node)) {
            PortIdentity found = port;
            found.systemName = systemName;
            return found;
        }
    }
    return {systemName, {}, 0, 0, {}, {}};
}

bool PortIdentity::sameAdapter(const PortIdentity &other) const
{
    if (!isUsb() || !other.isUsb() || vendorId != other.vendorId || productId != other.productId)
        return false;
    if (!usbInterface().isEmpty() && !other.usbInterface().isEmpty() &&
        usbInterface() != other.usbInterface())
        return false;
    if (!serialNumber.isEmpty() || !other.serialNumber.isEmpty())
        return serialNumber == other.serialNumber;
    // Without serial numbers, the socket it hangs on, or else the name the system gave it.
    return systemName == other.systemName || (!usbPath.isEmpty() && usbPath == other.usbPath);
}

std::optional<PortIdentity> PortIdentity::findIn(const QList<PortIdentity> &present) const
{
    std::optional<PortIdentity> found;
    for (const PortIdentity &port : present) {
        if (!sameAdapter(port))
            continue;
        if (port.systemName == systemName)
            return port;
        if (!found)
            found = port;
    }
    return found;
}

QList<PortIdentity> usbPortIdentities()
{
    QList<PortIdentity> ports;
#ifdef Q_OS_LINUX
    const auto read = [](const QDir &dir, const char *file) {
        QFile f(dir.filePath(QLatin1String(file)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().trimmed()) : QString();
    };
    const QDir ttys(QStringLiteral("/sys/class/tty"));
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo &tty : ttys.entryInfoList(all)) {
        if (!tty.symLinkTarget().contains(QLatin1String("/usb")))
            continue;
        // Up from the tty to the USB interface it hangs on, below the adapter itself.
        QDir dir(tty.canonicalFilePath());
        while (dir.cdUp() && !dir.exists(QStringLiteral("bInterfaceNumber"))) {
        }
        QDir adapter = dir;
        if (dir.isRoot() || !adapter.cdUp())
            continue;
        const QString name = tty.fileName();
        ports.append({name, QStringLiteral("/dev/") + name,
                      quint16(read(adapter, "idVendor").toUInt(nullptr, 16)),
                      quint16(read(adapter, "idProduct").toUInt(nullptr, 16)),
                      read(adapter, "serial"), dir.dirName()});
    }
#else
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.hasVendorIdentifier())
            ports.append({info.portName(),
                          info.systemLocation(),
                          info.vendorIdentifier(),
                          info.productIdentifier(),
                          info.serialNumber(),
                          {}});
    }
#endif
    return ports;
}
