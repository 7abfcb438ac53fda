#include "receivetext.h"
#include "wirecodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

const QString kBad(QChar(QChar::ReplacementCharacter));

// Shows control characters, so that a failing comparison says where a break went.
QString visible(const QString &text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("<CR>");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("<LF>");
        else if (c == QLatin1Char(' '))
            out += QStringLiteral("_");
        else if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            out += QStringLiteral("<%1>").arg(c.unicode(), 0, 16);
        else
            out += c;
    }
    return out;
}

QString feedWhole(const QByteArray &bytes)
{
    ReceiveText receive;
    return receive.feed(bytes);
}

// Cuts the bytes into reads at random places: sometimes one byte a read, sometimes a
// few large pieces, empty reads included.
QList<QByteArray> randomReads(const QByteArray &bytes, QRandomGenerator &random)
{
    QList<QByteArray> reads;
    const int style = random.bounded(4);
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype length = 0;
        switch (style) {
        case 0:
            length = 1;
            break;
        case 1:
            length = random.bounded(0, 4);
            break;
        case 2:
            length = random.bounded(0, 17);
            break;
        default:
            length = random.bounded(qsizetype(0), bytes.size() - at + 1);
            break;
        }
        length = qMin(length, bytes.size() - at);
        reads.append(bytes.mid(at, length));
        at += length;
    }
    return reads;
}

QByteArray randomBytes(QRandomGenerator &random, int size, const QByteArray &alphabet = {})
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = alphabet.isEmpty() ? char(random.bounded(256))
                                  : alphabet.at(random.bounded(int(alphabet.size())));
    return bytes;
}

// An independent model of what the log shows for the bytes fed at once to an empty log:
// it looks ahead in the whole text instead of keeping state between characters.
QString modelOfLog(const QByteArray &bytes)
{
    const QString text = WireDecoder().decode(bytes);
    QString shown;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            shown += QLatin1Char('\n');
            if (text.mid(i + 1, 2) == QStringLiteral("\r\n"))
                i += 2; // the module's echo CR CR LF
            else if (text.mid(i + 1, 1) == QStringLiteral("\n"))
                i += 1; // CR LF
            else if (text.mid(i + 1) == QStringLiteral("\r"))
                break; // CR CR at the very end: the second may still be part of CR CR LF
        } else {
            shown += c == QLatin1Char('\n') ? QChar(QLatin1Char('\n')) : c;
        }
    }
    // Blanks before anything else on an empty log never show; those at the end are held.
    qsizetype begin = 0;
    while (begin < shown.size() && shown.at(begin) == QLatin1Char(' '))
        ++begin;
    qsizetype end = shown.size();
    while (end > begin && shown.at(end - 1) == QLatin1Char(' '))
        --end;
    return shown.mid(begin, end - begin);
}

struct Corpus
{
    const char *name;
    QByteArray bytes;
};

QList<Corpus> corpora()
{
    QList<Corpus> list;
    list.append(
        {"module replies with echoes",
         QByteArray("AT\r\r\n\r\nOK\r\nAT+GMR\r\r\nAT version:0.21.0.0\r\nSDK version:0.9.5\r\n"
                    "\r\nOK\r\nAT+CWMODE?\r\r\n+CWMODE:3\r\n\r\nOK\r\n\r\r\nERROR\r\n"
                    "AT+CIPSEND=5\r\r\n\r\nOK\r\n> hello\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n"
                    "+IPD,12:  two blanks \r\nAT+CWLAP\r\r\n+CWLAP:(3,\"net 1\",-62,"
                    "\"aa:bb:cc:dd:ee:ff\",1)\r\n\r\nOK\r\n")});
    list.append({"Chinese GBK text",
                 WireCodec::encode(QStringLiteral("  你好，世界！  测试 数据\r\n接收：中文\t文本 "
                                                  "€ü\r\r\n  结束  "))
                     .bytes});
    {
        QRandomGenerator random(7);
        list.append({"boot garbage then ready",
                     QByteArray("AT+RST\r\r\n\r\nOK\r\n") + randomBytes(random, 300) +
                         QByteArray("\r\nready\r\nWIFI CONNECTED\r\nWIFI GOT IP\r\n")});
    }
    list.append({"runs of blanks and CRs",
                 QByteArray("   \r\r \r\n\r\r\r\n   \n\r  x  \r\r\r\r\n\n\n\r \r  y   \r\r")});
    {
        QRandomGenerator random(11);
        list.append({"random bytes", randomBytes(random, 600)});
    }
    {
        // The bytes every rule turns on, densely mixed: blanks, CR, LF, a GBK pair's two
        // halves, a lead byte with no partner, the stray 0xFF, the euro byte.
        QRandomGenerator random(13);
        list.append({"dense mix of blanks, breaks and GBK halves",
                     randomBytes(random, 600, QByteArray("  \r\r\n\na\xD6\xD0\x81\xFF\x80\t"))});
    }
    return list;
}

} // namespace

class Tst_receivetext : public QObject
{
    Q_OBJECT

private slots:
    void shownForBytes_data();
    void shownForBytes();

    void shownAsReadsArrive_data();
    void shownAsReadsArrive();

    void afterLogCleared_data();
    void afterLogCleared();

    void bootGarbageThenReadyEndsIntact();

    void anySplittingShowsTheSame_data();
    void anySplittingShowsTheSame();

    void wholeAtOnceMatchesModel_data();
    void wholeAtOnceMatchesModel();
};

void Tst_receivetext::shownForBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank OK blank on an empty log shows OK")
        << QByteArray(" OK ") << QStringLiteral("OK");
    QTest::newRow("read of only blanks shows nothing") << QByteArray("    ") << QString();
    QTest::newRow("blank between two characters is kept")
        << QByteArray("ab cd") << QStringLiteral("ab cd");
    QTest::newRow("several inner blanks are kept")
        << QByteArray("a   b") << QStringLiteral("a   b");
    QTest::newRow("tab is never trimmed") << QByteArray("\tOK\t") << QStringLiteral("\tOK\t");
    QTest::newRow("ideographic space is never trimmed")
        << QByteArray("\xA1\xA1OK\xA1\xA1") << QStringLiteral("\u3000OK\u3000");
    QTest::newRow("blanks after a line break on the log are kept")
        << QByteArray("\r\n  OK") << QStringLiteral("\n  OK");
    QTest::newRow("blanks before a line break come out before it")
        << QByteArray("OK  \r\n") << QStringLiteral("OK  \n");
    QTest::newRow("CR LF is one break") << QByteArray("OK\r\n") << QStringLiteral("OK\n");
    QTest::newRow("module echo CR CR LF is one break")
        << QByteArray("AT\r\r\nOK") << QStringLiteral("AT\nOK");
    QTest::newRow("lone LF is one break") << QByteArray("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("lone CR is one break") << QByteArray("a\rb") << QStringLiteral("a\nb");
    QTest::newRow("two lone CRs are two breaks")
        << QByteArray("a\r\rb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR CR CR LF is a lone CR and an echo")
        << QByteArray("a\r\r\r\nb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR CR CR CR LF is two lone CRs and an echo")
        << QByteArray("a\r\r\r\r\nb") << QStringLiteral("a\n\n\nb");
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR LF LF is two breaks") << QByteArray("a\r\n\nb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR LF CR LF is two breaks")
        << QByteArray("a\r\n\r\nb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR blank LF is two breaks with the blank between")
        << QByteArray("a\r \nb") << QStringLiteral("a\n \nb");
    QTest::newRow("echoed AT then blank line then OK")
        << QByteArray("AT\r\r\n\r\nOK\r\n") << QStringLiteral("AT\n\nOK\n");
    QTest::newRow("empty line answered with ERROR")
        << QByteArray("\r\r\nERROR\r\n") << QStringLiteral("\nERROR\n");
    QTest::newRow("send prompt holds its blank")
        << QByteArray("\r\nOK\r\n> ") << QStringLiteral("\nOK\n>");
    QTest::newRow("CR CR at the end shows only the first break")
        << QByteArray("OK\r\r") << QStringLiteral("OK\n");
    QTest::newRow("Chinese text between blanks")
        << QByteArray(" \xD6\xD0 \xCE\xC4 ") << QStringLiteral("中 文");
    QTest::newRow("lead byte before CR LF does not swallow the break")
        << QByteArray("a\x81\r\nb") << QStringLiteral("a") + kBad + QStringLiteral("\nb");
    QTest::newRow("stray 0xFF shows as a replacement")
        << QByteArray("\xFF\x4FK") << kBad + QStringLiteral("OK");
    QTest::newRow("boot garbage then ready")
        << QByteArray("\x8E\xFF\x81\x12 \x80\xFE\xFE\x82\r\nready\r\n")
        << kBad + kBad + kBad + QStringLiteral("\x12 €") + QChar(0xE4C5) + kBad +
               QStringLiteral("\nready\n");
}

void Tst_receivetext::shownForBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(visible(feedWhole(bytes)), visible(expected));
}

void Tst_receivetext::shownAsReadsArrive_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("blank at a read boundary is kept")
        << QList<QByteArray>{"ab ", "cd"} << QStringList{"ab", " cd"};
    QTest::newRow("blank-only read on a shown log waits for more text")
        << QList<QByteArray>{"ab", "   ", "c"} << QStringList{"ab", "", "   c"};
    QTest::newRow("blank-only reads on an empty log never show")
        << QList<QByteArray>{"  ", " ", "OK"} << QStringList{"", "", "OK"};
    QTest::newRow("held blanks come out before a line break")
        << QList<QByteArray>{"OK ", "\r\n"} << QStringList{"OK", " \n"};
    QTest::newRow("lone CR shows its break at once")
        << QList<QByteArray>{"line\r", "next\r"} << QStringList{"line\n", "next\n"};
    QTest::newRow("LF after a shown CR is swallowed")
        << QList<QByteArray>{"a\r", "\nb"} << QStringList{"a\n", "b"};
    QTest::newRow("lone LF shows at once")
        << QList<QByteArray>{"a\n", "b"} << QStringList{"a\n", "b"};
    QTest::newRow("echo split after the first CR")
        << QList<QByteArray>{"AT\r", "\r\nOK"} << QStringList{"AT\n", "OK"};
    QTest::newRow("echo split after the second CR")
        << QList<QByteArray>{"AT\r\r", "\nOK"} << QStringList{"AT\n", "OK"};
    QTest::newRow("echo split one byte a read")
        << QList<QByteArray>{"A", "T", "\r", "\r", "\n", "O", "K", "\r", "\n"}
        << QStringList{"A", "T", "\n", "", "", "O", "K", "\n", ""};
    QTest::newRow("two lone CRs: the second break shows with the next byte")
        << QList<QByteArray>{"a\r\r", "b"} << QStringList{"a\n", "\nb"};
    QTest::newRow("two lone CRs then a blank: the break shows, the blank is held")
        << QList<QByteArray>{"a\r\r", " ", "b"} << QStringList{"a\n", "\n", " b"};
    QTest::newRow("GBK character split across two reads")
        << QList<QByteArray>{"\xD6", "\xD0OK"} << QStringList{"", "中OK"};
    QTest::newRow("GBK character split after a held blank")
        << QList<QByteArray>{"a \xD6", "\xD0"} << QStringList{"a", " 中"};
    QTest::newRow("lead byte then CR in the next read")
        << QList<QByteArray>{"a\x81", "\r\nready"}
        << QStringList{"a", kBad + QStringLiteral("\nready")};
    QTest::newRow("empty read shows nothing")
        << QList<QByteArray>{"OK", ""} << QStringList{"OK", ""};
}

void Tst_receivetext::shownAsReadsArrive()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, shown);
    QCOMPARE(reads.size(), shown.size());

    ReceiveText receive;
    QByteArray all;
    QString log;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const QString now = receive.feed(reads.at(i));
        QVERIFY2(now == shown.at(i), qPrintable(QStringLiteral("read %1: got \"%2\", want \"%3\"")
                                                    .arg(i)
                                                    .arg(visible(now), visible(shown.at(i)))));
        all += reads.at(i);
        log += now;
    }
    QCOMPARE(visible(log), visible(feedWhole(all)));
}

void Tst_receivetext::afterLogCleared_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("shownAfter");

    QTest::newRow("leading blanks are dropped again")
        << QByteArray("OK\r\n") << QByteArray("  ready") << QStringLiteral("ready");
    QTest::newRow("blanks held from before are forgotten")
        << QByteArray("OK   ") << QByteArray("x") << QStringLiteral("x");
    QTest::newRow("blanks held from before do not show after a break")
        << QByteArray("OK   ") << QByteArray("\r\nx") << QStringLiteral("\nx");
    QTest::newRow("LF after a CR from before the clear is still swallowed")
        << QByteArray("OK\r") << QByteArray("\nready") << QStringLiteral("ready");
    QTest::newRow("blanks after a swallowed LF on the emptied log are dropped")
        << QByteArray("OK\r") << QByteArray("\n  ready") << QStringLiteral("ready");
    QTest::newRow("echo CR CR LF across the clear is one break")
        << QByteArray("AT\r\r") << QByteArray("\nOK") << QStringLiteral("OK");
    QTest::newRow("second lone CR from before shows no break on the emptied log")
        << QByteArray("a\r\r") << QByteArray("b") << QStringLiteral("b");
    QTest::newRow("second lone CR from before, then a line of its own")
        << QByteArray("a\r\r") << QByteArray("b\r\nc") << QStringLiteral("b\nc");
    QTest::newRow("second CR from before, then CR LF ending the echo shows no break")
        << QByteArray("a\r\r") << QByteArray("\r\nb") << QStringLiteral("b");
    QTest::newRow("a CR right after the clear is a break of its own")
        << QByteArray("a\r") << QByteArray("\rb") << QStringLiteral("\nb");
    QTest::newRow("GBK character split by the clear comes out whole")
        << QByteArray("a\xD6") << QByteArray("\xD0") << QStringLiteral("中");
    QTest::newRow("blank inside the new log is kept")
        << QByteArray("x") << QByteArray(" a b ") << QStringLiteral("a b");
}

void Tst_receivetext::afterLogCleared()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, shownAfter);

    ReceiveText receive;
    receive.feed(before);
    receive.logCleared();
    QCOMPARE(visible(receive.feed(after)), visible(shownAfter));

    // The same, one byte a read after the clear.
    ReceiveText bytewise;
    bytewise.feed(before);
    bytewise.logCleared();
    QString log;
    for (char byte : after)
        log += bytewise.feed(QByteArrayView(&byte, 1));
    QCOMPARE(visible(log), visible(shownAfter));
}

void Tst_receivetext::bootGarbageThenReadyEndsIntact()
{
    for (quint32 seed = 1; seed <= 200; ++seed) {
        QRandomGenerator random(seed);
        const QByteArray garbage = randomBytes(random, random.bounded(1, 500));
        const QByteArray bytes = garbage + "\r\nready\r\n";
        const QString context = QStringLiteral("seed %1").arg(seed);

        const QString whole = feedWhole(bytes);
        QVERIFY2(whole.endsWith(QStringLiteral("\nready\n")), qPrintable(context));
        QVERIFY2(!whole.contains(QLatin1Char('\r')), qPrintable(context));

        // Garbage and the line in separate reads, as a reset delivers them.
        ReceiveText receive;
        QString log = receive.feed(garbage);
        log += receive.feed("\r\nready\r\n");
        QVERIFY2(log == whole, qPrintable(context));
    }
}

void Tst_receivetext::anySplittingShowsTheSame_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (const Corpus &corpus : corpora())
        QTest::newRow(corpus.name) << corpus.bytes;
}

void Tst_receivetext::anySplittingShowsTheSame()
{
    QFETCH(QByteArray, bytes);
    const QString whole = feedWhole(bytes);
    QVERIFY(!whole.isEmpty());

    for (quint32 seed = 1; seed <= 400; ++seed) {
        QRandomGenerator random(seed);
        const QList<QByteArray> reads = randomReads(bytes, random);
        ReceiveText receive;
        QString log;
        for (const QByteArray &read : reads)
            log += receive.feed(read);
        if (log != whole) {
            QStringList cuts;
            for (const QByteArray &read : reads)
                cuts.append(QString::fromLatin1(read.toHex()));
            QFAIL(qPrintable(QStringLiteral("seed %1, reads %2:\n got  %3\n want %4")
                                 .arg(seed)
                                 .arg(cuts.join(QLatin1Char('|')), visible(log), visible(whole))));
        }
    }
}

void Tst_receivetext::wholeAtOnceMatchesModel_data()
{
    QTest::addColumn<QByteArray>("alphabet");
    QTest::newRow("blanks, breaks and letters") << QByteArray("  \r\r\n\nab");
    QTest::newRow("blanks, breaks and GBK halves") << QByteArray(" \r\n\xD6\xD0\x81\xFF\x80");
    QTest::newRow("any byte") << QByteArray();
}

// Random inputs against a model that looks at the whole text at once.
void Tst_receivetext::wholeAtOnceMatchesModel()
{
    QFETCH(QByteArray, alphabet);
    for (quint32 seed = 1; seed <= 2000; ++seed) {
        QRandomGenerator random(seed);
        const QByteArray bytes = randomBytes(random, random.bounded(0, 40), alphabet);
        const QString got = feedWhole(bytes);
        const QString want = modelOfLog(bytes);
        QVERIFY2(got == want, qPrintable(QStringLiteral("bytes %1:\n got  %2\n want %3")
                                             .arg(QString::fromLatin1(bytes.toHex()), visible(got),
                                                  visible(want))));
    }
}

QTEST_MAIN(Tst_receivetext)
#include "tst_receivetext.moc"
