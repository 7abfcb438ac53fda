#include "linesettings.h"

namespace {

// A speed is accepted only as the user typed it: ASCII digits and nothing else, so a
// blank, a sign or a decimal point makes it unusable rather than silently changed.
std::optional<qint32> parseSpeed(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint32 speed = text.toInt(&ok, 10);
    if (!ok || speed <= 0)
        return std::nullopt;
    return speed;
}

std::optional<QSerialPort::StopBits> parseStopBits(const QString &text)
{
    if (text == QLatin1String("1"))
        return QSerialPort::OneStop;
    if (text == QLatin1String("1.5"))
        return QSerialPort::OneAndHalfStop;
    if (text == QLatin1String("2"))
        return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseLineSettings(const QString &speedText, const QString &stopBitsText)
{
    const std::optional<qint32> speed = parseSpeed(speedText);
    const std::optional<QSerialPort::StopBits> stopBits = parseStopBits(stopBitsText);
    if (!speed || !stopBits)
        return std::nullopt;
    LineSettings settings;
    settings.baudRate = *speed;
    settings.stopBits = *stopBits;
    return settings;
}
