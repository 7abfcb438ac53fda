// The cutting of a log's text into rows and blocks, and the way back: on its own, and as
// the log view records what it shows.
#include "logtext.h"
#include "logcutter.h"
#include "logview.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using End = LogCutter::End;
using Tail = LogCutter::Tail;

Q_DECLARE_METATYPE(LogCutter::Tail)

namespace {

const QChar kRow(QChar::LineSeparator);

QByteArray ends(std::initializer_list<End> list)
{
    QByteArray out;
    for (const End end : list)
        out.append(char(end));
    return out;
}

// Shown text written with "|" for a separator inside a block.
QString shown(QString text)
{
    return text.replace(QLatin1Char('|'), kRow);
}

// What each separator of a shown text stands for, in order, by the marks of a cut.
QByteArray endsOf(const QString &text, const LogCutter::Marks &marks)
{
    QByteArray out;
    qsizetype mark = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != kRow && text[i] != QLatin1Char('\n'))
            continue;
        End end = End::Lf;
        if (mark < marks.size() && marks[mark].at == i)
            end = marks[mark++].end;
        out.append(char(end));
    }
    return mark == marks.size() ? out : QByteArray("marks beyond the separators");
}

// The marks of one block starting at 0 whose separators stand for ends, in order: one
// for each U+2028, then one for the separator that ends it.
LogCutter::Marks marksOf(const QString &block, const QByteArray &ends)
{
    LogCutter::Marks marks;
    qsizetype separator = 0;
    for (qsizetype i = 0; i <= block.size(); ++i) {
        if (i < block.size() && block[i] != kRow)
            continue;
        if (separator < ends.size() && End(ends[separator]) != End::Lf)
            marks.append({i, End(ends[separator])});
        ++separator;
    }
    return marks;
}

// The log view the window shows, filled by appends and read back through its document.
struct Log
{
    LogView view;
    // The end of the log as the cutter carries it from one append to the next.
    Tail tail;

    void append(const QString &text)
    {
        view.appendText(text);
        LogCutter::Cut cut;
        LogCutter::cut(tail, text, cut);
    }

    // The document's blocks: the rows of each joined by separators.
    QStringList blocks() const
    {
        QStringList out;
        for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
            out.append(block.text());
        return out;
    }

    // The text given back for the document's positions [from, to): each block's
    // characters, then one for its paragraph break.
    QString restore(qsizetype from, qsizetype to, bool lineEndsAsLf = false) const
    {
        return loggedText(view, int(from), int(to), lineEndsAsLf);
    }

    qsizetype length() const { return view.document()->characterCount() - 1; }
};

QStringList linesOf(const QList<int> &lengths, const QString &lineEnd)
{
    QStringList appends;
    for (const int n : lengths)
        appends << QString(n, QLatin1Char('x')) + lineEnd;
    return appends;
}

} // namespace

class TestLogCutter : public QObject
{
    Q_OBJECT
private slots:
    void cutsIntoRowsAndBlocks_data();
    void cutsIntoRowsAndBlocks();
    void givesBackTheTextAppended_data();
    void givesBackTheTextAppended();
    void restoresPartOfABlock_data();
    void restoresPartOfABlock();
};

void TestLogCutter::cutsIntoRowsAndBlocks_data()
{
    QTest::addColumn<Tail>("tail");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<QByteArray>("shownEnds");
    QTest::addColumn<bool>("crBecameCrLf");
    QTest::addColumn<Tail>("after");

    const QString x511(511, 'x');
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("empty text changes nothing")
        << Tail{3, 3, true} << QString() << QString() << QByteArray() << false
        << Tail{3, 3, true};
    QTest::newRow("LF, CR LF and a lone CR are one line end each")
        << Tail{} << QStringLiteral("a\nb\r\nc\rd") << shown("a|b|c|d")
        << ends({End::Lf, End::CrLf, End::Cr}) << false << Tail{1, 7, false};
    QTest::newRow("line of 511 characters is one row")
        << Tail{} << x511 + "\n"
        << shown(x511 + "|") << ends({End::Lf}) << false << Tail{0, 512, false};
    QTest::newRow("line of 512 characters is one row")
        << Tail{} << x511 + "x\n"
        << shown(x511 + "x|") << ends({End::Lf}) << false << Tail{0, 513, false};
    QTest::newRow("513th character starts a row")
        << Tail{} << x511 + "xy" << shown(x511 + "x|y") << ends({End::Row}) << false
        << Tail{1, 514, false};
    QTest::newRow("row continues across appends")
        << Tail{510, 510, false} << QStringLiteral("abc") << shown("ab|c") << ends({End::Row})
        << false << Tail{1, 514, false};
    QTest::newRow("full block ends at the next line end")
        << Tail{10, 1024, false} << QStringLiteral("\nz") << QStringLiteral("\nz")
        << ends({End::Lf}) << false << Tail{1, 1, false};
    QTest::newRow("full block ends at a row break")
        << Tail{512, 1030, false} << QStringLiteral("y\r\n") << shown("\ny|")
        << ends({End::Row, End::CrLf}) << false << Tail{0, 2, false};
    QTest::newRow("surrogate pair is never split between rows")
        << Tail{511, 511, false} << face << shown("|") + face << ends({End::Row}) << false
        << Tail{2, 514, false};
    QTest::newRow("CR at the end of an append may begin a CR LF")
        << Tail{} << QStringLiteral("ab\r") << shown("ab|") << ends({End::Cr}) << false
        << Tail{0, 3, true};
    QTest::newRow("LF completes the CR that ended the last append")
        << Tail{0, 3, true} << QStringLiteral("\nok") << QStringLiteral("ok") << QByteArray()
        << true << Tail{2, 5, false};
    QTest::newRow("anything else after a CR is a line of its own")
        << Tail{0, 3, true} << QStringLiteral("\r\n") << shown("|") << ends({End::CrLf})
        << false << Tail{0, 4, false};
    QTest::newRow("line and paragraph separators of the text are line ends")
        << Tail{} << QStringLiteral("a\u2028b\u2029c") << shown("a|b|c")
        << ends({End::LineSeparator, End::ParagraphSeparator}) << false
        << Tail{1, 5, false};
}

void TestLogCutter::cutsIntoRowsAndBlocks()
{
    QFETCH(Tail, tail);
    QFETCH(QString, text);
    QFETCH(QString, shownText);
    QFETCH(QByteArray, shownEnds);
    QFETCH(bool, crBecameCrLf);
    QFETCH(Tail, after);

    // Cut whole, and cut in two pieces into the same cut: the same rows and marks.
    for (const qsizetype split : {text.size(), text.size() / 2}) {
        Tail moved = tail;
        LogCutter::Cut cut;
        LogCutter::cut(moved, QStringView(text).first(split), cut);
        LogCutter::cut(moved, QStringView(text).sliced(split), cut);
        QCOMPARE(cut.text, shownText);
        QCOMPARE(endsOf(cut.text, cut.marks), shownEnds);
        QCOMPARE(cut.crBecameCrLf, crBecameCrLf);
        QCOMPARE(moved.rowChars, after.rowChars);
        QCOMPARE(moved.blockChars, after.blockChars);
        QCOMPARE(moved.afterCr, after.afterCr);
    }
}

void TestLogCutter::givesBackTheTextAppended_data()
{
    QTest::addColumn<QStringList>("appends");
    const QList<int> lengths{0, 511, 512, 513, 200000, 0, 3};
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, LF")
        << linesOf(lengths, QStringLiteral("\n"));
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, CR LF")
        << linesOf(lengths, QStringLiteral("\r\n"));
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, lone CR")
        << linesOf(lengths, QStringLiteral("\r"));
    QTest::newRow("CR LF split between appends")
        << QStringList{"AT\r", "\nOK\r", "\n\r", "\n", "\r", "x\r\r", "\n"};
    QTest::newRow("CR LF split between appends where a block is full")
        << QStringList{QString(1023, 'x') + "\r", "\nOK\r", "\n"};
    QTest::newRow("one character per append")
        << QString(QStringLiteral("ab\r\n\r\n") + QString(1030, 'c') + "\n\rd").split(QString());
    QString faces;
    for (int i = 0; i < 700; ++i)
        faces += QStringLiteral("y") + QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("surrogate pairs at row ends") << QStringList{faces, faces, "\n", faces};
    QTest::newRow("empty lines filling blocks") << QStringList{
        QString(3000, '\n'), QString(2000, '\r'), QStringLiteral("\r\n").repeated(1500)};
    QTest::newRow("separators of the text and blanks") << QStringList{
        QStringLiteral("  a\u2028\u2029 \t\n"), QStringLiteral("\u2029\u2028"), QString(600, ' ')};
}

void TestLogCutter::givesBackTheTextAppended()
{
    QFETCH(QStringList, appends);
    Log log;
    QString fed;
    for (const QString &text : appends) {
        log.append(text);
        fed += text;
        // The tail the cutter carries is the one the shown text ends with.
        const QString last = log.blocks().last();
        QCOMPARE(log.tail.rowChars, last.size() - (last.lastIndexOf(kRow) + 1));
        QCOMPARE(log.tail.blockChars, last.size());
    }
    const qsizetype length = log.length();
    QCOMPARE(log.restore(0, length), fed);
    QString asLf = fed;
    asLf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'))
        .replace(QChar(QChar::LineSeparator), QLatin1Char('\n'))
        .replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    QCOMPARE(log.restore(0, length, true), asLf);

    const QStringList blocks = log.blocks();
    for (const QString &block : blocks) {
        QVERIFY2(block.size() <= LogCutter::kBlockChars + LogCutter::kMaxRowChars + 1,
                 qPrintable(QString::number(block.size())));
        for (const QString &row : block.split(kRow)) {
            QVERIFY2(row.size() <= LogCutter::kMaxRowChars,
                     qPrintable(QString::number(row.size())));
            QVERIFY2(row.isEmpty() || !row.back().isHighSurrogate(), "a row ends in a half pair");
        }
    }
    // Cut into pieces anywhere, at and around every separator above all, the shown text
    // gives back the text piece by piece.
    QList<qsizetype> cuts;
    qsizetype start = 0;
    for (const QString &block : blocks) {
        for (qsizetype i = 0; i <= block.size(); ++i) {
            if (start + i < 2200 || i == block.size() || block[i] == kRow)
                cuts << start + i - 1 << start + i << start + i + 1;
        }
        start += block.size() + 1;
    }
    cuts << length;
    std::sort(cuts.begin(), cuts.end());
    QString pieces;
    qsizetype at = 0;
    for (const qsizetype cut : std::as_const(cuts)) {
        if (cut <= at || cut > length)
            continue;
        pieces += log.restore(at, cut);
        at = cut;
    }
    QCOMPARE(pieces, fed);
}

void TestLogCutter::restoresPartOfABlock_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QByteArray>("blockEnds");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("blockEnded");
    QTest::addColumn<bool>("lineEndsAsLf");
    QTest::addColumn<QString>("expected");

    const QByteArray rowThenCrLf = ends({End::Row, End::CrLf});
    QTest::newRow("row break is dropped, line end kept")
        << shown("ab|cd") << rowThenCrLf << 0 << 5 << true << false << QStringLiteral("abcd\r\n");
    QTest::newRow("block break not selected")
        << shown("ab|cd") << rowThenCrLf << 0 << 5 << false << false << QStringLiteral("abcd");
    QTest::newRow("from inside the second row")
        << shown("ab|cd") << rowThenCrLf << 4 << 5 << true << false << QStringLiteral("d\r\n");
    QTest::newRow("only the row break selected")
        << shown("ab|cd") << rowThenCrLf << 2 << 3 << false << false << QString();
    QTest::newRow("line ends as LF") << shown("ab|cd") << ends({End::Cr, End::CrLf}) << 0 << 5
                                     << true << true << QStringLiteral("ab\ncd\n");
    QTest::newRow("last block, its break not known yet")
        << shown("a|b") << ends({End::CrLf}) << 0 << 3 << true << false
        << QStringLiteral("a\r\nb\n");
    QTest::newRow("unmarked separators are line ends")
        << shown("a|b|c") << QByteArray() << 1 << 5 << true << false << QStringLiteral("\nb\nc\n");
}

void TestLogCutter::restoresPartOfABlock()
{
    QFETCH(QString, block);
    QFETCH(QByteArray, blockEnds);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, blockEnded);
    QFETCH(bool, lineEndsAsLf);
    QFETCH(QString, expected);
    QString out = QStringLiteral("before:");
    const LogCutter::Marks marks = marksOf(block, blockEnds);
    qsizetype mark = LogCutter::firstMarkFrom(marks, from);
    LogCutter::restore(block, 0, marks, &mark, from, to, blockEnded, lineEndsAsLf, out);
    QCOMPARE(out, QStringLiteral("before:") + expected);
}

QTEST_MAIN(TestLogCutter)
#include "tst_logcutter.moc"
