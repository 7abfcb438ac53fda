#include "portdiscovery.h"

#include <QSerialPortInfo>

QString friendlyNameFor(const QString &description, const QString &portName)
{
    if (description.isEmpty())
        return portName;
    return description + QStringLiteral(" (") + portName + QLatin1Char(')');
}

QList<PortEntry> systemPorts()
{
    QList<PortEntry> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        QString name = info.portName();
        if (name.isEmpty())
            name = QString::fromLatin1(kUnreadablePortName);
        ports.append({name, friendlyNameFor(info.description(), name)});
    }
    return ports;
}

QString portReportText(const QList<PortEntry> &ports)
{
    QString report;
    for (const PortEntry &port : ports) {
        report += QStringLiteral("PortName: ") + port.portName + QLatin1Char('\t') +
                  QStringLiteral("-> FriendlyName: ") + port.friendlyName + QStringLiteral("\r\n");
    }
    return report;
}
