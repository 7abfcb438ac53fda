#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// How a log cuts the text appended to it into rows and blocks, and how it gives the text
// back: plain functions of their arguments, without a widget or a document.
//
// A line longer than kMaxRowChars is shown as several rows; consecutive lines and rows
// share one block of up to about kBlockChars characters, separated inside it by line
// separators (U+2028), and a block ends with a paragraph break ("\n" when inserted).
// Every separator the cut makes comes with an End saying what it stands for: a row break
// made only for showing (Row) or a line end of the text, and which one. With those, the
// text shown gives back exactly the text appended.
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

    // The end of what is shown so far.
    struct Tail
    {
        qsizetype rowChars = 0;   // characters in the last row
        qsizetype blockChars = 0; // characters in the last block, separators included
        bool afterCr = false;     // the last line ended with a CR: a LF next completes it

        bool operator==(const Tail &other) const
        {
            return rowChars == other.rowChars && blockChars == other.blockChars &&
                   afterCr == other.afterCr;
        }
    };

    struct Cut
    {
        // To insert at the end: rows separated by U+2028 inside a block, "\n" ends a block.
        QString text;
        // One End per separator in text, in order.
        QByteArray ends;
        // For each block that text ends, the index in ends of its ending separator.
        QList<qsizetype> blockEnds;
        // The text began with the LF of a CR LF whose CR ended what was shown before:
        // that line end, the last one shown, is a CrLf now; text holds nothing for it.
        bool crBecameCrLf = false;
        Tail tail; // the end of what is shown once text is inserted
    };

    static Cut cut(const Tail &tail, QStringView text);

    // The tail of a shown text whose last block is lastBlock (as QTextBlock::text() gives
    // it, with U+2028 between rows).
    static Tail tailOf(QStringView lastBlock);

    // How an End is written in the text appended.
    static QStringView textOf(End end);

    // Appends to out the text that the shown characters shown[from, to) of one block stand
    // for. ends holds the block's Ends in order: one per U+2028 in the block, then one for
    // the separator that ends the block, if known. blockEnded: the range includes the
    // block's ending separator. A block whose Ends do not match its separators (text the
    // user typed into the log) gives every separator back as a line end "\n".
    // lineEndsAsLf: give every line end as "\n", whatever it was in the text.
    static void restore(QStringView block, QByteArrayView ends, qsizetype from, qsizetype to,
                        bool blockEnded, bool lineEndsAsLf, QString &out);
};
