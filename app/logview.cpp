#include "logview.h"

#include "logcopy.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// Freeing the memory of a document of a hundred megabytes keeps the system busy for tens
// of milliseconds, so a large document the log no longer shows is deleted on a thread of
// its own, which the application waits for as it ends. Nothing else knows the document by
// then: the log shows another one and no excerpt reads it any more.
class Disposal
{
public:
    static constexpr int kBesideChars = 1 << 20;

    static void letGo(QTextDocument *document)
    {
        if (document->characterCount() < kBesideChars || !QCoreApplication::instance() ||
            QCoreApplication::closingDown() || document->thread() != QThread::currentThread()) {
            delete document;
            return;
        }
        Disposal &self = instance();
        std::unique_lock<std::mutex> lock(self.m_mutex);
        if (self.m_finished) {
            lock.unlock();
            delete document;
            return;
        }
        document->disconnect();
        document->moveToThread(nullptr);
        if (!self.m_worker.joinable()) {
            self.m_stop = false;
            self.m_worker = std::thread([&self] { self.run(); });
            qAddPostRoutine([] { instance().finish(); });
        }
        self.m_queue.push_back(document);
        self.m_wake.notify_one();
    }

private:
    static Disposal &instance()
    {
        static Disposal disposal;
        return disposal;
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            QTextDocument *document = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            delete document;
            lock.lock();
        }
    }

    void finish()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_finished = true;
        }
        m_wake.notify_one();
        if (m_worker.joinable())
            m_worker.join();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QTextDocument *> m_queue;
    std::thread m_worker;
    bool m_stop = false;
    bool m_finished = false; // the application is ending: nothing more goes beside it
};

constexpr qsizetype kMinSliceChars = 64 * 1024;

// How long the calling thread has run, in nanoseconds; where the system cannot tell, how
// long the program has run.
qint64 threadNs()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
#else
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
#endif
}

} // namespace

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent), m_flushTimer(new QTimer(this))
{
    // A log is read, selected and copied, never edited: nothing typed, pasted, dropped or
    // cut goes into it or out of it, and a drag out of it copies. The caret and the
    // selection still go by keyboard and mouse.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setAcceptDrops(false);
    m_document = newDocument();
    setDocument(m_document.get());
    m_flushTimer->setSingleShot(true);
    connect(m_flushTimer, &QTimer::timeout, this, &LogView::flushSlice);
}

LogView::~LogView()
{
    // The text box lets go of the shared document before the document may go.
    setDocument(nullptr);
}

std::shared_ptr<QTextDocument> LogView::newDocument() const
{
    auto *document = new QTextDocument;
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    // A log only grows; an undo history of it would hold a second copy of everything.
    document->setUndoRedoEnabled(false);
    if (const QTextDocument *shown = this->document()) {
        document->setDefaultFont(shown->defaultFont());
        document->setDefaultTextOption(shown->defaultTextOption());
        document->setDocumentMargin(shown->documentMargin());
    }
    return std::shared_ptr<QTextDocument>(document, &Disposal::letGo);
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

qsizetype LogView::sliceChars() const
{
    // As many characters as inserting takes about kSliceBudgetMs; the paint that follows
    // costs about the same whatever the slice holds, and comes in a turn of its own.
    return qBound<qsizetype>(kMinSliceChars, qsizetype(kSliceBudgetMs * 1e6 / m_insertNsPerChar),
                             kMaxSliceChars);
}

void LogView::scheduleFlush()
{
    if (m_flushTimer->isActive())
        return;
    // Text after a quiet spell shows in the next turn. While the log keeps up, a stream
    // shows at most once per interval, so each insert and repaint carries many reads, and
    // never more often than leaves the loop half its time for reading, input and the rest
    // of the window. When more waits than one slice takes, the next slice follows after
    // half of what the last one cost: reading slows down to what the log shows, and what
    // has arrived is shown soon after the last of it.
    qint64 wait = 0;
    if (m_sinceFlush.isValid()) {
        const qint64 showMs = m_showNs / 1'000'000;
        const qint64 period = m_pendingChars > sliceChars()
                                  ? showMs + showMs / 2
                                  : qMax<qint64>(kFlushIntervalMs, 2 * showMs);
        wait = qMax<qint64>(0, period - m_sinceFlush.elapsed());
    }
    m_flushTimer->start(int(wait));
}

void LogView::cutPending(qsizetype maxChars)
{
    qsizetype taken = 0;
    while (!m_pending.isEmpty() && taken < maxChars) {
        const QString &piece = m_pending.first();
        const qsizetype take = qMin(piece.size() - m_pendingFront, maxChars - taken);
        LogCutter::cut(m_tail, QStringView(piece).sliced(m_pendingFront, take), m_cut);
        taken += take;
        m_pendingFront += take;
        if (m_pendingFront == piece.size()) {
            m_pending.removeFirst();
            m_pendingFront = 0;
        }
    }
    m_pendingChars -= taken;
}

void LogView::flushSlice()
{
    if (m_pendingChars == 0)
        return;
    m_sinceFlush.start();
    const qint64 ranBefore = threadNs();
    const qsizetype chars = qMin(m_pendingChars, sliceChars());
    cutPending(chars);
    insertCut();
    // The paint that follows adds its own cost (see paintEvent).
    m_showNs = m_sinceFlush.nsecsElapsed();
    // What inserting costs is what the window's thread ran for it: on a busy machine the
    // time that passed holds other work too, and slices would shrink for nothing.
    if (chars >= kMinSliceChars) {
        const double perChar = double(threadNs() - ranBefore) / double(chars);
        m_insertNsPerChar = 0.5 * m_insertNsPerChar + 0.5 * perChar;
    }
    m_sliceShown = false;
    if (m_pendingChars > 0)
        scheduleFlush();
}

void LogView::flush()
{
    m_flushTimer->stop();
    if (m_pendingChars > 0) {
        cutPending(m_pendingChars);
        insertCut();
    }
}

void LogView::paintEvent(QPaintEvent *event)
{
    QElapsedTimer timer;
    timer.start();
    QPlainTextEdit::paintEvent(event);
    noteBlocksShown();
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
    m_tail = {};
    m_marks.clear();
    m_cut = {};
    m_laidOut.clear();
    if (m_document->isEmpty())
        return;
    // What was selected in the log is gone from it, and so is the selection other programs
    // paste with the middle button; a copy made with Ctrl+C stays what it was.
    QClipboard *board = QGuiApplication::clipboard();
    if (board->ownsSelection()) {
        const auto *copy = qobject_cast<const LogCopy *>(board->mimeData(QClipboard::Selection));
        if (copy && copy->text().isOf(m_document.get()))
            board->clear(QClipboard::Selection);
    }
    // A fresh document at once; the old one goes once no copy or save reads it any more.
    const std::shared_ptr<QTextDocument> old = std::exchange(m_document, newDocument());
    setDocument(m_document.get());
}

LogExcerpt LogView::excerpt() const
{
    QList<QString> unshown = m_pending;
    if (!unshown.isEmpty() && m_pendingFront > 0)
        unshown.first() = unshown.first().sliced(m_pendingFront);
    return LogExcerpt(m_document, m_marks, 0, m_document->characterCount() - 1, unshown);
}

LogExcerpt LogView::excerpt(int from, int to) const
{
    // Only the marks of the part: an excerpt of a selection can live on in the clipboard,
    // and the log's own marks go on growing without copying themselves for it.
    to = qMin(to, m_document->characterCount() - 1);
    const qsizetype first = LogCutter::firstMarkFrom(m_marks, from);
    const qsizetype last = LogCutter::firstMarkFrom(m_marks, qsizetype(to) + 1);
    return LogExcerpt(m_document, m_marks.mid(first, last - first), from, to);
}

QMimeData *LogView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    return new LogCopy(excerpt(cursor.selectionStart(), cursor.selectionEnd()));
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
    // The window's entries, each shown by an entry of this menu that goes with it: an
    // entry shared by several menus keeps what a screen reader was told of it in the first
    // one, and is no longer told to it once that menu is gone.
    for (QAction *entry : std::as_const(m_menuEntries)) {
        QAction *shown =
            entry->isSeparator() ? menu->addSeparator() : menu->addAction(entry->text());
        shown->setCheckable(entry->isCheckable());
        shown->setChecked(entry->isChecked());
        shown->setEnabled(entry->isEnabled());
        connect(shown, &QAction::triggered, entry, [entry] { entry->trigger(); });
    }
    menu->popup(event->globalPos());
}

void LogView::insertAtEnd(QStringView text)
{
    LogCutter::cut(m_tail, text, m_cut);
    insertCut();
}

void LogView::insertCut()
{
    // The line end shown last was a lone CR and is a CR LF now: a CR is always marked.
    if (m_cut.crBecameCrLf && !m_marks.isEmpty())
        m_marks.last().end = LogCutter::End::CrLf;
    m_cut.crBecameCrLf = false;
    if (m_cut.text.isEmpty())
        return;
    QTextDocument *document = m_document.get();
    const qsizetype start = document->characterCount() - 1;
    for (const LogCutter::Mark &mark : std::as_const(m_cut.marks))
        m_marks.append({start + mark.at, mark.end});
    m_cut.marks.clear();

    // Scrolling far makes the text box lay out every block from the old top row down to
    // twice its height, blocks that scroll straight out of view. With the viewport's
    // updates off it just moves there; the rows shown are laid out when painted.
    QWidget *view = viewport();
    const bool updates = view->updatesEnabled();
    if (updates)
        view->setUpdatesEnabled(false);
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(m_cut.text);
    m_cut.text.truncate(0);
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    setTextCursor(cursor);
    if (updates)
        view->setUpdatesEnabled(true);
    letGoOfLayoutsAbove();
}

void LogView::noteBlocksShown()
{
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return;
    const int first = block.blockNumber();
    const qreal bottom = viewport()->height();
    const QPointF offset = contentOffset();
    int last = first;
    for (; block.isValid(); block = block.next()) {
        if (blockBoundingGeometry(block).translated(offset).top() > bottom)
            break;
        last = block.blockNumber();
    }
    if (!m_laidOut.isEmpty() && first <= m_laidOut.last().second + 1 &&
        last >= m_laidOut.last().first) {
        m_laidOut.last() = {qMin(first, m_laidOut.last().first),
                            qMax(last, m_laidOut.last().second)};
    } else {
        m_laidOut.append({first, last});
    }
}

void LogView::letGoOfLayoutsAbove()
{
    // A block keeps the rows it was laid out in for as long as it lives, and a log that
    // grows slowly lays out every block as it passes the end of the view: rows that take
    // more memory than the text they show. A block shown once and now above the view is
    // given fresh, empty rows by taking out the break before it and putting it back (in
    // one edit, so nothing is laid out meanwhile); the text stays exactly as it was.
    // Scrolled back to, it is laid out again. The first block has no break before it.
    const int top = firstVisibleBlock().blockNumber();
    if (m_laidOut.isEmpty() || m_laidOut.first().first >= top)
        return;
    QTextCursor cursor(m_document.get());
    cursor.beginEditBlock();
    while (!m_laidOut.isEmpty() && m_laidOut.first().first < top) {
        auto &[from, to] = m_laidOut.first();
        for (QTextBlock block = m_document->findBlockByNumber(qMax(from, 1));
             block.isValid() && block.blockNumber() <= to && block.blockNumber() < top;
             block = block.next()) {
            cursor.setPosition(block.position() - 1);
            cursor.deleteChar();
            cursor.insertBlock();
            block = cursor.block();
        }
        if (to < top)
            m_laidOut.removeFirst();
        else
            from = top;
    }
    cursor.endEditBlock();
}
