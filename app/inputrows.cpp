#include "inputrows.h"

#include <QList>
#include <QStringView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace {

// What QTextDocument::toPlainText() gives for a character: a separator it holds inside a
// block as a line break, a no-break space as a blank.
QChar plain(QChar c)
{
    switch (c.unicode()) {
    case QChar::LineSeparator:
    case QChar::ParagraphSeparator:
    case 0xfdd0: // the beginning and the end of a frame
    case 0xfdd1:
        return u'\n';
    case QChar::Nbsp:
        return u' ';
    default:
        return c;
    }
}

QTextBlockFormat formatOf(const QTextCursor &cursor, bool goesOn)
{
    QTextBlockFormat format = cursor.blockFormat();
    if (goesOn)
        format.setProperty(InputRows::kGoesOn, true);
    else
        format.clearProperty(InputRows::kGoesOn);
    return format;
}

// Where a line break of inserted text ends, or -1 when none starts at i; as
// QTextCursor::insertText() breaks lines.
qsizetype lineBreakEnd(QStringView text, qsizetype i)
{
    switch (text[i].unicode()) {
    case u'\r':
        return i + 1 < text.size() && text[i + 1] == u'\n' ? i + 2 : i + 1;
    case u'\n':
    case QChar::ParagraphSeparator:
    case 0xfdd0:
    case 0xfdd1:
        return i + 1;
    default:
        return -1;
    }
}

// Inserts one line of text (no line break in it) at the cursor, whose row already holds
// `before` characters before the cursor and `after` after it.
void insertLine(QTextCursor &cursor, QStringView line, qsizetype before, qsizetype after)
{
    qsizetype at = 0;
    qsizetype room = qMax<qsizetype>(0, InputRows::kRowChars - before);
    while (at < line.size()) {
        qsizetype take = qMin(room, line.size() - at);
        // A row never ends between the two halves of a surrogate pair.
        if (take > 0 && at + take < line.size() && line[at + take - 1].isHighSurrogate())
            --take;
        if (take > 0) {
            cursor.insertText(line.sliced(at, take).toString());
            at += take;
        }
        if (at < line.size())
            cursor.insertBlock(formatOf(cursor, true));
        room = InputRows::kRowChars;
    }
    // What stood after the cursor gets a row of its own when it would make the last row
    // too long.
    if (!line.isEmpty() && after > 0 && cursor.positionInBlock() + after > InputRows::kRowChars) {
        const int end = cursor.position();
        cursor.insertBlock(formatOf(cursor, true));
        cursor.setPosition(end);
    }
}

} // namespace

bool InputRows::goesOn(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(kGoesOn);
}

QString InputRows::text(const QTextDocument &document, int from, int to)
{
    if (to <= from)
        return QString();
    QTextCursor range(const_cast<QTextDocument *>(&document));
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    // The characters with a paragraph separator for every block's end.
    QString out = range.selectedText();

    // The block formats that mark a row going on; when there is none, no block has one.
    QList<int> goingOn;
    const QList<QTextFormat> formats = document.allFormats();
    for (int i = 0; i < formats.size(); ++i) {
        if (formats.at(i).isBlockFormat() && formats.at(i).boolProperty(kGoesOn))
            goingOn.append(i);
    }
    QChar *const first = out.data();
    QChar *o = first;
    const QChar *in = first;
    const QChar *const end = first + out.size();
    if (!goingOn.isEmpty()) {
        // Each block's end, where the next block goes on, is no character of the text.
        for (QTextBlock block = document.findBlock(from).next();
             block.isValid() && block.position() - 1 < to; block = block.next()) {
            if (!goingOn.contains(block.blockFormatIndex()))
                continue;
            const QChar *skip = first + (block.position() - 1 - from);
            while (in < skip)
                *o++ = plain(*in++);
            ++in;
        }
    }
    while (in < end)
        *o++ = plain(*in++);
    out.truncate(o - first);
    return out;
}

QString InputRows::text(const QTextDocument &document)
{
    return text(document, 0, document.characterCount() - 1);
}

void InputRows::insert(QTextCursor &cursor, const QString &text)
{
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QStringView all(text);
    // Lines short enough to be one row each, gathered to go in with one insertion; their
    // blocks take the format of the block they begin in, which by then starts a line.
    QString shortLines;
    qsizetype lineStart = 0;
    bool firstLine = true;
    for (qsizetype i = 0; i <= all.size(); ++i) {
        const qsizetype breakEnd = i < all.size() ? lineBreakEnd(all, i) : all.size() + 1;
        if (breakEnd < 0)
            continue;
        const QStringView line = all.sliced(lineStart, i - lineStart);
        const bool lastLine = i == all.size();
        if (!firstLine && !lastLine && line.size() <= kRowChars) {
            shortLines += line;
            shortLines += u'\n';
        } else {
            if (!shortLines.isEmpty())
                cursor.insertText(std::exchange(shortLines, QString()));
            const qsizetype before = cursor.positionInBlock();
            const qsizetype after = cursor.block().length() - 1 - before;
            insertLine(cursor, line, before, lastLine ? after : 0);
            if (lastLine)
                break;
            cursor.insertBlock(formatOf(cursor, false));
        }
        firstLine = false;
        lineStart = breakEnd;
        i = breakEnd - 1;
    }
    cursor.endEditBlock();
}

void InputRows::insertLineBreak(QTextCursor &cursor)
{
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.insertBlock(formatOf(cursor, false));
    cursor.endEditBlock();
}

std::pair<int, int> InputRows::lineAround(const QTextDocument &document, int position)
{
    const QTextBlock block = document.findBlock(position);
    const int inBlock = position - block.position();
    int from = -1;
    for (QTextBlock row = block; from < 0; row = row.previous()) {
        const QString text = row.text();
        const int upTo = row == block ? inBlock : int(text.size());
        const int separator = upTo > 0 ? int(text.lastIndexOf(QChar::LineSeparator, upTo - 1)) : -1;
        if (separator >= 0)
            from = row.position() + separator + 1;
        else if (!goesOn(row) || !row.previous().isValid())
            from = row.position();
    }
    int to = -1;
    for (QTextBlock row = block; to < 0; row = row.next()) {
        const QString text = row.text();
        const int separator = int(text.indexOf(QChar::LineSeparator, row == block ? inBlock : 0));
        if (separator >= 0)
            to = row.position() + separator;
        else if (!row.next().isValid() || !goesOn(row.next()))
            to = row.position() + int(text.size());
    }
    return {from, to};
}

int InputRows::firstOfPlace(const QTextDocument &document, int position)
{
    for (QTextBlock block = document.findBlock(position);
         block.isValid() && position == block.position() && goesOn(block) &&
         block.previous().isValid();
         block = block.previous())
        --position;
    return position;
}

int InputRows::lastOfPlace(const QTextDocument &document, int position)
{
    for (QTextBlock block = document.findBlock(position);
         block.isValid() && position == block.position() + block.length() - 1 &&
         block.next().isValid() && goesOn(block.next());
         block = block.next())
        ++position;
    return position;
}
