#include "logexcerpt.h"

#include <QStringEncoder>
#include <QTextBlock>
#include <QTextDocument>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

// Text is read block by block in pieces of about this many characters, so that the whole
// text is never held twice: once as characters and once more as bytes.
constexpr qsizetype kPieceChars = 64 * 1024;

// A large excerpt read whole writes a hundred megabytes and more into memory the process
// has never touched, and taking that memory in page by page costs more than writing the
// text: ask for large pages, all of them at once. Only a speed-up.
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

LogExcerpt::LogExcerpt(std::shared_ptr<const QTextDocument> document, LogCutter::Marks marks,
                       qsizetype from, qsizetype to, QList<QString> unshown)
    : m_document(std::move(document)), m_marks(std::move(marks)), m_at(from),
      m_to(m_document ? qMax(from, to) : from), m_unshown(std::move(unshown))
{
    m_unshown.removeAll(QString());
    m_mark = LogCutter::firstMarkFrom(m_marks, m_at);
}

qsizetype LogExcerpt::leastUtf8Bytes() const
{
    // A shown character gives at least one byte, but for a row break, which comes at most
    // once in kMaxRowChars - 1 characters.
    const qsizetype shown = m_to - m_at;
    qsizetype bytes = qMax<qsizetype>(0, shown - shown / (LogCutter::kMaxRowChars - 1) - 1);
    for (const QString &text : m_unshown)
        bytes += text.size();
    return bytes;
}

void LogExcerpt::read(QString &out, qsizetype maxChars)
{
    const qsizetype wanted = out.size() + qMax<qsizetype>(1, maxChars);
    if (m_at < m_to) {
        QTextBlock block = m_document->findBlock(int(m_at));
        for (; block.isValid() && m_at < m_to && out.size() < wanted; block = block.next()) {
            const qsizetype start = block.position();
            const qsizetype end = start + block.length(); // past the separator that ends it
            LogCutter::restore(block.text(), start, m_marks, &m_mark, m_at, m_to, m_to >= end,
                               m_lineEndsAsLf, out);
            m_at = qMin(m_to, end);
        }
        if (!block.isValid())
            m_at = m_to; // nothing is shown past the document's end
    }
    // A piece of text appended may end inside a surrogate pair that the next completes.
    while (m_at >= m_to && !m_unshown.isEmpty() &&
           (out.size() < wanted || (!out.isEmpty() && out.back().isHighSurrogate()))) {
        QString &text = m_unshown.first();
        qsizetype take = qBound<qsizetype>(1, wanted - out.size(), text.size());
        if (take < text.size() && text[take - 1].isHighSurrogate())
            ++take;
        out += QStringView(text).first(take);
        if (take == text.size())
            m_unshown.removeFirst();
        else
            text.remove(0, take);
    }
}

void LogExcerpt::readUtf8(QByteArray &out, qsizetype maxBytes)
{
    // Read in pieces of characters, mostly ASCII: a byte for each. A piece never ends
    // inside a surrogate pair, so each is encoded on its own.
    QString piece;
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    const qsizetype start = out.size();
    while (!atEnd() && out.size() - start < maxBytes) {
        piece.truncate(0);
        read(piece, qMin(maxBytes - (out.size() - start), kPieceChars));
        const qsizetype size = out.size();
        out.resize(size + toUtf8.requiredSpace(piece.size()));
        char *end = toUtf8.appendToBuffer(out.data() + size, piece);
        out.truncate(end - out.constData());
    }
}

QString LogExcerpt::readAll()
{
    QString out;
    // As long as the text shown, give or take a CR per line end.
    qsizetype chars = (m_to - m_at) + (m_to - m_at) / 16;
    for (const QString &text : m_unshown)
        chars += text.size();
    out.reserve(chars);
    takeInMemory(out.data(), out.capacity() * qsizetype(sizeof(QChar)));
    while (!atEnd())
        read(out, kPieceChars);
    return out;
}

QByteArray LogExcerpt::readAllUtf8()
{
    QByteArray out;
    const qsizetype least = leastUtf8Bytes();
    out.reserve(least + least / 16);
    takeInMemory(out.data(), out.capacity());
    while (!atEnd())
        readUtf8(out, kPieceChars);
    return out;
}
