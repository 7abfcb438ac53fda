#pragma once

#include "logcutter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QTextDocument;

// Part of a log's text, exactly as it was appended, read a piece at a time: what the log
// held when the excerpt was taken, whatever the log does next (appends, a clear). It reads
// the log's document itself, keeping it alive as long as it needs it, so taking one costs
// nothing and reading it costs in proportion to what is read. A copy reads on from where
// the original stood. Pieces always end between two characters, never inside a surrogate
// pair. Used on the window's thread only.
class LogExcerpt
{
public:
    LogExcerpt() = default;
    // The shown characters [from, to) of document, with marks as LogCutter gives them, then
    // unshown: text appended and not shown yet, as it came.
    LogExcerpt(std::shared_ptr<const QTextDocument> document, LogCutter::Marks marks,
               qsizetype from, qsizetype to, QList<QString> unshown = {});

    // Give every line end (CR LF, CR, LF) as "\n".
    void setLineEndsAsLf(bool on) { m_lineEndsAsLf = on; }

    bool atEnd() const { return m_at >= m_to && m_unshown.isEmpty(); }
    // Whether this is (part of) the text of document.
    bool isOf(const QTextDocument *document) const { return m_document.get() == document; }
    // A lower bound of the UTF-8 bytes the whole excerpt gives.
    qsizetype leastUtf8Bytes() const;

    // Appends the next part of the text to out: at least one character unless at the
    // end, and not much more than maxChars.
    void read(QString &out, qsizetype maxChars);
    // The same in UTF-8, not much more than maxBytes.
    void readUtf8(QByteArray &out, qsizetype maxBytes);
    // The rest of the text.
    QString readAll();
    QByteArray readAllUtf8();

private:
    std::shared_ptr<const QTextDocument> m_document;
    LogCutter::Marks m_marks;
    qsizetype m_at = 0; // the next shown character to give back
    qsizetype m_to = 0;
    qsizetype m_mark = 0; // the first of m_marks at or after m_at
    QList<QString> m_unshown;
    bool m_lineEndsAsLf = false;
};
