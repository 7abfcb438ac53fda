#pragma once

#include "logsink.h"

#include <QPlainTextEdit>
#include <QString>

// A log of the window: an editable multi-line text box that is appended to at its end.
// An append costs in proportion to what is appended, never to what the log holds, and
// leaves the caret at the end.
//
// A log may coalesce: text appended while the event loop is busy is gathered and shown
// once per event-loop turn, in slices, so a fast stream never stalls the window.
// A line longer than kMaxLineChars is shown as several rows of at most kMaxLineChars
// characters; no character is lost or reordered.
class LogView : public QPlainTextEdit, public LogSink
{
    Q_OBJECT
public:
    static constexpr int kMaxLineChars = 4096;
    static constexpr int kMaxSliceChars = 256 * 1024;

    explicit LogView(QWidget *parent = nullptr);

    void appendText(const QString &text) override;

    // Gather appends and show them once per event-loop turn (the receive log).
    void setCoalescing(bool on) { m_coalescing = on; }
    // Shows everything gathered so far.
    void flush();
    // Empties the log, including text gathered but not yet shown.
    void clearLog();

    // The log's text as shown, once everything gathered has been shown.
    QString shownText();

private:
    void insertAtEnd(const QString &text);
    void scheduleFlush();
    void flushSlice();

    bool m_coalescing = false;
    bool m_flushScheduled = false;
    QString m_pending;
    int m_lastLineLength = 0; // characters in the last row, to split very long lines
};
