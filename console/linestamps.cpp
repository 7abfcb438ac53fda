#include "linestamps.h"

#include <QStringView>

#include <cstdio>

QString LineStamps::stamp(const QString &text, QTime first, QTime rest)
{
    if (text.isEmpty())
        return text;
    const bool began = m_atLineStart;
    m_atLineStart = text.endsWith(QLatin1Char('\n'));
    if (!m_on)
        return text;

    QString out;
    out.reserve(text.size() + 64);
    qsizetype from = 0;
    QTime time = first;
    if (began)
        out += formatted(time);
    // A line begins after each break that something follows.
    for (qsizetype at; (at = text.indexOf(QLatin1Char('\n'), from)) >= 0 && at + 1 < text.size();
         from = at + 1) {
        out += QStringView(text).sliced(from, at + 1 - from);
        time = rest;
        out += formatted(time);
    }
    out += QStringView(text).sliced(from);
    return out;
}

// The lines of one read share its time: the stamp is written once per read.
const QString &LineStamps::formatted(QTime time)
{
    if (time != m_lastTime || m_lastStamp.isEmpty()) {
        m_lastTime = time;
        m_lastStamp = format(time);
    }
    return m_lastStamp;
}

QString LineStamps::format(QTime time)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d.%03d] ", time.hour(), time.minute(),
                  time.second(), time.msec());
    return QString::fromLatin1(buffer);
}
