#include "logview.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

// What the separators of one block stand for: one LogCutter::End per U+2028 in the block,
// in order, then one for the paragraph break that ends it, once it is ended.
class BlockEnds : public QTextBlockUserData
{
public:
    QByteArray ends;
};

BlockEnds *endsOf(const QTextBlock &block)
{
    return static_cast<BlockEnds *>(block.userData());
}

// The record of block, made if it has none.
QByteArray &recordOf(QTextBlock block)
{
    BlockEnds *data = endsOf(block);
    if (!data) {
        data = new BlockEnds;
        block.setUserData(data);
    }
    return data->ends;
}

// Appends to out the text appended that the document's characters [from, to) of block
// show; returns the block after it.
QTextBlock restoreBlock(const QTextBlock &block, int from, int to, bool lineEndsAsLf, QString &out)
{
    const int start = block.position();
    const QString text = block.text();
    const BlockEnds *data = endsOf(block);
    LogCutter::restore(text, data ? QByteArrayView(data->ends) : QByteArrayView(), from - start,
                       to - start, to > start + text.size(), lineEndsAsLf, out);
    return block.next();
}

// A copy or a save of a large log writes a hundred megabytes and more into memory the
// process has never touched, and taking that memory in page by page costs more than
// writing the text: ask for large pages, all of them at once. Only a speed-up.
void takeInMemory(void *data, qsizetype bytes)
{
#if defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)
    constexpr quintptr kLargePage = 2 * 1024 * 1024;
    const auto begin = (quintptr(data) + kLargePage - 1) & ~(kLargePage - 1);
    const auto end = (quintptr(data) + quintptr(bytes)) & ~(kLargePage - 1);
    if (bytes < qsizetype(4 * kLargePage) || end <= begin)
        return;
    madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

} // namespace

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent), m_flushTimer(new QTimer(this))
{
    // A log only grows; an undo history of it would hold a second copy of everything.
    setUndoRedoEnabled(false);
    m_flushTimer->setSingleShot(true);
    connect(m_flushTimer, &QTimer::timeout, this, &LogView::flushSlice);
    connect(document(), &QTextDocument::contentsChange, this, [this] {
        if (!m_inserting)
            m_tailKnown = false;
        m_copied = {};
    });
    connect(this, &QPlainTextEdit::selectionChanged, this, [this] { m_copied = {}; });
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

QString LogView::loggedText()
{
    flush();
    return loggedText(0, document()->characterCount() - 1);
}

QString LogView::shownText()
{
    flush();
    return loggedText(0, document()->characterCount() - 1, true);
}

QString LogView::loggedText(int from, int to, bool lineEndsAsLf) const
{
    QString out;
    if (to <= from)
        return out;
    // The text appended is as long as the text shown, give or take a CR per line end.
    out.reserve(qsizetype(to - from) + (to - from) / 16);
    takeInMemory(out.data(), out.capacity() * qsizetype(sizeof(QChar)));
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;)
        block = restoreBlock(block, from, to, lineEndsAsLf, out);
    return out;
}

QByteArray LogView::loggedUtf8(int from, int to) const
{
    // Block by block through a small piece of text, so that the log's whole text is never
    // held twice: once as the bytes, and once more (twice as large) as characters.
    constexpr qsizetype kPieceChars = 64 * 1024;
    QByteArray out;
    if (to <= from)
        return out;
    // Mostly ASCII: a byte per character shown, give or take a CR per line end.
    out.reserve(qsizetype(to - from) + (to - from) / 16);
    takeInMemory(out.data(), out.capacity());
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    QString piece;
    const auto encode = [&] {
        const qsizetype size = out.size();
        out.resize(size + toUtf8.requiredSpace(piece.size()));
        char *end = toUtf8.appendToBuffer(out.data() + size, piece);
        out.truncate(end - out.constData());
        piece.truncate(0);
    };
    for (QTextBlock block = document()->findBlock(from);
         block.isValid() && block.position() < to;) {
        block = restoreBlock(block, from, to, false, piece);
        if (piece.size() >= kPieceChars)
            encode();
    }
    encode();
    return out;
}

QMimeData *LogView::createMimeDataFromSelection() const
{
    // Where the system has a selection of its own, selecting already made the text that
    // a copy of the same selection gives: it is made once.
    const QTextCursor cursor = textCursor();
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    if (m_copied.from != from || m_copied.to != to)
        m_copied = {from, to, loggedUtf8(from, to)};
    // The bytes a program pasting it asks for: the clipboard hands them out as they are,
    // without making them again for each request.
    auto *data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), m_copied.utf8);
    return data;
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    // Qt's own entries, in the language of its installed translation, then a way to keep
    // the log; the window does the saving.
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("保存为文件…")), &QAction::triggered, this,
            &LogView::saveRequested);
    menu->popup(event->globalPos());
}

void LogView::readTail()
{
    const QTextBlock last = document()->lastBlock();
    const QString text = last.text();
    m_tail = LogCutter::tailOf(text);
    m_tailKnown = true;
    // After the user's edits the last block's record may not match its separators any
    // more: what they stood for is not known, so they are taken as line ends, and what
    // is appended next is recorded after them.
    const qsizetype separators = text.count(QChar(QChar::LineSeparator));
    const BlockEnds *data = endsOf(last);
    if (data ? data->ends.size() != separators : separators > 0)
        recordOf(last) = QByteArray(separators, char(LogCutter::End::Lf));
}

void LogView::insertAtEnd(const QString &text)
{
    if (!m_tailKnown)
        readTail();
    const LogCutter::Cut cut = LogCutter::cut(m_tail, text);
    m_tail = cut.tail;
    m_copied = {}; // a CR that becomes a CR LF changes the text without changing the document

    QTextDocument *doc = document();
    QTextBlock block = doc->lastBlock();
    if (cut.crBecameCrLf) {
        // The CR shown last, in this block or at the end of the one before, was a CR LF.
        for (QTextBlock b = block; b.isValid(); b = b.previous()) {
            if (BlockEnds *data = endsOf(b); data && !data->ends.isEmpty()) {
                data->ends.back() = char(LogCutter::End::CrLf);
                break;
            }
            if (b != block)
                break;
        }
    }
    // Scrolling far makes the text box lay out every block from the old top row down to
    // twice its height, blocks that scroll straight out of view. With the viewport's
    // updates off it just moves there; the rows shown are laid out when painted.
    QWidget *view = viewport();
    const bool updates = view->updatesEnabled();
    if (updates)
        view->setUpdatesEnabled(false);

    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    if (!cut.text.isEmpty()) {
        m_inserting = true;
        cursor.insertText(cut.text);
        m_inserting = false;
    }

    // Each block takes the ends of its separators: the last block shown before takes the
    // first ones, each block the text began takes its own.
    const char *ends = cut.ends.constData();
    qsizetype done = 0;
    for (const qsizetype blockEnd : cut.blockEnds) {
        recordOf(block).append(ends + done, blockEnd + 1 - done);
        done = blockEnd + 1;
        block = block.next();
    }
    if (done < cut.ends.size())
        recordOf(block).append(ends + done, cut.ends.size() - done);

    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    setTextCursor(cursor);
    if (updates)
        view->setUpdatesEnabled(true);
}
