// The log view: appending, clearing, scrolling, copying.
#include "logtext.h"
#include "logexcerpt.h"
#include "logview.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
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
        if (row == LogCutter::kMaxRowChars) {
            out += QLatin1Char('\n');
            row = 0;
        }
        out += c;
        ++row;
    }
    return out;
}

// Lines of the given lengths, each ended by lineEnd; a lineEnd of CR LF may be split
// between two appends.
QStringList linesOf(const QList<int> &lengths, const QString &lineEnd, bool splitCrLf = false)
{
    QStringList appends;
    for (const int n : lengths) {
        const QString line = QString(n, QLatin1Char('x')) + lineEnd;
        if (splitCrLf)
            appends << line.chopped(1) << line.right(1);
        else
            appends << line;
    }
    return appends;
}

// For each position of the document's text (rows and line ends as "\n"), the position in
// the text appended that it stands for: a row break stands for nothing, a line end for its
// characters.
QList<qsizetype> positionsIn(const QString &shown, const QString &fed)
{
    QList<qsizetype> map;
    qsizetype j = 0;
    for (const QChar c : shown) {
        map << j;
        if (c != QLatin1Char('\n')) {
            if (j >= fed.size() || fed[j] != c)
                return {};
            ++j;
        } else if (fed.mid(j, 2) == QLatin1String("\r\n")) {
            j += 2;
        } else if (j < fed.size() &&
                   (fed[j] == QLatin1Char('\n') || fed[j] == QLatin1Char('\r') ||
                    fed[j] == QChar::LineSeparator || fed[j] == QChar::ParagraphSeparator)) {
            ++j;
        }
    }
    map << j;
    return j == fed.size() ? map : QList<qsizetype>();
}

QStringList manyLines()
{
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("+IPD,0,%1:").arg(i).repeated(i % 7 + 1) + QLatin1Char('\n');
    return lines;
}

// Shows the log and appends each text in turn, letting the window run between appends.
// False when a direct (not gathered) append left the caret anywhere but at the end.
bool appendShown(LogView &log, bool coalescing, const QStringList &appends)
{
    log.resize(300, 300);
    log.show();
    log.setCoalescing(coalescing);
    bool caretAtEnd = true;
    for (const QString &text : appends) {
        log.appendText(text);
        QCoreApplication::processEvents();
        if (!coalescing)
            caretAtEnd = caretAtEnd && log.textCursor().atEnd();
    }
    return caretAtEnd;
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT
private slots:
    void appendsShowEveryCharacterInOrder_data();
    void appendsShowEveryCharacterInOrder();
    void rowNeverSplitsASurrogatePair();
    void crLfIsOneLineEnd();
    void clearDropsTextNotYetShown();
    void appendMovesCaretToEndAndDropsSelection();
    void copiedTextHasLineBreaks();
    void copyGivesBackWhatWasLogged_data();
    void copyGivesBackWhatWasLogged();
    void copyAndSaveKeepWhatTheLogHeld_data();
    void copyAndSaveKeepWhatTheLogHeld();
    void nothingEditsTheLog_data();
    void nothingEditsTheLog();
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
    QTest::newRow("line exactly one row long")
        << false << QStringList{QString(LogCutter::kMaxRowChars, 'a'), "\n", QString(1024, 'b')};
    QTest::newRow("thousands of lines sharing blocks") << true << manyLines();
}

void TestLogView::appendsShowEveryCharacterInOrder()
{
    QFETCH(bool, coalescing);
    QFETCH(QStringList, appends);
    LogView log;
    QVERIFY2(appendShown(log, coalescing, appends),
             "a direct append left the caret before the end");
    // Gathered text shows by itself, without anyone asking for it.
    QTRY_VERIFY(everythingShown(log));
    QVERIFY(log.textCursor().atEnd());
    QCOMPARE(log.toPlainText(), inRows(appends.join(QString())));
    // The rows are only shown: the log's text is what was appended.
    QCOMPARE(shownText(log), appends.join(QString()));
    QCOMPARE(loggedText(log), appends.join(QString()));
}

void TestLogView::rowNeverSplitsASurrogatePair()
{
    LogView log;
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    log.appendText(QString(LogCutter::kMaxRowChars - 1, 'a') + face + "b");
    QCOMPARE(log.toPlainText(), QString(LogCutter::kMaxRowChars - 1, 'a') + "\n" + face + "b");
    QCOMPARE(loggedText(log), QString(LogCutter::kMaxRowChars - 1, 'a') + face + "b");
}

void TestLogView::crLfIsOneLineEnd()
{
    LogView log;
    log.appendText(QStringLiteral("a\r\nb\rc\n"));
    QCOMPARE(log.toPlainText(), QStringLiteral("a\nb\nc\n"));
    QCOMPARE(shownText(log), QStringLiteral("a\nb\nc\n"));
    QCOMPARE(loggedText(log), QStringLiteral("a\r\nb\rc\n"));
}

void TestLogView::clearDropsTextNotYetShown()
{
    LogView log;
    log.setCoalescing(true);
    log.appendText(QStringLiteral("abc"));
    log.clearLog();
    QVERIFY(everythingShown(log));
    QTest::qWait(3 * LogView::kFlushIntervalMs);
    QCOMPARE(shownText(log), QString());
    // Rows count again from the start of the emptied log.
    log.appendText(QString(LogCutter::kMaxRowChars + 88, 'x'));
    log.flush();
    QCOMPARE(log.toPlainText(), QString(LogCutter::kMaxRowChars, 'x') + "\n" + QString(88, 'x'));
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

void TestLogView::copyGivesBackWhatWasLogged_data()
{
    QTest::addColumn<bool>("coalescing");
    QTest::addColumn<QStringList>("appends");
    const QList<int> lengths{0, 511, 512, 513, 200000, 0, 7};
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, LF")
        << false << linesOf(lengths, QStringLiteral("\n"));
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, CR LF, gathered")
        << true << linesOf(lengths, QStringLiteral("\r\n"));
    QTest::newRow("lines of 0, 511, 512, 513 and 200000 characters, CR LF split between appends")
        << false << linesOf(lengths, QStringLiteral("\r\n"), true);
    // The copy is handed over as UTF-8: every character comes back, also past a row break.
    QTest::newRow("Chinese text and characters beyond 16 bits, rows of 512 and more")
        << false
        << QStringList{QStringLiteral("接收数据：%1\U0001F600%1\r\n").arg(QString(300, 'c')),
                       QString(700, QChar(0x4E2D)) + QStringLiteral("\n")};
    QTest::newRow("send log: command lines and raw text")
        << false << QStringList{"AT\r\n", "AT+CWJAP=\"net\",\"pass\"\r\n", "raw", " text\r",
                                "AT\r\n", QString(600, 'p') + "\r\n"};
    // Each line shown as it comes: every block passes through the view on its way up.
    QStringList slowly;
    for (int i = 0; i < 400; ++i)
        slowly << QStringLiteral("+IPD,0,30:%1 reply from the module\r\n").arg(i);
    QTest::newRow("a line at a time, painted each time, past many blocks") << false << slowly;
}

void TestLogView::copyGivesBackWhatWasLogged()
{
    QFETCH(bool, coalescing);
    QFETCH(QStringList, appends);
    const QString fed = appends.join(QString());
    LogView log;
    QVERIFY2(appendShown(log, coalescing, appends),
             "a direct append left the caret before the end");
    QTRY_VERIFY(everythingShown(log));
    // A block shown once and now above the view holds no rows (the first block has no
    // break before it to renew it by); the copy below is the log all the same.
    const int top = log.cursorForPosition(QPoint(0, 0)).blockNumber();
    for (QTextBlock block = log.document()->findBlockByNumber(1);
         block.isValid() && block.blockNumber() < top; block = block.next()) {
        QVERIFY2(block.layout()->lineCount() == 0,
                 qPrintable(QStringLiteral("block %1 above the view (at %2) holds %3 rows")
                                .arg(block.blockNumber())
                                .arg(top)
                                .arg(block.layout()->lineCount())));
    }

    // Ctrl+A, Ctrl+C as the user presses them.
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    log.setFocus();
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QVERIFY2(clipboard->text() == fed, qPrintable(QStringLiteral("copied %1 characters of %2")
                                                      .arg(clipboard->text().size())
                                                      .arg(fed.size())));
    QVERIFY(loggedText(log) == fed);

    // Any selection, and above all one that begins or ends at a row break or a line end.
    const QString shown = log.toPlainText();
    const QList<qsizetype> at = positionsIn(shown, fed);
    QVERIFY2(!at.isEmpty(), "the log does not show the characters appended in order");
    QList<int> marks{0, int(shown.size())};
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] == QLatin1Char('\n'))
            marks << i;
    }
    int checked = 0;
    for (qsizetype k = 0; k < marks.size(); ++k) {
        const int mark = marks[k];
        QList<QPair<int, int>> ranges{{mark - 1, mark + 2}, {mark, mark + 1}, {mark + 1, mark + 3}};
        if (k % 16 == 0)
            ranges << QPair<int, int>{0, mark} << QPair<int, int>{mark, int(shown.size())};
        for (auto [from, to] : ranges) {
            from = qBound(0, from, int(shown.size()));
            to = qBound(0, to, int(shown.size()));
            QTextCursor selection(log.document());
            selection.setPosition(to);
            selection.setPosition(from, QTextCursor::KeepAnchor); // selected backwards
            log.setTextCursor(selection);
            log.copy();
            const QString expected = fed.mid(at[from], at[to] - at[from]);
            if (from < to && clipboard->text() != expected) {
                QFAIL(qPrintable(QStringLiteral("selection %1 to %2 copied \"%3\", not \"%4\"")
                                     .arg(from)
                                     .arg(to)
                                     .arg(clipboard->text().left(40), expected.left(40))));
            }
            ++checked;
        }
    }
    QVERIFY(checked > 3);
}

void TestLogView::copyAndSaveKeepWhatTheLogHeld_data()
{
    QTest::addColumn<QString>("taken");      // "copy" (Ctrl+A, Ctrl+C) or "save" (the whole log)
    QTest::addColumn<QStringList>("before"); // the first shown, the rest gathered, not shown
    QTest::addColumn<QStringList>("after");  // appended once it is taken
    QTest::addColumn<bool>("clear");         // the log cleared once it is taken

    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString lines = QStringLiteral("+IPD,0,40:%1\r\n").arg(QString(600, 'd')).repeated(40);
    QTest::newRow("copy, then more appended")
        << "copy" << QStringList{"AT\r\n", "OK\r\n"} << QStringList{"more\r\n"} << false;
    QTest::newRow("copy ending in a CR, then the LF that completes it")
        << "copy" << QStringList{"a\r"} << QStringList{"\nb"} << false;
    QTest::newRow("copy, then the log cleared")
        << "copy" << QStringList{lines, "tail"} << QStringList{"new"} << true;
    QTest::newRow("save while text is still being gathered")
        << "save" << QStringList{"shown\r", "\ngathered\r\n", lines} << QStringList{"later"}
        << false;
    QTest::newRow("save, then the log cleared while it is written")
        << "save" << QStringList{lines, lines} << QStringList{"new"} << true;
    QTest::newRow("save of gathered text with a pair split between appends")
        << "save" << QStringList{"x", face.left(1), face.right(1) + "y"} << QStringList{} << false;
}

// A copy or a save is of the log as it was when it was taken, exactly, as characters and
// as UTF-8 read in pieces of any size, whatever the log does next.
void TestLogView::copyAndSaveKeepWhatTheLogHeld()
{
    QFETCH(QString, taken);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(bool, clear);
    const QString expected = before.join(QString());

    LogView log;
    log.show();
    log.setCoalescing(true);
    log.appendText(before.first());
    log.flush();
    for (qsizetype i = 1; i < before.size(); ++i)
        log.appendText(before[i]);
    LogExcerpt saved;
    if (taken == QLatin1String("copy")) {
        log.flush();
        log.setFocus();
        QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    } else {
        QVERIFY(!everythingShown(log));
        saved = log.excerpt();
    }
    for (const QString &text : after)
        log.appendText(text);
    if (clear)
        log.clearLog();
    log.flush();
    QCoreApplication::processEvents();
    QCOMPARE(loggedText(log), clear ? QString() : expected + after.join(QString()));

    if (taken == QLatin1String("copy")) {
        const QMimeData *copy = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copy);
        QVERIFY(copy->text() == expected);
        QVERIFY(copy->data(QStringLiteral("text/plain")) == expected.toUtf8());
        return;
    }
    LogExcerpt inPieces = saved;
    QVERIFY(saved.readAll() == expected);
    QByteArray bytes;
    while (!inPieces.atEnd())
        inPieces.readUtf8(bytes, 7);
    QVERIFY(bytes == expected.toUtf8());
}

void TestLogView::nothingEditsTheLog_data()
{
    QTest::addColumn<QString>("how");
    for (const char *how : {"type a letter", "Return", "Backspace", "Delete", "paste (Ctrl+V)",
                            "paste (Shift+Insert)", "cut (Ctrl+X)", "drop text onto it",
                            "input method", "undo (Ctrl+Z)"}) {
        QTest::newRow(how) << QString::fromLatin1(how);
    }
}

// A log loses text only by its clear button, and gains it only by appends: whatever a
// person types, pastes, cuts or drops leaves it as it was, while the caret, the selection
// and the copy still go by keyboard.
void TestLogView::nothingEditsTheLog()
{
    QFETCH(QString, how);
    const QString logged = QStringLiteral("one\r\ntwo\r\n");
    LogView log;
    log.show();
    log.appendText(logged);
    log.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&log));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTextCursor cursor = log.textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor); // "ne" selected
    log.setTextCursor(cursor);

    if (how == QLatin1String("type a letter")) {
        QTest::keyClick(&log, Qt::Key_X);
    } else if (how == QLatin1String("Return")) {
        QTest::keyClick(&log, Qt::Key_Return);
    } else if (how == QLatin1String("Backspace")) {
        QTest::keyClick(&log, Qt::Key_Backspace);
    } else if (how == QLatin1String("Delete")) {
        QTest::keyClick(&log, Qt::Key_Delete);
    } else if (how == QLatin1String("paste (Ctrl+V)")) {
        QTest::keyClick(&log, Qt::Key_V, Qt::ControlModifier);
    } else if (how == QLatin1String("paste (Shift+Insert)")) {
        QTest::keyClick(&log, Qt::Key_Insert, Qt::ShiftModifier);
    } else if (how == QLatin1String("cut (Ctrl+X)")) {
        QTest::keyClick(&log, Qt::Key_X, Qt::ControlModifier);
    } else if (how == QLatin1String("drop text onto it")) {
        QMimeData dropped;
        dropped.setText(QStringLiteral("dropped"));
        const QPoint at = log.cursorRect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(log.viewport(), &enter);
        QVERIFY2(!enter.isAccepted(), "the log takes a drag");
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &dropped, Qt::LeftButton, {});
        QCoreApplication::sendEvent(log.viewport(), &drop);
    } else if (how == QLatin1String("input method")) {
        QVERIFY(!log.testAttribute(Qt::WA_InputMethodEnabled));
        QInputMethodEvent composed(QString(), {});
        composed.setCommitString(QStringLiteral("输入"));
        QCoreApplication::sendEvent(&log, &composed);
    } else if (how == QLatin1String("undo (Ctrl+Z)")) {
        log.appendText(QStringLiteral("three"));
        QTest::keyClick(&log, Qt::Key_Z, Qt::ControlModifier);
    }
    const QString expected = how.startsWith(QLatin1String("undo")) ? logged + "three" : logged;
    QCOMPARE(loggedText(log), expected);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("pasted"));

    // Nothing to cut, paste or delete in its menu; copying and selecting are there.
    const QScopedPointer<QMenu> menu(log.createStandardContextMenu());
    QStringList entries;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            entries << action->objectName();
    }
    QCOMPARE(entries, QStringList({"edit-copy", "select-all"}));

    // The caret and the selection still go by keyboard, and the copy is the text's.
    QTest::keyClick(&log, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("on"));
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
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
    QTRY_VERIFY(everythingShown(log));
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
