#pragma once

#include <QList>
#include <QString>

#include <functional>

// One serial device as the port list shows it: the system name that is opened and the
// descriptive name the user picks.
struct PortEntry
{
    QString portName;
    QString friendlyName;
    // Asked again when the entry is opened, for an entry whose device may have changed
    // hands since the scan: why it must not be opened now, or empty. None: open as it is.
    std::function<QString()> whyNotOpen = nullptr;
    // The same device under the same name; the check is not compared.
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
