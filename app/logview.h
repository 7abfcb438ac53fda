#pragma once

#include "logcutter.h"
#include "logsink.h"

#include <QElapsedTimer>
#include <QList>
#include <QPlainTextEdit>
#include <QString>

class QAction;
class QMimeData;
class QTimer;

// A log of the window: an editable multi-line text box that is appended to at its end.
// An append costs in proportion to what is appended, never to what the log holds, and
// leaves the caret at the end.
//
// A log may coalesce: text appended while the event loop is busy is gathered and shown
// at most once per kFlushIntervalMs, at most kMaxSliceChars at a time, so a fast stream
// never stalls the window. Showing a slice (inserting and painting it) may take at most
// half of the window's time: when it costs more, slices come less often and carry more.
//
// A line longer than kMaxLineChars is shown as several rows of at most kMaxLineChars
// characters; no character is lost or reordered. Laying out and painting a row costs in
// proportion to its length, and a stream without line breaks fills the whole view with
// full rows at every slice, so the bound is kept short.
//
// Inside, consecutive lines share one text block of up to about kBlockChars characters,
// separated by line separators (U+2028): the text box's cost and memory go per block,
// not per line. LogCutter does the cutting; each block keeps what its separators stand
// for, so that a copy of any part of the log (and loggedText()) gives back exactly the
// characters appended: no row break made for showing, every line end as it came (CR LF,
// LF, CR). Text the user types or pastes into a log has no such record: its line breaks
// are given back as "\n". toPlainText() is the document's text, rows and all.
class LogView : public QPlainTextEdit, public LogSink
{
    Q_OBJECT
public:
    static constexpr int kMaxLineChars = LogCutter::kMaxRowChars;
    static constexpr int kBlockChars = LogCutter::kBlockChars;
    static constexpr int kMaxSliceChars = 512 * 1024;
    static constexpr int kFlushIntervalMs = 20;

    explicit LogView(QWidget *parent = nullptr);

    void appendText(const QString &text) override;

    // Gather appends and show them in slices, at most once per kFlushIntervalMs.
    void setCoalescing(bool on) { m_coalescing = on; }
    // Shows everything gathered so far.
    void flush();
    // Characters gathered and not shown yet.
    qsizetype pendingChars() const { return m_pendingChars; }
    // Empties the log, including text gathered but not yet shown.
    void clearLog();

    // The text appended, exactly, once everything gathered has been shown.
    QString loggedText();
    // The same with every line end (CR LF, CR, LF) given as "\n".
    QString shownText();
    // The text appended that the document's characters [from, to) show.
    QString loggedText(int from, int to, bool lineEndsAsLf = false) const;
    // The same in UTF-8.
    QByteArray loggedUtf8(int from, int to) const;

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
    // A copy or drag holds the text appended, exactly, not the rows shown.
    QMimeData *createMimeDataFromSelection() const override;

private:
    void insertAtEnd(const QString &text);
    void readTail();
    void scheduleFlush();
    void flushSlice();
    QString takePending(qsizetype maxChars);

    QList<QAction *> m_menuEntries;
    bool m_coalescing = false;
    QTimer *m_flushTimer = nullptr;
    QElapsedTimer m_sinceFlush; // since the last slice began to be shown
    qint64 m_showNs = 0;        // what showing the last slice cost: inserting and painting it
    bool m_sliceShown = false;  // the last slice has been painted since it was inserted

    // Text gathered and not shown yet: the pieces as they came, the first one partly shown.
    QList<QString> m_pending;
    qsizetype m_pendingFront = 0; // characters of m_pending.first() already shown
    qsizetype m_pendingChars = 0; // characters not shown yet

    // The text of the selection copied last, in UTF-8, until the selection or the text
    // changes.
    struct Copied
    {
        int from = -1;
        int to = -1;
        QByteArray utf8;
    };
    mutable Copied m_copied;

    // The end of the document as the last append left it. Any other change (the user
    // typing, a clear) makes it unknown, and it is read back from the document.
    bool m_inserting = false;
    bool m_tailKnown = false;
    LogCutter::Tail m_tail;
};
