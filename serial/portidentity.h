#pragma once

#include <QList>
#include <QString>

#include <optional>

// What tells one serial device from another beyond its system name. A USB adapter has
// vendor and product ids and often a serial number; where the system says so, the USB path
// it hangs on ("1-1.2:1.0": bus, hub ports, configuration and interface) names the socket
// it is plugged into. A UART or a pseudo-terminal has none of these: its name is all.
struct PortIdentity
{
    QString systemName; // as the port is opened: "ttyUSB0", "COM3", "/dev/pts/4", a path
    QString location;   // its device node ("/dev/ttyUSB0"); empty where there is none
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNumber;
    QString usbPath;

    bool isUsb() const { return vendorId != 0 || productId != 0 || !usbPath.isEmpty(); }
    // The interface of a many-port adapter, which shares one serial number among its ports:
    // what follows the colon of the USB path, empty when unknown.
    QString usbInterface() const { return usbPath.section(QLatin1Char(':'), 1); }

    // The device `systemName` names among the ports there now (by name, or by the node its
    // path leads to), with what tells it apart; the name alone when it is not among them.
    static PortIdentity of(const QString &systemName, const QList<PortIdentity> &present);

    // Whether `other` is this same adapter, whatever it is called now. Only for a USB
    // adapter: the same ids and interface, then the same serial number; without one on
    // either side, the same USB path or the same system name.
    bool sameAdapter(const PortIdentity &other) const;

    // This adapter among the ports there now, preferring one under its old name; none when
    // it is not there. Only for a USB adapter.
    std::optional<PortIdentity> findIn(const QList<PortIdentity> &present) const;
};

// The machine's USB serial adapters with what tells them apart. On Linux read from sysfs,
// as soon as the kernel has the device and before the desktop's device manager has named it,
// in a millisecond or two; elsewhere from the system's list of ports.
QList<PortIdentity> usbPortIdentities();
