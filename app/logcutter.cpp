#include "logcutter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char16_t kInBlock = QChar::LineSeparator;
constexpr char16_t kEndBlock = u'\n';

// A character the cut must look at: a line end of any kind, or one of the separators the
// cut itself writes. Everything else is copied as it is.
inline bool special(char16_t c)
{
    return c == u'\n' || c == u'\r' || (c & 0xfffe) == 0x2028;
}

} // namespace

void LogCutter::cut(Tail &tail, QStringView text, Cut &into)
{
    // Each line end becomes a line separator while the block is short, and ends the block
    // once it holds kBlockChars; a row that reaches kMaxRowChars is ended the same way,
    // so no single row is laid out again and again as a stream without breaks arrives.
    // A row never ends between the two halves of a surrogate pair.
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (tail.afterCr && n > 0 && in[0] == kEndBlock) {
        // The CR just before was shown as a line end: this LF is part of it.
        if (!into.text.isEmpty() && !into.marks.isEmpty())
            into.marks.last().end = End::CrLf;
        else
            into.crBecameCrLf = true;
        i = 1;
    }
    if (n == 0)
        return;

    // Every character shows as at most one, plus a row break per kMaxRowChars / 2.
    const qsizetype base = into.text.size();
    into.text.resize(base + (n - i) + (n - i) / (kMaxRowChars / 2) + 2);
    char16_t *const first = reinterpret_cast<char16_t *>(into.text.data());
    char16_t *o = first + base;
    qsizetype row = tail.rowChars;
    qsizetype block = tail.blockChars;
    bool afterCr = false;
    const auto endRow = [&](End end) {
        if (end != End::Lf)
            into.marks.append({o - first, end});
        if (block >= kBlockChars) {
            *o++ = kEndBlock;
            block = 0;
        } else {
            *o++ = kInBlock;
            ++block;
        }
        row = 0;
    };
    while (i < n) {
        // Plain characters up to the next line end, or to the end of the row, in one go.
        qsizetype run = std::min(n - i, kMaxRowChars - row);
        qsizetype k = 0;
        while (k < run && !special(in[i + k]))
            ++k;
        if (k > 0) {
            // A pair's first half in the row's last place moves to the next row, where its
            // second half goes too, whether it comes now or with the next text.
            if (row + k == kMaxRowChars && QChar::isHighSurrogate(in[i + k - 1]))
                --k;
            std::memcpy(o, in + i, size_t(k) * sizeof(char16_t));
            o += k;
            i += k;
            row += k;
            block += k;
            afterCr = false;
        }
        if (i == n)
            break;
        const char16_t c = in[i];
        if (!special(c)) {
            // The row is full (or its last place is kept for a pair's first half).
            endRow(End::Row);
            continue;
        }
        afterCr = false;
        ++i;
        switch (c) {
        case u'\r':
            // CR LF is one line end, a lone CR another, as the text box takes them.
            if (i < n && in[i] == kEndBlock) {
                ++i;
                endRow(End::CrLf);
            } else {
                endRow(End::Cr);
                afterCr = true;
            }
            break;
        case u'\n':
            endRow(End::Lf);
            break;
        case QChar::LineSeparator:
            endRow(End::LineSeparator);
            break;
        default:
            endRow(End::ParagraphSeparator);
            break;
        }
    }
    into.text.truncate(o - first);
    tail = {row, block, afterCr};
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

qsizetype LogCutter::firstMarkFrom(const Marks &marks, qsizetype at)
{
    return std::lower_bound(marks.begin(), marks.end(), at,
                            [](const Mark &mark, qsizetype position) {
                                return mark.at < position;
                            }) -
           marks.begin();
}

void LogCutter::restore(QStringView block, qsizetype start, const Marks &marks, qsizetype *mark,
                        qsizetype from, qsizetype to, bool blockEnded, bool lineEndsAsLf,
                        QString &out)
{
    from = qBound<qsizetype>(0, from - start, block.size());
    to = qBound<qsizetype>(from, to - start, block.size());
    // The separator at shown position `at` (of this block).
    const auto separator = [&](qsizetype at) {
        at += start;
        while (*mark < marks.size() && marks[*mark].at < at)
            ++*mark;
        End end = End::Lf;
        if (*mark < marks.size() && marks[*mark].at == at)
            end = marks[(*mark)++].end;
        if (end != End::Row)
            out += lineEndsAsLf ? QStringView(u"\n") : textOf(end);
    };

    qsizetype at = from;
    while (at < to) {
        const qsizetype next = block.indexOf(QChar(kInBlock), at);
        if (next < 0 || next >= to) {
            out += block.sliced(at, to - at);
            break;
        }
        out += block.sliced(at, next - at);
        separator(next);
        at = next + 1;
    }
    if (blockEnded)
        separator(block.size());
}
