#pragma once

#include "linestamps.h"
#include "logsink.h"

// A log sink in front of another that puts a time stamp in front of each line when stamps
// are on: the send log's lines, stamped with the time they were logged.
class StampedLog : public LogSink
{
public:
    explicit StampedLog(LogSink &log, LineStamps::Clock clock = LineStamps::localTime)
        : m_log(log), m_clock(std::move(clock))
    {}

    void appendText(const QString &text) override
    {
        QTime now;
        if (m_stamps.on())
            now = m_clock();
        m_log.appendText(m_stamps.stamp(text, now, now));
    }

    void setTimeStamps(bool on) { m_stamps.setOn(on); }
    // The log was emptied: the next text begins a line.
    void logCleared() { m_stamps.logCleared(); }

private:
    LogSink &m_log;
    LineStamps::Clock m_clock;
    LineStamps m_stamps;
};
