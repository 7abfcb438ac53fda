#pragma once

#include "logcutter.h"
#include "logexcerpt.h"
#include "logsink.h"

#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QList>
#include <QPlainTextEdit>
#include <QString>

#include <memory>

class QAction;
class QMimeData;
class QTextDocument;
class QTimer;

// A log of the window: a multi-line text box that is appended to at its end and that a
// person reads, selects and copies but never edits; only clearLog() takes text out of it.
// An append costs in proportion to what is appended, never to what the log holds, and
// leaves the caret at the end.
//
// A log may coalesce: text appended while the event loop is busy is gathered and shown
// in slices at most once per kFlushIntervalMs, each slice as large as can be shown in
// about kSliceBudgetMs, so a fast stream never stalls the window. While the log keeps up,
// showing a slice (inserting and painting it) takes at most half of the window's time;
// when text waits to be shown, slices follow each other more closely, so that what has
// arrived is shown soon after it stops arriving.
//
// A line longer than LogCutter::kMaxRowChars is shown as several rows of at most that many
// characters; no character is lost or reordered. Laying out and painting a row costs in
// proportion to its length, and a stream without line breaks fills the whole view with
// full rows at every slice, so the bound is kept short.
//
// Inside, consecutive lines share one text block of up to about LogCutter::kBlockChars
// characters, separated by line separators (U+2028): the text box's cost and memory go per
// block, not per line. LogCutter does the cutting and marks each separator that does not
// stand for a line end "\n" (a row break made for showing, a CR LF, a lone CR), so that a
// copy, a save or an excerpt of any part of the log gives back exactly the characters
// appended.
// toPlainText() is the document's text, rows and all.
//
// Copying, selecting or saving the whole of a large log costs nothing at the time: the
// text is made from the log's document when it is read (see LogExcerpt, LogCopy), and a
// clear gives the log a fresh document, letting go of the old one beside the window.
class LogView : public QPlainTextEdit, public LogSink
{
    Q_OBJECT
public:
    static constexpr int kMaxSliceChars = 2 * 1024 * 1024;
    static constexpr int kFlushIntervalMs = 20;
    static constexpr int kSliceBudgetMs = 15;

    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    void appendText(const QString &text) override;

    // Gather appends and show them in slices, at most once per kFlushIntervalMs.
    void setCoalescing(bool on) { m_coalescing = on; }
    // Shows everything gathered so far.
    void flush();
    // Empties the log, including text gathered but not yet shown.
    void clearLog();

    // The whole log as it stands now, text gathered and not shown yet included.
    LogExcerpt excerpt() const;
    // The text appended that the document's characters [from, to) show.
    LogExcerpt excerpt(int from, int to) const;

    // Entries the window adds to the context menu, after "保存为文件…", in order (a
    // separator is an action too). The log does not own them.
    void addMenuEntries(const QList<QAction *> &entries) { m_menuEntries += entries; }

signals:
    // "保存为文件…" was chosen in the log's context menu.
    void saveRequested();

protected:
    // The text box's own context menu, with "保存为文件…" added.
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // A copy, selection or drag holds the text appended, exactly, not the rows shown.
    QMimeData *createMimeDataFromSelection() const override;
    // The text box would take an input method's text even while read-only.
    void inputMethodEvent(QInputMethodEvent *event) override { event->ignore(); }

private:
    std::shared_ptr<QTextDocument> newDocument() const;
    void insertAtEnd(QStringView text);
    void insertCut();
    qsizetype sliceChars() const;
    void scheduleFlush();
    void flushSlice();
    void cutPending(qsizetype maxChars);
    void noteBlocksShown();
    void letGoOfLayoutsAbove();

    QList<QAction *> m_menuEntries;
    bool m_coalescing = false;
    QTimer *m_flushTimer = nullptr;
    QElapsedTimer m_sinceFlush; // since the last slice began to be shown
    qint64 m_showNs = 0;        // what showing the last slice cost: inserting and painting it
    bool m_sliceShown = true;   // the last slice has been painted since it was inserted
    double m_insertNsPerChar = 20; // what inserting a character costs, as slices have shown

    // Text gathered and not shown yet: the pieces as they came, the first one partly shown.
    QList<QString> m_pending;
    qsizetype m_pendingFront = 0; // characters of m_pending.first() already shown
    qsizetype m_pendingChars = 0; // characters not shown yet

    // The document shown, shared with the excerpts taken of it; the marks of its
    // separators (by position); the end of what it shows; the cut waiting to be inserted.
    std::shared_ptr<QTextDocument> m_document;
    LogCutter::Marks m_marks;
    LogCutter::Tail m_tail;
    LogCutter::Cut m_cut;
    // The blocks shown since they last let go of their rows, as ranges of block numbers.
    QList<std::pair<int, int>> m_laidOut;
};
