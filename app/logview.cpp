#include "logview.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent), m_flushTimer(new QTimer(this))
{
    // A log only grows; an undo history of it would hold a second copy of everything.
    setUndoRedoEnabled(false);
    m_flushTimer->setSingleShot(true);
    connect(m_flushTimer, &QTimer::timeout, this, &LogView::flushSlice);
    connect(document(), &QTextDocument::contentsChange, this, [this] {
        if (!m_inserting)
            m_tailKnown = false;
    });
}

void LogView::appendText(const QString &text)
{
    if (text.isEmpty())
        return;
    if (!m_coalescing) {
        insertAtEnd(text);
        return;
    }
    m_pending.append(text);
    m_pendingChars += text.size();
    scheduleFlush();
}

void LogView::scheduleFlush()
{
    if (m_flushTimer->isActive())
        return;
    // Text after a quiet spell shows in the next turn; a stream shows at most once per
    // interval, so each insert and repaint carries many reads, and never more often than
    // leaves the loop half its time for reading, input and the rest of the window.
    qint64 wait = 0;
    if (m_sinceFlush.isValid()) {
        const qint64 period = qMax<qint64>(kFlushIntervalMs, 2 * m_showNs / 1'000'000);
        wait = qMax<qint64>(0, period - m_sinceFlush.elapsed());
    }
    m_flushTimer->start(int(wait));
}

QString LogView::takePending(qsizetype maxChars)
{
    if (m_pendingFront == 0 && m_pending.size() == 1 && m_pendingChars <= maxChars) {
        m_pendingChars = 0;
        return m_pending.takeFirst();
    }
    QString out;
    out.reserve(qMin(maxChars, m_pendingChars));
    while (!m_pending.isEmpty() && out.size() < maxChars) {
        const QString &piece = m_pending.first();
        const qsizetype take = qMin(piece.size() - m_pendingFront, maxChars - out.size());
        out.append(QStringView(piece).mid(m_pendingFront, take));
        m_pendingFront += take;
        if (m_pendingFront == piece.size()) {
            m_pending.removeFirst();
            m_pendingFront = 0;
        }
    }
    m_pendingChars -= out.size();
    return out;
}

void LogView::flushSlice()
{
    if (m_pendingChars == 0)
        return;
    m_sinceFlush.start();
    insertAtEnd(takePending(kMaxSliceChars));
    // The paint that follows adds its own cost (see paintEvent).
    m_showNs = m_sinceFlush.nsecsElapsed();
    m_sliceShown = false;
    if (m_pendingChars > 0)
        scheduleFlush();
}

void LogView::flush()
{
    m_flushTimer->stop();
    while (m_pendingChars > 0)
        insertAtEnd(takePending(m_pendingChars));
}

void LogView::paintEvent(QPaintEvent *event)
{
    QElapsedTimer timer;
    timer.start();
    QPlainTextEdit::paintEvent(event);
    // The first paint after a slice is part of what showing it cost.
    if (!m_sliceShown) {
        m_showNs += timer.nsecsElapsed();
        m_sliceShown = true;
    }
}

void LogView::clearLog()
{
    m_flushTimer->stop();
    m_pending.clear();
    m_pendingFront = 0;
    m_pendingChars = 0;
    clear();
}

QString LogView::shownText()
{
    flush();
    return toPlainText();
}

void LogView::readTail()
{
    const QString last = document()->lastBlock().text();
    m_blockChars = last.size();
    m_rowChars = last.size() - (last.lastIndexOf(QChar(QChar::LineSeparator)) + 1);
    m_tailKnown = true;
}

void LogView::insertAtEnd(const QString &text)
{
    if (!m_tailKnown)
        readTail();

    // Each line end becomes a line separator while the block is short, and ends the block
    // once it holds kBlockChars; a row that reaches kMaxLineChars is ended the same way,
    // so no single row is laid out again and again as a stream without breaks arrives.
    // A row never ends between the two halves of a surrogate pair.
    const QChar kInBlock(QChar::LineSeparator);
    const QChar kEndBlock(QLatin1Char('\n'));
    const QChar *in = text.constData();
    const qsizetype n = text.size();
    QString out(n + n / (kMaxLineChars / 2) + 2, Qt::Uninitialized);
    QChar *o = out.data();
    qsizetype row = m_rowChars;
    qsizetype block = m_blockChars;
    const auto endRow = [&] {
        if (block >= kBlockChars) {
            *o++ = kEndBlock;
            block = 0;
        } else {
            *o++ = kInBlock;
            ++block;
        }
        row = 0;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = in[i];
        switch (c.unicode()) {
        case u'\r':
            // CR LF is one line end, a lone CR another, as the text box takes them.
            if (i + 1 < n && in[i + 1] == QLatin1Char('\n'))
                ++i;
            Q_FALLTHROUGH();
        case u'\n':
        case QChar::LineSeparator:
        case QChar::ParagraphSeparator:
            endRow();
            continue;
        default:
            break;
        }
        if (row >= kMaxLineChars || (row == kMaxLineChars - 1 && c.isHighSurrogate()))
            endRow();
        *o++ = c;
        ++row;
        ++block;
    }
    out.truncate(o - out.constData());
    m_rowChars = row;
    m_blockChars = block;

    // Scrolling far makes the text box lay out every block from the old top row down to
    // twice its height, blocks that scroll straight out of view. With the viewport's
    // updates off it just moves there; the rows shown are laid out when painted.
    QWidget *view = viewport();
    const bool updates = view->updatesEnabled();
    if (updates)
        view->setUpdatesEnabled(false);

    m_inserting = true;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(out);
    m_inserting = false;

    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    setTextCursor(cursor);
    if (updates)
        view->setUpdatesEnabled(true);
}
