#pragma once

#include <QList>
#include <QString>

// One serial device as the port list shows it: the system name that is opened and the
// descriptive name the user picks.
struct PortEntry
{
    QString portName;
    QString friendlyName;
    bool operator==(const PortEntry &other) const
    {
        return portName == other.portName && friendlyName == other.friendlyName;
    }
};

// The port name shown when a device's name cannot be read (note the trailing blank).
inline constexpr const char *kUnreadablePortName = "Err ";

// "description (portName)", or the port name alone when there is no description.
QString friendlyNameFor(const QString &description, const QString &portName);

// The machine's serial ports, in QSerialPortInfo's order.
QList<PortEntry> systemPorts();

// One line per device: "PortName: " name TAB "-> FriendlyName: " friendly CR LF.
// No device gives the empty text.
QString portReportText(const QList<PortEntry> &ports);
