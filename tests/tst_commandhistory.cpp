#include "commandhistory.h"

#include <QtTest>

// The command lines Ctrl+Up and Ctrl+Down bring back into the input box.
class Tst_commandhistory : public QObject
{
    Q_OBJECT
private slots:
    void browse_data();
    void browse();
};

// Each row sends some lines, then presses keys on a line reading `draft`: "U" for Ctrl+Up,
// "D" for Ctrl+Down, "S" sends the line as it reads then. `shown` is what each key puts in
// place of the line, "-" when it leaves the line alone.
void Tst_commandhistory::browse_data()
{
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("draft");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("shown");

    const QStringList three{"AT", "AT+GMR", "AT+CWLAP"};
    QTest::newRow("nothing sent: both keys leave the line")
        << QStringList() << "typed" << QStringList{"U", "D"} << QStringList{"-", "-"};
    QTest::newRow("up goes from the newest to the oldest, then stays")
        << three << "" << QStringList{"U", "U", "U", "U"}
        << QStringList{"AT+CWLAP", "AT+GMR", "AT", "-"};
    QTest::newRow("down without browsing leaves the line")
        << three << "typed" << QStringList{"D"} << QStringList{"-"};
    QTest::newRow("down past the newest gives back the line as it was, once")
        << three << "AT+CIP" << QStringList{"U", "U", "D", "D", "D", "U"}
        << QStringList{"AT+CWLAP", "AT+GMR", "AT+CWLAP", "AT+CIP", "-", "AT+CWLAP"};
    QTest::newRow("a line sent twice in a row is kept once")
        << QStringList{"AT", "AT", "AT+RST", "AT+RST", "AT"} << ""
        << QStringList{"U", "U", "U", "U"} << QStringList{"AT", "AT+RST", "AT", "-"};
    QTest::newRow("an empty line is not kept")
        << QStringList{"AT", ""} << "x" << QStringList{"U", "U"} << QStringList{"AT", "-"};
    QTest::newRow("a line sent while browsing ends browsing and is the newest")
        << three << "draft" << QStringList{"U", "U", "S", "U", "U", "D", "D", "D"}
        << QStringList{"AT+CWLAP", "AT+GMR", "-", "AT+GMR", "AT+CWLAP", "AT+GMR", "AT+GMR", "-"};

    // A hundred lines are kept: the 101st pushes out the first.
    QStringList many;
    for (int i = 1; i <= 101; ++i)
        many.append(QStringLiteral("AT+N=%1").arg(i));
    QStringList ups(101, QStringLiteral("U"));
    QStringList seen;
    for (int i = 101; i >= 2; --i)
        seen.append(QStringLiteral("AT+N=%1").arg(i));
    seen.append(QStringLiteral("-"));
    QTest::newRow("a hundred lines kept, the oldest goes") << many << "" << ups << seen;
}

void Tst_commandhistory::browse()
{
    QFETCH(QStringList, sent);
    QFETCH(QString, draft);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, shown);

    CommandHistory history;
    for (const QString &line : sent)
        history.remember(line);
    QString line = draft; // what the box's line reads
    QStringList got;
    for (const QString &key : keys) {
        if (key == QLatin1String("S")) {
            history.remember(line);
            got.append(QStringLiteral("-"));
            continue;
        }
        const std::optional<QString> next =
            key == QLatin1String("U") ? history.older(line) : history.newer();
        got.append(next.value_or(QStringLiteral("-")));
        if (next)
            line = *next;
    }
    QCOMPARE(got, shown);
    QVERIFY(history.lines().size() <= CommandHistory::kMaxLines);
}

QTEST_GUILESS_MAIN(Tst_commandhistory)
#include "tst_commandhistory.moc"
