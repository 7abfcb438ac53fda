#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// How a log cuts the text appended to it into rows and blocks, and how it gives the text
// back: plain functions of their arguments, without a widget or a document.
//
// A line longer than kMaxRowChars is shown as several rows; consecutive lines and rows
// share one block of up to about kBlockChars characters, separated inside it by line
// separators (U+2028), and a block ends with a paragraph break ("\n" when inserted).
// A separator stands for a line end "\n" of the text unless a Mark says otherwise: a row
// break made only for showing (Row) or another line end. With the marks, the text shown
// gives back exactly the text appended.
class LogCutter
{
public:
    static constexpr int kMaxRowChars = 512;
    static constexpr int kBlockChars = 1024;

    enum class End : char
    {
        Row = 0,            // a row break made for showing: not part of the text
        Lf,                 // "\n"
        CrLf,               // "\r\n"
        Cr,                 // a lone "\r"
        LineSeparator,      // U+2028 of the text
        ParagraphSeparator, // U+2029 of the text
    };

    // A separator that stands for something other than "\n": where it is in the shown
    // text, and what it stands for.
    struct Mark
    {
        qsizetype at = 0;
        End end = End::Lf;

        bool operator==(const Mark &other) const { return at == other.at && end == other.end; }
    };
    using Marks = QList<Mark>;

    // The end of what is shown so far.
    struct Tail
    {
        qsizetype rowChars = 0;   // characters in the last row
        qsizetype blockChars = 0; // characters in the last block, separators included
        bool afterCr = false;     // the last line ended with a CR: a LF next completes it
    };

    struct Cut
    {
        // To insert at the end: rows separated by U+2028 inside a block, "\n" ends a block.
        QString text;
        // The separators of text that are not "\n", by their place in text, in order.
        Marks marks;
        // The text began with the LF of a CR LF whose CR ended what was shown before:
        // that line end, the last one shown, is a CrLf now; text holds nothing for it.
        bool crBecameCrLf = false;
    };

    // Cuts text to be shown after tail, appending it to into, and moves tail past it.
    // Pieces cut one after the other into the same Cut show as the pieces joined would.
    static void cut(Tail &tail, QStringView text, Cut &into);

    // How an End is written in the text appended.
    static QStringView textOf(End end);

    // Appends to out the text that the shown characters [from, to) of one block stand
    // for; the block (as QTextBlock::text() gives it) starts at `start` in the shown text,
    // and blockEnded says the range includes the separator that ends it. marks are the
    // log's marks, by their place in the shown text; *mark is the index of the first mark
    // at or after from, and is left at the first one after what was given back.
    // lineEndsAsLf: give every line end as "\n", whatever it was in the text.
    static void restore(QStringView block, qsizetype start, const Marks &marks, qsizetype *mark,
                        qsizetype from, qsizetype to, bool blockEnded, bool lineEndsAsLf,
                        QString &out);

    // The index of the first of marks at or after the shown position at.
    static qsizetype firstMarkFrom(const Marks &marks, qsizetype at);
};
