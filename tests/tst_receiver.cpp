#include "fakes.h"
#include "receiver.h"
#include "stampedlog.h"

#include <QtTest>

namespace {

const QString kBad(QChar(QChar::ReplacementCharacter));

// A step of a row: the bytes of one read, or, starting with "!", what the person or the
// window does between reads: "!hex", "!text", "!utf8", "!gbk", "!stamps", "!nostamps",
// "!clear", "!note=<text>", "!t=<HH:mm:ss.zzz>" (the clock from then on).
using Steps = QList<QByteArray>;

QTime at(const char *time)
{
    return QTime::fromString(QLatin1String(time), QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

class TstReceiver : public QObject
{
    Q_OBJECT
private slots:
    void receiveLogShows_data();
    void receiveLogShows();
    void sendLogStamps_data();
    void sendLogStamps();
};

void TstReceiver::receiveLogShows_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("shown");

    // Text views.
    QTest::newRow("GBK at start, blanks trimmed as ever")
        << Steps{" OK ", "\r\n\xD6\xD0"} << QStringLiteral("OK \n中");
    QTest::newRow("UTF-8 text with its line breaks and blanks")
        << Steps{"!utf8", "  \xE4\xBD\xA0\xE5\xA5\xBD\r\r\n ok "} << QStringLiteral("你好\n ok");
    QTest::newRow("UTF-8 character split over three reads shows whole")
        << Steps{"!utf8", "a\xE4", "\xBD", "\xA0z"} << QStringLiteral("a你z");
    QTest::newRow("UTF-8: each byte of an invalid or cut sequence shows as U+FFFD")
        << Steps{"!utf8", "a\xFF\xE4\xBD", "b\xED\xA0\x80"}
        << "a" + kBad + kBad + kBad + "b" + kBad + kBad + kBad;
    QTest::newRow("switch with nothing half received applies to the next byte")
        << Steps{"ab", "!utf8", "\xE4\xBD\xA0", "!gbk", "\xD6\xD0"} << QStringLiteral("ab你中");
    QTest::newRow("GBK character half received at the switch to UTF-8 ends in GBK")
        << Steps{"a\xD6", "!utf8", "\xD0\xE4\xBD\xA0"} << QStringLiteral("a中你");
    QTest::newRow("UTF-8 character half received at the switch to GBK ends in UTF-8")
        << Steps{"!utf8", "\xE4", "!gbk", "\xBD", "\xA0\xD6\xD0"} << QStringLiteral("你中");
    QTest::newRow("UTF-8 character the byte after the switch cannot end: U+FFFD, then GBK")
        << Steps{"!utf8", "\xE4\xBD", "!gbk", "\xD6\xD0"} << kBad + kBad + QStringLiteral("中");
    QTest::newRow("switched there and back before any byte: nothing changes")
        << Steps{"\xD6", "!utf8", "!gbk", "\xD0"} << QStringLiteral("中");

    // Hex.
    QTest::newRow("hex: every byte counted, blanks and all, a line after each LF")
        << Steps{"!hex", QByteArrayLiteral(" AT \r\n\x00\xFF\n")}
        << QStringLiteral("20 41 54 20 0D 0A\n00 FF 0A\n");
    QTest::newRow("hex: a read of blanks only, and a line going on across reads")
        << Steps{"!hex", "   ", "AT\r", "\n"} << QStringLiteral("20 20 20 41 54 0D 0A\n");
    QTest::newRow("text then hex begin lines of their own; held blanks come out first")
        << Steps{"OK  ", "!hex", "x", "!text", "  y"} << QStringLiteral("OK  \n78\n  y");
    QTest::newRow("GBK character half received at the switch to hex ends as text")
        << Steps{"\xD6", "!hex", "\xD0\r\n"} << QStringLiteral("中\n0D 0A\n");
    QTest::newRow("a lead byte the next byte cannot end: U+FFFD, then hex")
        << Steps{"\xD6", "!hex", "\r"} << kBad + QStringLiteral("\n0D");
    QTest::newRow("UTF-8 character half received at the switch to hex ends as text")
        << Steps{"!utf8", "\xE4\xBD", "!hex", "\xA0\x41"} << QStringLiteral("你\n41");
    QTest::newRow("bytes shown as hex never reach the text view")
        << Steps{"!hex", "\xE4\xBD", "!text", "!utf8", "\xA0\x41"}
        << QStringLiteral("E4 BD\n") + kBad + "A";

    // Time stamps.
    QTest::newRow("stamps: each line the time its read came, empty lines too")
        << Steps{"!stamps", "!t=09:05:01.007", "AT\r\r\n\r\nOK\r\n", "!t=23:59:59.999", "ready"}
        << QStringLiteral("[09:05:01.007] AT\n[09:05:01.007] \n[09:05:01.007] OK\n"
                          "[23:59:59.999] ready");
    QTest::newRow("stamps: a line continued in a later read keeps its first time")
        << Steps{"!stamps", "!t=10:00:00.000", "+IPD,5:he", "!t=10:00:02.500", "llo\r\nx"}
        << QStringLiteral("[10:00:00.000] +IPD,5:hello\n[10:00:02.500] x");
    QTest::newRow("stamps: blanks held at a line start carry the time they came")
        << Steps{"!stamps", "!t=10:00:00.000", "OK\r\n ", "!t=10:00:01.000", " x"}
        << QStringLiteral("[10:00:00.000] OK\n[10:00:00.000]   x");
    QTest::newRow("stamps switched on mid-line begin with the next line, off likewise")
        << Steps{"abc", "!stamps", "!t=10:00:00.000", "d\r\ne", "!nostamps", "f\r\ng"}
        << QStringLiteral("abcd\n[10:00:00.000] ef\ng");
    QTest::newRow("stamps with hex")
        << Steps{"!stamps", "!hex", "!t=10:00:00.000", "AT\r\n", "!t=10:00:00.250", "OK"}
        << QStringLiteral("[10:00:00.000] 41 54 0D 0A\n[10:00:00.250] 4F 4B");
    QTest::newRow("stamps with UTF-8, a character split over the line's first reads")
        << Steps{"!stamps", "!utf8", "!t=10:00:00.000", "\xE4\xBD", "!t=10:00:01.000", "\xA0\r\n"}
        << QStringLiteral("[10:00:00.000] 你\n");

    // Notes and clears.
    QTest::newRow("a note takes a line of its own and is not counted")
        << Steps{"OK", "!note=（串口 /dev/ttyUSB0 已断开，等待重新连接…）", "ready\r\n"}
        << QStringLiteral("OK\n（串口 /dev/ttyUSB0 已断开，等待重新连接…）\nready\n");
    QTest::newRow("a note after half a character shows U+FFFD first, stamped")
        << Steps{"!stamps", "!t=10:00:00.000", "a\r\n\xD6", "!t=10:00:05.000", "!note=（注）"}
        << QStringLiteral("[10:00:00.000] a\n[10:00:00.000] ") + kBad +
               QStringLiteral("\n[10:00:05.000] （注）\n");
    QTest::newRow("a note in hex ends the hex line")
        << Steps{"!hex", "AT", "!note=（注）", "OK"} << QStringLiteral("41 54\n（注）\n4F 4B");
    QTest::newRow("after a clear the first line is stamped and leading blanks dropped")
        << Steps{"!stamps", "!t=10:00:00.000", "abc", "!clear", "!t=10:00:01.000", "  x"}
        << QStringLiteral("[10:00:01.000] x");
}

void TstReceiver::receiveLogShows()
{
    QFETCH(Steps, steps);
    QFETCH(QString, shown);

    FakeSerialLink link;
    MemoryLog log;
    ByteCount count;
    QTime now = at("12:00:00.000");
    Receiver receiver(link, log, count, [&now] { return now; });
    quint64 received = 0;
    for (const QByteArray &step : steps) {
        if (step.startsWith("!t="))
            now = at(step.constData() + 3);
        else if (step.startsWith("!note="))
            receiver.note(QString::fromUtf8(step.mid(6)));
        else if (step == "!clear")
            receiver.logCleared(), log.text.clear();
        else if (step.startsWith('!'))
            QVERIFY2(step == "!hex" || step == "!text" || step == "!utf8" || step == "!gbk" ||
                         step == "!stamps" || step == "!nostamps",
                     step.constData());
        if (step == "!hex" || step == "!text")
            receiver.setHex(step == "!hex");
        if (step == "!utf8" || step == "!gbk")
            receiver.setUtf8(step == "!utf8");
        if (step == "!stamps" || step == "!nostamps")
            receiver.setTimeStamps(step == "!stamps");
        if (!step.startsWith('!')) {
            emit link.received(step);
            received += quint64(step.size());
        }
    }
    QCOMPARE(log.text, shown);
    // Every byte is counted once, whatever the view; notes are not.
    QCOMPARE(count.value(), received);
}

void TstReceiver::sendLogStamps_data()
{
    QTest::addColumn<QStringList>("appended"); // "!t=..." sets the clock, "!on", "!off"
    QTest::addColumn<QString>("shown");

    QTest::newRow("off: the send log as ever") << QStringList{"AT\n", "abc"} << "AT\nabc";
    QTest::newRow("each command line stamped with the time it was logged")
        << QStringList{"!on", "!t=08:00:00.001", "AT\n", "!t=08:00:00.020", "AT+GMR\n"}
        << "[08:00:00.001] AT\n[08:00:00.020] AT+GMR\n";
    QTest::newRow("raw text then a command: one line, one stamp")
        << QStringList{"!on", "!t=08:00:00.001", "abc", "!t=08:00:01.000", "AT\n"}
        << "[08:00:00.001] abcAT\n";
    QTest::newRow("line breaks inside raw text begin stamped lines")
        << QStringList{"!on", "a\nb\n"} << "[12:00:00.000] a\n[12:00:00.000] b\n";
    QTest::newRow("the cut-short note stays as it is behind its stamp")
        << QStringList{"!on", "abc", "!t=08:00:02.000", "\n（发送被中断：3 字节未发出）\n"}
        << "[12:00:00.000] abc\n[08:00:02.000] （发送被中断：3 字节未发出）\n";
    QTest::newRow("switched on mid-line: from the next line")
        << QStringList{"abc", "!on", "AT\n", "AT\n", "!off", "AT\n"}
        << "abcAT\n[12:00:00.000] AT\nAT\n";
}

void TstReceiver::sendLogStamps()
{
    QFETCH(QStringList, appended);
    QFETCH(QString, shown);

    MemoryLog log;
    QTime now = at("12:00:00.000");
    StampedLog stamped(log, [&now] { return now; });
    for (const QString &text : appended) {
        if (text.startsWith(QLatin1String("!t=")))
            now = at(qPrintable(text.mid(3)));
        else if (text == QLatin1String("!on") || text == QLatin1String("!off"))
            stamped.setTimeStamps(text == QLatin1String("!on"));
        else
            stamped.appendText(text);
    }
    QCOMPARE(log.text, shown);
}

QTEST_GUILESS_MAIN(TstReceiver)
#include "tst_receiver.moc"
