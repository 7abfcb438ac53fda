#include "logcutter.h"

namespace {

constexpr QChar kInBlock(QChar::LineSeparator);
constexpr QChar kEndBlock(u'\n');

qsizetype countInBlock(QStringView text)
{
    return text.count(kInBlock);
}

} // namespace

LogCutter::Cut LogCutter::cut(const Tail &tail, QStringView text)
{
    // Each line end becomes a line separator while the block is short, and ends the block
    // once it holds kBlockChars; a row that reaches kMaxRowChars is ended the same way,
    // so no single row is laid out again and again as a stream without breaks arrives.
    // A row never ends between the two halves of a surrogate pair.
    Cut cut;
    const QChar *in = text.constData();
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (tail.afterCr && n > 0 && in[0] == kEndBlock) {
        cut.crBecameCrLf = true;
        i = 1;
    }
    cut.text.resize(n + n / (kMaxRowChars / 2) + 2);
    QChar *const first = cut.text.data();
    QChar *o = first;
    qsizetype row = tail.rowChars;
    qsizetype block = tail.blockChars;
    bool afterCr = false;
    const auto endRow = [&](End end) {
        if (block >= kBlockChars) {
            cut.blockEnds.append(cut.ends.size());
            *o++ = kEndBlock;
            block = 0;
        } else {
            *o++ = kInBlock;
            ++block;
        }
        cut.ends.append(char(end));
        row = 0;
    };
    for (; i < n; ++i) {
        const QChar c = in[i];
        afterCr = false;
        switch (c.unicode()) {
        case u'\r':
            // CR LF is one line end, a lone CR another, as the text box takes them.
            if (i + 1 < n && in[i + 1] == kEndBlock) {
                ++i;
                endRow(End::CrLf);
            } else {
                endRow(End::Cr);
                afterCr = true;
            }
            continue;
        case u'\n':
            endRow(End::Lf);
            continue;
        case QChar::LineSeparator:
            endRow(End::LineSeparator);
            continue;
        case QChar::ParagraphSeparator:
            endRow(End::ParagraphSeparator);
            continue;
        default:
            break;
        }
        if (row >= kMaxRowChars || (row == kMaxRowChars - 1 && c.isHighSurrogate()))
            endRow(End::Row);
        *o++ = c;
        ++row;
        ++block;
    }
    cut.text.truncate(o - first);
    cut.tail = {row, block, afterCr || (tail.afterCr && n == 0)};
    return cut;
}

LogCutter::Tail LogCutter::tailOf(QStringView lastBlock)
{
    Tail tail;
    tail.blockChars = lastBlock.size();
    tail.rowChars = lastBlock.size() - (lastBlock.lastIndexOf(kInBlock) + 1);
    return tail;
}

QStringView LogCutter::textOf(End end)
{
    switch (end) {
    case End::Row:
        return {};
    case End::Lf:
        return u"\n";
    case End::CrLf:
        return u"\r\n";
    case End::Cr:
        return u"\r";
    case End::LineSeparator:
        return u"\u2028";
    case End::ParagraphSeparator:
        return u"\u2029";
    }
    return u"\n";
}

void LogCutter::restore(QStringView block, QByteArrayView ends, qsizetype from, qsizetype to,
                        bool blockEnded, bool lineEndsAsLf, QString &out)
{
    from = qBound<qsizetype>(0, from, block.size());
    to = qBound<qsizetype>(from, to, block.size());
    const qsizetype separators = countInBlock(block);
    const bool known = ends.size() == separators || ends.size() == separators + 1;
    const auto append = [&](qsizetype index) {
        const End end = known && index < ends.size() ? End(ends[index]) : End::Lf;
        if (end == End::Row)
            return;
        out += lineEndsAsLf ? QStringView(u"\n") : textOf(end);
    };

    qsizetype index = countInBlock(block.first(from));
    qsizetype at = from;
    while (at < to) {
        qsizetype next = block.indexOf(kInBlock, at);
        if (next < 0 || next >= to) {
            out += block.sliced(at, to - at);
            break;
        }
        out += block.sliced(at, next - at);
        append(index++);
        at = next + 1;
    }
    if (blockEnded)
        append(separators);
}
