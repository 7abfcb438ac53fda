#pragma once

#include <QString>
#include <QTime>

#include <functional>

// Time stamps for the lines of a log: "[HH:MM:SS.mmm] " (local time, 24-hour clock) in front
// of each line, the time the line's first byte came. Keeps whether the log's last line is
// open, so that stamps switched on apply from the next line that begins.
class LineStamps
{
public:
    // The local time of day; tests give a clock of their own.
    using Clock = std::function<QTime()>;
    static QTime localTime() { return QTime::currentTime(); }

    void setOn(bool on) { m_on = on; }
    bool on() const { return m_on; }

    // The log ends with a line break, or is empty.
    bool atLineStart() const { return m_atLineStart; }

    // `text`, about to be appended to the log; when stamps are on, with a stamp in front of
    // each line it begins: the first one begun at `first`, the others at `rest`.
    QString stamp(const QString &text, QTime first, QTime rest);

    void logCleared() { m_atLineStart = true; }

private:
    static QString format(QTime time);
    const QString &formatted(QTime time);

    bool m_on = false;
    bool m_atLineStart = true;
    QTime m_lastTime;
    QString m_lastStamp;
};
