#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// Line settings of an open port: the speed and stop bits come from the window,
// parity is always none, 8 data bits, no flow control.
struct LineSettings
{
    qint32 baudRate = 115200;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// The speed must be a whole positive number, the stop bits "1", "1.5" or "2", both as typed
// (no trimming). Anything else gives no settings, and the open takes its error path.
std::optional<LineSettings> parseLineSettings(const QString &speedText,
                                              const QString &stopBitsText);

// Why parseLineSettings() gave no settings, for the open-failure box's details.
QString lineSettingsProblem(const QString &speedText, const QString &stopBitsText);

// The stop bits as the window lists them: "1", "1.5" or "2".
QString stopBitsText(QSerialPort::StopBits stopBits);
