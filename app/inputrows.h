#pragma once

#include <QString>
#include <QTextFormat>

#include <utility>

class QTextBlock;
class QTextCursor;
class QTextDocument;

// How the input box holds a long line: as rows of at most kRowChars characters, each a
// block of its own, every row after a line's first marked as going on from the row before
// it with no line break between. The text box lays out a block whole at every edit in it,
// at a cost that grows with the square of the block's length where the line has no place
// to wrap (a line of hex digits): short blocks keep every keystroke cheap whatever the
// line's length. The rows show as lines that wrap at the box's width, each row beginning
// on a new line.
//
// The mark is a property of the row's block format, so undo and redo bring it back with
// the text. The text the box holds is the rows of each line joined, and a line break
// between lines: what QTextDocument::toPlainText() would give of the same text without
// rows.
class InputRows
{
public:
    static constexpr int kRowChars = 2048;
    // Set on the block format of a row that goes on from the row before it.
    static constexpr int kGoesOn = QTextFormat::UserProperty + 0x51;

    static bool goesOn(const QTextBlock &block);

    // The text that the document's characters [from, to) stand for.
    static QString text(const QTextDocument &document, int from, int to);
    static QString text(const QTextDocument &document);

    // Inserts text at the cursor in place of its selection, cut into rows, as one step of
    // undo. The cursor ends after it. Line breaks in the text (CR LF, CR, LF, U+2029) break
    // lines as in any text box.
    static void insert(QTextCursor &cursor, const QString &text);

    // Inserts a line break at the cursor in place of its selection.
    static void insertLineBreak(QTextCursor &cursor);

    // The document positions [from, to) of the line that position is in: its rows, up to
    // the line breaks around it, a line separator inside a row (Shift+Enter) included.
    static std::pair<int, int> lineAround(const QTextDocument &document, int position);

    // A position between two rows of a line is the same place in the text as the end of
    // the row before: the first position that stands for the same place, and the last.
    static int firstOfPlace(const QTextDocument &document, int position);
    static int lastOfPlace(const QTextDocument &document, int position);
};
