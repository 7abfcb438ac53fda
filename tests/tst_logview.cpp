// The log view: appending, clearing, scrolling, copying.
#include "logview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// What the log must show for these appends: the same characters in the same order, a
// row ended wherever a line would grow past the row limit.
QString inRows(const QString &all)
{
    QString out;
    int row = 0;
    for (const QChar c : all) {
        if (c == QLatin1Char('\n')) {
            out += c;
            row = 0;
            continue;
        }
        if (row == LogView::kMaxLineChars) {
            out += QLatin1Char('\n');
            row = 0;
        }
        out += c;
        ++row;
    }
    return out;
}

QStringList manyLines()
{
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("+IPD,0,%1:").arg(i).repeated(i % 7 + 1) + QLatin1Char('\n');
    return lines;
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT
private slots:
    void appendsShowEveryCharacterInOrder_data();
    void appendsShowEveryCharacterInOrder();
    void rowsFollowTextTheUserTyped();
    void rowNeverSplitsASurrogatePair();
    void crLfIsOneLineEnd();
    void clearDropsTextNotYetShown();
    void appendMovesCaretToEndAndDropsSelection();
    void copiedTextHasLineBreaks();
    void coalescedLogScrollsToNewestRow();
    void keepsUpdatesAParentTurnedOff();
};

void TestLogView::appendsShowEveryCharacterInOrder_data()
{
    QTest::addColumn<bool>("coalescing");
    QTest::addColumn<QStringList>("appends");
    QTest::newRow("replies in short lines") << true << QStringList{"AT\n\nOK\n", "x", "y\n"};
    QTest::newRow("long line continued across appends, gathered")
        << true << QStringList{QString(300, 'a'), QString(300, 'b'), QString(1200, 'c'), "\nend"};
    QTest::newRow("long line continued across appends, direct")
        << false << QStringList{QString(300, 'a'), QString(300, 'b'), QString(1200, 'c'), "\nend"};
    QTest::newRow("line exactly one row long") << false
                                               << QStringList{QString(LogView::kMaxLineChars, 'a'),
                                                              "\n", QString(1024, 'b')};
    QTest::newRow("thousands of lines sharing blocks") << true << manyLines();
}

void TestLogView::appendsShowEveryCharacterInOrder()
{
    QFETCH(bool, coalescing);
    QFETCH(QStringList, appends);
    LogView log;
    log.resize(300, 300);
    log.show();
    log.setCoalescing(coalescing);
    for (const QString &text : appends) {
        log.appendText(text);
        QCoreApplication::processEvents();
        if (!coalescing)
            QVERIFY(log.textCursor().atEnd());
    }
    // Gathered text shows by itself, without anyone asking for it.
    QTRY_COMPARE(log.pendingChars(), 0);
    QVERIFY(log.textCursor().atEnd());
    QCOMPARE(log.toPlainText(), inRows(appends.join(QString())));
    QCOMPARE(log.shownText(), log.toPlainText());
}

void TestLogView::rowsFollowTextTheUserTyped()
{
    LogView log;
    log.appendText(QString(500, 'a'));
    QTextCursor typing(log.document());
    typing.movePosition(QTextCursor::End);
    typing.insertText(QString(20, 'u'));
    log.appendText(QString(10, 'b'));
    QCOMPARE(log.shownText(), QString(500, 'a') + QString(20, 'u') + "\n" + QString(10, 'b'));

    typing.setPosition(100);
    typing.insertText(QStringLiteral("\n"));
    log.appendText(QString(600, 'z'));
    for (const QString &row : log.shownText().split('\n'))
        QVERIFY2(row.size() <= LogView::kMaxLineChars, qPrintable(QString::number(row.size())));
    QCOMPARE(log.shownText().remove('\n'),
             QString(500, 'a') + QString(20, 'u') + QString(10, 'b') + QString(600, 'z'));
}

void TestLogView::rowNeverSplitsASurrogatePair()
{
    LogView log;
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    log.appendText(QString(LogView::kMaxLineChars - 1, 'a') + face + "b");
    QCOMPARE(log.shownText(), QString(LogView::kMaxLineChars - 1, 'a') + "\n" + face + "b");
}

void TestLogView::crLfIsOneLineEnd()
{
    LogView log;
    log.appendText(QStringLiteral("a\r\nb\rc\n"));
    QCOMPARE(log.shownText(), QStringLiteral("a\nb\nc\n"));
}

void TestLogView::clearDropsTextNotYetShown()
{
    LogView log;
    log.setCoalescing(true);
    log.appendText(QStringLiteral("abc"));
    log.clearLog();
    QCOMPARE(log.pendingChars(), 0);
    QTest::qWait(3 * LogView::kFlushIntervalMs);
    QCOMPARE(log.shownText(), QString());
    // Rows count again from the start of the emptied log.
    log.appendText(QString(LogView::kMaxLineChars + 88, 'x'));
    QCOMPARE(log.shownText(), QString(LogView::kMaxLineChars, 'x') + "\n" + QString(88, 'x'));
}

void TestLogView::appendMovesCaretToEndAndDropsSelection()
{
    LogView log;
    log.show();
    log.appendText(QStringLiteral("hello\nworld\n"));
    QTextCursor selection = log.textCursor();
    selection.setPosition(2);
    selection.setPosition(4, QTextCursor::KeepAnchor);
    log.setTextCursor(selection);
    log.appendText(QStringLiteral("more"));
    QVERIFY(log.textCursor().atEnd());
    QVERIFY(!log.textCursor().hasSelection());
}

void TestLogView::copiedTextHasLineBreaks()
{
    LogView log;
    log.show();
    QString expected;
    for (int i = 0; i < 50; ++i) {
        const QString line = QStringLiteral("line %1\n").arg(i);
        log.appendText(line);
        expected += line;
    }
    log.selectAll();
    log.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
}

void TestLogView::coalescedLogScrollsToNewestRow()
{
    LogView log;
    log.resize(300, 200);
    log.show();
    log.setCoalescing(true);
    for (int i = 0; i < 2000; ++i)
        log.appendText(QStringLiteral("row %1\n").arg(i));
    QTRY_COMPARE(log.pendingChars(), 0);
    QCoreApplication::processEvents();
    QVERIFY(log.verticalScrollBar()->maximum() > 0);
    QCOMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum());
    QVERIFY(log.viewport()->rect().contains(log.cursorRect().center()));
}

void TestLogView::keepsUpdatesAParentTurnedOff()
{
    QWidget parent;
    auto *log = new LogView(&parent);
    parent.show();
    parent.setUpdatesEnabled(false);
    log->appendText(QStringLiteral("x\n"));
    parent.setUpdatesEnabled(true);
    QVERIFY(log->viewport()->updatesEnabled());
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
