#include "linesettings.h"

#include <QStringList>

namespace {

// A speed is accepted only as the user typed it: ASCII digits and nothing else, so a
// blank, a sign or a decimal point makes it unusable rather than silently changed.
bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

std::optional<qint32> parseSpeed(const QString &text)
{
    if (!allDigits(text))
        return std::nullopt;
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

QString lineSettingsProblem(const QString &speedText, const QString &stopBitsText)
{
    QStringList problems;
    if (!parseSpeed(speedText)) {
        // Digits that are not all zeros make a whole positive number all the same, only one
        // too large for the port to be set to.
        const bool tooLarge = allDigits(speedText) && speedText.count(u'0') != speedText.size();
        problems.append(tooLarge ? QStringLiteral("波特率“%1”超出串口能设置的范围。").arg(speedText)
                                 : QStringLiteral("波特率“%1”不是正整数。").arg(speedText));
    }
    if (!parseStopBits(stopBitsText))
        problems.append(QStringLiteral("停止位“%1”不是 1、1.5 或 2。").arg(stopBitsText));
    return problems.join(QLatin1Char('\n'));
}

QString stopBitsText(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneStop:
        return QStringLiteral("1");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    }
    return QString::number(int(stopBits));
}
