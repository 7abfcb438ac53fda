#include "portidentity.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The node a system name opens: a path as it stands, links followed; a bare name in /dev.
QString nodeOf(const QString &systemName)
{
    const QString path =
        systemName.contains(QLatin1Char('/')) ? systemName : QStringLiteral("/dev/") + systemName;
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
    if (!usbPath.isEmpty() && !other.usbPath.isEmpty())
        return usbPath == other.usbPath || systemName == other.systemName;
    return systemName == other.systemName;
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

QString usbPathOfTty(const QString &ttyName, const QString &sysRoot)
{
    QString dir =
        QFileInfo(sysRoot + QStringLiteral("/class/tty/") + ttyName + QStringLiteral("/device"))
            .canonicalFilePath();
    const QString devices = QFileInfo(sysRoot + QStringLiteral("/devices")).canonicalFilePath();
    // Up from the tty's device to the USB interface it belongs to, if any.
    while (!dir.isEmpty() && dir.startsWith(devices + QLatin1Char('/'))) {
        if (QFileInfo::exists(dir + QStringLiteral("/bInterfaceNumber")))
            return QFileInfo(dir).fileName();
        dir = QFileInfo(dir).path();
    }
    return {};
}
