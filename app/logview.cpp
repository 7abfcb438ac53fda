#include "logview.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent)
{
    // A log only grows; an undo history of it would hold a second copy of everything.
    setUndoRedoEnabled(false);
}

void LogView::appendText(const QString &text)
{
    if (text.isEmpty())
        return;
    if (!m_coalescing) {
        insertAtEnd(text);
        return;
    }
    m_pending += text;
    scheduleFlush();
}

void LogView::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QTimer::singleShot(0, this, &LogView::flushSlice);
}

void LogView::flushSlice()
{
    m_flushScheduled = false;
    if (m_pending.isEmpty())
        return;
    if (m_pending.size() <= kMaxSliceChars) {
        const QString text = std::move(m_pending);
        m_pending = QString();
        insertAtEnd(text);
        return;
    }
    // A large backlog is shown a slice per turn, so input and painting keep running.
    insertAtEnd(m_pending.left(kMaxSliceChars));
    m_pending.remove(0, kMaxSliceChars);
    scheduleFlush();
}

void LogView::flush()
{
    while (!m_pending.isEmpty()) {
        const QString text = std::move(m_pending);
        m_pending = QString();
        insertAtEnd(text);
    }
}

void LogView::clearLog()
{
    m_pending.clear();
    clear();
    m_lastLineLength = 0;
}

QString LogView::shownText()
{
    flush();
    return toPlainText();
}

void LogView::insertAtEnd(const QString &text)
{
    // The user may have typed into the log; the last row's length is read back from the
    // document, which costs nothing, rather than trusted from before.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    m_lastLineLength = cursor.block().length() - 1;

    // Break rows that would grow past kMaxLineChars, so no single row is laid out again
    // and again as a stream without line breaks keeps arriving.
    QString out;
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    qsizetype runStart = 0;
    int line = m_lastLineLength;
    bool split = false;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == QLatin1Char('\n')) {
            line = 0;
            continue;
        }
        if (line == kMaxLineChars) {
            if (!split) {
                out.reserve(n + n / kMaxLineChars + 1);
                split = true;
            }
            out.append(p + runStart, i - runStart);
            out.append(QLatin1Char('\n'));
            runStart = i;
            line = 0;
        }
        ++line;
    }
    m_lastLineLength = line;
    if (split)
        out.append(p + runStart, n - runStart);

    cursor.insertText(split ? out : text);
    setTextCursor(cursor);
}
