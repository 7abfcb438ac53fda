#include "bytecount.h"
#include "commandtable.h"
#include "fakes.h"
#include "filesender.h"
#include "freeformsender.h"
#include "ptypair.h"
#include "qtseriallink.h"
#include "transmitter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

// The transmit routine and free-form sending: what goes on the wire, what the send log
// shows and what TxCount counts, over a recording link and over a real pseudo-terminal.
class Tst_transmitter : public QObject
{
    Q_OBJECT
private slots:
    void fixedCommand();
    void clickFrame_data();
    void clickFrame();
    void sequence_data();
    void sequence();
    void failedWrite_data();
    void failedWrite();
    void timer5Shipped();
    void payload_data();
    void payload();
    void rawText_data();
    void rawText();
    void pendingPayload_data();
    void pendingPayload();
    void laterClickKeepsTheTick_data();
    void laterClickKeepsTheTick();
    void freeFormPortClosed_data();
    void freeFormPortClosed();
    void overPseudoTerminal_data();
    void overPseudoTerminal();
    void fileSend_data();
    void fileSend();
};

namespace {

const QString kWarnTitle = QStringLiteral("温馨提示！");
const QString kWarnText = QStringLiteral("串口尚未连接！");
constexpr int kShortInterval = 20;

// GBK bytes of the Chinese text the rows use.
const QByteArray kCeShiGbk = QByteArray::fromHex("b2e2cad4");  // 测试
const QByteArray kSanShiGbk = QByteArray::fromHex("c8fdcaae"); // 三十

// The console rig, its payload following after a short interval.
struct Rig : ConsoleRig
{
    explicit Rig(bool open = true) : ConsoleRig(open, kShortInterval) {}
};

} // namespace

// Waits for Timer5's one tick. The spy is connected after the sender's own handler, so the
// payload has been handled when the spy sees the tick.
#define WAIT_FOR_TICK(timer, ticks)                                                               \
    do {                                                                                           \
        QVERIFY2(QTest::qWaitFor([&] { return (ticks).count() >= 1; }, 2000),                      \
                 "waited 2000 ms for Timer5's tick");                                              \
        QCOMPARE((ticks).count(), 1);                                                              \
        QVERIFY(!(timer).isActive());                                                     \
    } while (false)

// Every line of the fixed-command table goes out whole, after what was sent before. (What
// each button sends, text and count, is one table in the window suite.)
void Tst_transmitter::fixedCommand()
{
    for (const FixedCommand &entry : kFixedCommands) {
        const QString text = QString::fromLatin1(entry.text);
        Rig rig;
        rig.log.text = QStringLiteral("earlier\n");
        rig.tx.add(100);
        QVERIFY(rig.transmitter.runCommand([text] { return text; }));
        QCOMPARE(rig.link.written, text.toLatin1() + "\r\n");
        QCOMPARE(rig.log.text, QStringLiteral("earlier\n") + text + u'\n');
        QCOMPARE(rig.log.appends, 1);
        QCOMPARE(rig.tx.value(), quint64(100 + entry.count));
        QVERIFY(rig.messages.boxes.isEmpty());
    }
}

// The frame every command button runs: the port is asked first; closed means the warning
// and nothing else, not even reading the controls.
void Tst_transmitter::clickFrame_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<bool>("composes"); // whether the controls give a command
    QTest::addColumn<bool>("warns");
    QTest::addColumn<bool>("composeCalled");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("closed port: warning only, for a fixed command")
        << false << true << true << false << QByteArray();
    QTest::newRow("closed port: warning only, even when the list text matches nothing")
        << false << false << true << false << QByteArray();
    QTest::newRow("open port, list text matching nothing: nothing at all")
        << true << false << false << true << QByteArray();
    QTest::newRow("open port: the composed line goes out")
        << true << true << false << true << QByteArray("AT+CWMODE=1\r\n");
}

void Tst_transmitter::clickFrame()
{
    QFETCH(bool, portOpen);
    QFETCH(bool, composes);
    QFETCH(bool, warns);
    QFETCH(bool, composeCalled);
    QFETCH(QByteArray, wire);

    Rig rig(portOpen);
    rig.log.text = QStringLiteral("AT\n");
    rig.tx.add(4);
    bool called = false;
    const bool sent = rig.transmitter.runCommand([&]() -> std::optional<QString> {
        called = true;
        if (!composes)
            return std::nullopt;
        return QStringLiteral("AT+CWMODE=1");
    });

    QCOMPARE(called, composeCalled);
    QCOMPARE(sent, !wire.isEmpty());
    QCOMPARE(rig.link.written, wire);
    if (warns) {
        QCOMPARE(rig.messages.boxes.size(), 1);
        QCOMPARE(rig.messages.boxes.first().kind, QStringLiteral("warn"));
        QCOMPARE(rig.messages.boxes.first().title, kWarnTitle);
        QCOMPARE(rig.messages.boxes.first().text, kWarnText);
    } else {
        QVERIFY(rig.messages.boxes.isEmpty());
    }
    if (wire.isEmpty()) {
        QCOMPARE(rig.log.text, QStringLiteral("AT\n"));
        QCOMPARE(rig.log.appends, 0);
        QCOMPARE(rig.tx.value(), quint64(4));
    } else {
        QCOMPARE(rig.log.text, QStringLiteral("AT\nAT+CWMODE=1\n"));
        QCOMPARE(rig.tx.value(), quint64(4 + wire.size()));
    }
}

// Several sends in a row. A step "C:text" is a command line, "R:text" raw text.
void Tst_transmitter::sequence_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("count");

    QTest::newRow("two clicks of status add 28")
        << QStringList{"C:AT+CIPSTATUS", "C:AT+CIPSTATUS"}
        << QByteArray("AT+CIPSTATUS\r\nAT+CIPSTATUS\r\n")
        << QStringLiteral("AT+CIPSTATUS\nAT+CIPSTATUS\n") << 28;
    QTest::newRow("command after raw text continues the same log line")
        << QStringList{"R:hello", "C:AT"} << QByteArray("helloAT\r\n")
        << QStringLiteral("helloAT\n") << 9;
    QTest::newRow("counts add up over many commands")
        << QStringList{"C:AT", "C:AT+RST", "C:AT+GMR", "C:AT+CWLAP"}
        << QByteArray("AT\r\nAT+RST\r\nAT+GMR\r\nAT+CWLAP\r\n")
        << QStringLiteral("AT\nAT+RST\nAT+GMR\nAT+CWLAP\n") << 30;
    QTest::newRow("Chinese in a command goes as GBK and counts two bytes each")
        << QStringList{QStringLiteral("C:AT+CIPSTO=三十")}
        << QByteArray("AT+CIPSTO=" + kSanShiGbk + "\r\n") << QStringLiteral("AT+CIPSTO=三十\n")
        << 16;
    QTest::newRow("unencodable character goes as ? and the log shows ?")
        << QStringList{QStringLiteral("C:AT+CWJAP=\"a😀\",\"\"")}
        << QByteArray("AT+CWJAP=\"a?\",\"\"\r\n") << QStringLiteral("AT+CWJAP=\"a?\",\"\"\n") << 18;
    QTest::newRow("raw CR LF in text is logged as one line break")
        << QStringList{"R:a\r\nb"} << QByteArray("a\r\nb") << QStringLiteral("a\nb") << 4;
}

void Tst_transmitter::sequence()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, wire);
    QFETCH(QString, log);
    QFETCH(int, count);

    Rig rig;
    for (const QString &step : steps) {
        const QString text = step.mid(2);
        if (step.startsWith(QLatin1String("C:")))
            QVERIFY(rig.transmitter.runCommand([text] { return text; }));
        else
            QVERIFY(rig.transmitter.sendRaw(text));
    }
    QCOMPARE(rig.link.written, wire);
    QCOMPARE(rig.log.text, log);
    QCOMPARE(rig.tx.value(), quint64(count));
    QVERIFY(rig.messages.boxes.isEmpty());
}

// A write that fails while the port said it was open: the port counts as lost; what did not
// go out is neither logged nor counted, and the next click warns.
void Tst_transmitter::failedWrite_data()
{
    QTest::addColumn<bool>("raw");
    QTest::newRow("command line write fails") << false;
    QTest::newRow("raw text write fails") << true;
}

void Tst_transmitter::failedWrite()
{
    QFETCH(bool, raw);

    Rig rig;
    rig.log.text = QStringLiteral("AT\n");
    rig.tx.add(4);
    rig.link.writeSucceeds = false;
    QSignalSpy lost(&rig.link, &SerialLink::lost);

    const bool ok = raw ? rig.transmitter.sendRaw(QStringLiteral("hello"))
                        : rig.transmitter.SendAtCommand(QStringLiteral("AT+GMR"));
    QVERIFY(!ok);
    QCOMPARE(rig.log.text, QStringLiteral("AT\n"));
    QCOMPARE(rig.log.appends, 0);
    QCOMPARE(rig.tx.value(), quint64(4));
    QCOMPARE(lost.count(), 1);
    QVERIFY(rig.messages.boxes.isEmpty());

    QVERIFY(!rig.transmitter.runCommand([] { return QStringLiteral("AT"); }));
    QCOMPARE(rig.messages.boxes.size(), 1);
    QCOMPARE(rig.messages.boxes.first().title, kWarnTitle);
    QCOMPARE(rig.link.written, QByteArray());
}

void Tst_transmitter::timer5Shipped()
{
    FakeSerialLink link;
    MemoryLog log;
    ByteCount tx;
    RecordingMessages messages;
    Transmitter transmitter(link, log, tx, messages);
    QTimer timer5;
    FreeFormSender sender(transmitter, [] { return QString(); }, timer5);
    QCOMPARE(timer5.objectName(), QStringLiteral("Timer5"));
    QCOMPARE(timer5.interval(), 500);
    QVERIFY(timer5.isSingleShot());
    QVERIFY(!timer5.isActive());
}

// "AT发送": the announcement of the input's byte length now, the input + CR LF at the tick.
void Tst_transmitter::payload_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("announcement");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("count");

    QTest::newRow("hello: 14 then 7 bytes, 21 in all")
        << "hello" << QByteArray("AT+CIPSEND=5\r\n") << QByteArray("hello\r\n")
        << QStringLiteral("AT+CIPSEND=5\nhello\n") << 21;
    QTest::newRow("two Chinese characters announce 4 and send 6")
        << QStringLiteral("测试") << QByteArray("AT+CIPSEND=4\r\n")
        << QByteArray(kCeShiGbk + "\r\n") << QStringLiteral("AT+CIPSEND=4\n测试\n") << 20;
    QTest::newRow("empty input announces 0 and sends CR LF alone")
        << QString() << QByteArray("AT+CIPSEND=0\r\n") << QByteArray("\r\n")
        << QStringLiteral("AT+CIPSEND=0\n\n") << 16;
    QTest::newRow("line break in the box goes as CR LF and counts 2")
        << "a\nb" << QByteArray("AT+CIPSEND=4\r\n") << QByteArray("a\r\nb\r\n")
        << QStringLiteral("AT+CIPSEND=4\na\nb\n") << 20;
    QTest::newRow("CR LF already in the box is not doubled")
        << "a\r\nb" << QByteArray("AT+CIPSEND=4\r\n") << QByteArray("a\r\nb\r\n")
        << QStringLiteral("AT+CIPSEND=4\na\nb\n") << 20;
    QTest::newRow("unencodable character goes as ? and counts 1")
        << QStringLiteral("hi😀") << QByteArray("AT+CIPSEND=3\r\n") << QByteArray("hi?\r\n")
        << QStringLiteral("AT+CIPSEND=3\nhi?\n") << 19;
    QTest::newRow("ten-byte payload announces two digits")
        << "0123456789" << QByteArray("AT+CIPSEND=10\r\n") << QByteArray("0123456789\r\n")
        << QStringLiteral("AT+CIPSEND=10\n0123456789\n") << 27;
}

void Tst_transmitter::payload()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, announcement);
    QFETCH(QByteArray, payload);
    QFETCH(QString, log);
    QFETCH(int, count);

    Rig rig;
    rig.input = input;
    QSignalSpy ticks(&rig.timer5, &QTimer::timeout);
    rig.sender.clickAtSend();
    QCOMPARE(rig.link.written, announcement);
    QCOMPARE(rig.tx.value(), quint64(announcement.size()));
    QVERIFY(rig.timer5.isActive());

    WAIT_FOR_TICK(rig.timer5, ticks);
    QCOMPARE(rig.link.written, announcement + payload);
    QCOMPARE(rig.log.text, log);
    QCOMPARE(rig.tx.value(), quint64(count));
    QVERIFY(rig.messages.boxes.isEmpty());
}

// "文本发送": the input unchanged, no terminator, counted as it went.
void Tst_transmitter::rawText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("log");

    QTest::newRow("hello goes as 5 bytes") << "hello" << QByteArray("hello") << "hello";
    QTest::newRow("two Chinese characters add 4")
        << QStringLiteral("测试") << kCeShiGbk << QStringLiteral("测试");
    QTest::newRow("empty input sends, logs and counts nothing")
        << QString() << QByteArray() << QString();
    QTest::newRow("line break in the box goes as CR LF")
        << QStringLiteral("a\nb\n") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\nb\n");
    QTest::newRow("unencodable character goes as ? and the log shows ?")
        << QStringLiteral("😀x") << QByteArray("?x") << "?x";
    QTest::newRow("blanks are sent as typed") << "  a  " << QByteArray("  a  ") << "  a  ";
}

void Tst_transmitter::rawText()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, wire);
    QFETCH(QString, log);

    Rig rig;
    rig.input = input;
    rig.sender.clickTextSend();
    QCOMPARE(rig.link.written, wire);
    QCOMPARE(rig.log.text, log);
    QCOMPARE(rig.log.appends, log.isEmpty() ? 0 : 1);
    QCOMPARE(rig.tx.value(), quint64(wire.size()));
    QVERIFY(!rig.timer5.isActive());
    QVERIFY(rig.messages.boxes.isEmpty());
}

// What happens while a payload waits for its tick.
void Tst_transmitter::pendingPayload_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("count");

    QTest::newRow("edit between click and tick sends the new text after the old length")
        << "edit" << QByteArray("AT+CIPSEND=5\r\nhi there\r\n")
        << QStringLiteral("AT+CIPSEND=5\nhi there\n") << 24;
    QTest::newRow("two clicks within the interval: two announcements, one payload")
        << "twoClicks" << QByteArray("AT+CIPSEND=5\r\nAT+CIPSEND=5\r\nhello\r\n")
        << QStringLiteral("AT+CIPSEND=5\nAT+CIPSEND=5\nhello\n") << 35;
    QTest::newRow("port closed before the tick: the payload is dropped")
        << "close" << QByteArray("AT+CIPSEND=5\r\n") << QStringLiteral("AT+CIPSEND=5\n") << 14;
    QTest::newRow("port lost before the tick: the payload is dropped")
        << "lose" << QByteArray("AT+CIPSEND=5\r\n") << QStringLiteral("AT+CIPSEND=5\n") << 14;
    QTest::newRow("write fails at the tick: nothing logged or counted")
        << "failAtTick" << QByteArray("AT+CIPSEND=5\r\n") << QStringLiteral("AT+CIPSEND=5\n") << 14;
    QTest::newRow("raw text while the payload waits goes between")
        << "rawBetween" << QByteArray("AT+CIPSEND=5\r\nhellohello\r\n")
        << QStringLiteral("AT+CIPSEND=5\nhellohello\n") << 26;
}

void Tst_transmitter::pendingPayload()
{
    QFETCH(QString, scenario);
    QFETCH(QByteArray, wire);
    QFETCH(QString, log);
    QFETCH(int, count);

    Rig rig;
    rig.input = QStringLiteral("hello");
    QSignalSpy ticks(&rig.timer5, &QTimer::timeout);
    rig.sender.clickAtSend();

    if (scenario == QLatin1String("edit"))
        rig.input = QStringLiteral("hi there");
    else if (scenario == QLatin1String("twoClicks"))
        rig.sender.clickAtSend();
    else if (scenario == QLatin1String("close"))
        rig.link.close();
    else if (scenario == QLatin1String("lose"))
        rig.link.loseIt();
    else if (scenario == QLatin1String("failAtTick"))
        rig.link.writeSucceeds = false;
    else if (scenario == QLatin1String("rawBetween"))
        rig.sender.clickTextSend();

    WAIT_FOR_TICK(rig.timer5, ticks);
    // A late second tick would send a second payload: give it the time to show.
    QTest::qWait(3 * kShortInterval);
    QCOMPARE(ticks.count(), 1);
    QVERIFY(!rig.timer5.isActive());
    QCOMPARE(rig.link.written, wire);
    QCOMPARE(rig.log.text, log);
    QCOMPARE(rig.tx.value(), quint64(count));
    QVERIFY(rig.messages.boxes.isEmpty());
}

// A second "AT发送" while a payload waits announces again but does not restart Timer5: the
// payload still goes 500 ms after the first click, not after the last.
void Tst_transmitter::laterClickKeepsTheTick_data()
{
    QTest::addColumn<QList<int>>("clicksAfterMs"); // after the first click

    QTest::newRow("second click 200 ms into the wait") << QList<int>{200};
    QTest::newRow("clicks at 100 and 250 ms into the wait") << QList<int>{100, 250};
}

void Tst_transmitter::laterClickKeepsTheTick()
{
    QFETCH(QList<int>, clicksAfterMs);

    Rig rig;
    rig.input = QStringLiteral("hello");
    QTimer &timer5 = rig.timer5;
    timer5.setInterval(FreeFormSender::kPayloadDelayMs);
    QSignalSpy ticks(&timer5, &QTimer::timeout);
    QElapsedTimer sinceFirst;
    rig.sender.clickAtSend();
    sinceFirst.start();

    for (const int at : clicksAfterMs) {
        QTest::qWait(int(std::max<qint64>(0, at - sinceFirst.elapsed())));
        if (!timer5.isActive())
            QSKIP("the machine is too slow: the tick came before the later click");
        rig.sender.clickAtSend();
        // Not restarted: what is left is at most the interval less the time since the
        // first click (a restart would leave the whole interval, give or take the timer's
        // slack).
        const int left = timer5.remainingTime();
        const int restartFloor = FreeFormSender::kPayloadDelayMs * 9 / 10;
        QVERIFY2(left < restartFloor,
                 qPrintable(QStringLiteral("%1 ms after the first click Timer5 has %2 ms left")
                                .arg(sinceFirst.elapsed())
                                .arg(left)));
    }
    WAIT_FOR_TICK(rig.timer5, ticks);
    const QByteArray announce("AT+CIPSEND=5\r\n");
    QCOMPARE(rig.link.written, announce.repeated(clicksAfterMs.size() + 1) + "hello\r\n");
}

// With the port closed at the click both buttons warn; nothing is sent or scheduled.
void Tst_transmitter::freeFormPortClosed_data()
{
    QTest::addColumn<bool>("atSend");
    QTest::addColumn<bool>("failedAnnouncement");
    QTest::newRow("AT send with the port closed warns") << true << false;
    QTest::newRow("text send with the port closed warns") << false << false;
    QTest::newRow("announcement write fails: no payload scheduled") << true << true;
}

void Tst_transmitter::freeFormPortClosed()
{
    QFETCH(bool, atSend);
    QFETCH(bool, failedAnnouncement);

    Rig rig(failedAnnouncement);
    rig.link.writeSucceeds = !failedAnnouncement;
    rig.input = QStringLiteral("hello");
    rig.log.text = QStringLiteral("AT\n");
    rig.tx.add(4);
    QSignalSpy ticks(&rig.timer5, &QTimer::timeout);

    if (atSend)
        rig.sender.clickAtSend();
    else
        rig.sender.clickTextSend();

    QVERIFY(!rig.timer5.isActive());
    if (failedAnnouncement) {
        QVERIFY(rig.messages.boxes.isEmpty());
    } else {
        QCOMPARE(rig.messages.boxes.size(), 1);
        QCOMPARE(rig.messages.boxes.first().kind, QStringLiteral("warn"));
        QCOMPARE(rig.messages.boxes.first().title, kWarnTitle);
        QCOMPARE(rig.messages.boxes.first().text, kWarnText);
    }
    // Reopening before the tick would have been due must not bring a payload out.
    rig.link.writeSucceeds = true;
    rig.link.open(QStringLiteral("fake"), LineSettings{}, nullptr);
    QTest::qWait(3 * kShortInterval);
    QCOMPARE(ticks.count(), 0);
    QCOMPARE(rig.link.written, QByteArray());
    QCOMPARE(rig.log.text, QStringLiteral("AT\n"));
    QCOMPARE(rig.tx.value(), quint64(4));
}

// The same routines over a real pseudo-terminal: the console opens the slave side as its
// serial port and the test reads the bytes that reach the master side.
void Tst_transmitter::overPseudoTerminal_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("count");

    QTest::newRow("fixed command on the wire")
        << "command"
        << "AT+CIPSTATUS" << QByteArray("AT+CIPSTATUS\r\n") << 14;
    QTest::newRow("payload follows its announcement")
        << "atSend"
        << "hello" << QByteArray("AT+CIPSEND=5\r\nhello\r\n") << 21;
    QTest::newRow("Chinese payload goes as GBK")
        << "atSend" << QStringLiteral("测试") << QByteArray("AT+CIPSEND=4\r\n" + kCeShiGbk + "\r\n")
        << 20;
    QTest::newRow("raw text then a command, no terminator between")
        << "rawThenCommand"
        << "hello" << QByteArray("helloAT\r\n") << 9;
    QTest::newRow("far side gone before the tick: payload dropped")
        << "farSideGone"
        << "hello" << QByteArray("AT+CIPSEND=5\r\n") << 14;
    // A long raw text on a line read slowly, then the port closed or the line gone while
    // most of it still waits: only what left is counted, and the log says what did not.
    const QString longText(200000, u'x');
    QTest::newRow("closed mid-send") << "closedMidSend" << longText << QByteArray() << 200000;
    QTest::newRow("lost mid-send") << "lostMidSend" << longText << QByteArray() << 200000;
}

void Tst_transmitter::overPseudoTerminal()
{
    QFETCH(QString, scenario);
    QFETCH(QString, input);
    QFETCH(QByteArray, wire);
    QFETCH(int, count);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    MemoryLog log;
    ByteCount tx;
    RecordingMessages messages;
    Transmitter transmitter(link, log, tx, messages);
    QString box = input;
    QTimer timer5;
    FreeFormSender sender(transmitter, [&box] { return box; }, timer5);
    timer5.setInterval(kShortInterval);
    QSignalSpy ticks(&timer5, &QTimer::timeout);

    QString error;
    QVERIFY2(link.open(pty.slavePath(), LineSettings{}, &error), qPrintable(error));

    if (scenario == QLatin1String("command")) {
        QVERIFY(transmitter.runCommand([&input] { return input; }));
    } else if (scenario == QLatin1String("atSend")) {
        sender.clickAtSend();
        WAIT_FOR_TICK(timer5, ticks);
    } else if (scenario == QLatin1String("rawThenCommand")) {
        sender.clickTextSend();
        QVERIFY(transmitter.runCommand([] { return QStringLiteral("AT"); }));
    } else if (scenario == QLatin1String("farSideGone")) {
        sender.clickAtSend();
        QCOMPARE(pty.readExactly(wire.size()), wire);
        pty.closeMaster();
        WAIT_FOR_TICK(timer5, ticks);
        QCOMPARE(tx.value(), quint64(count));
        QCOMPARE(log.text, QStringLiteral("AT+CIPSEND=5\n"));
        return;
    } else if (scenario.endsWith(QLatin1String("MidSend"))) {
        QSignalSpy unsent(&link, &SerialLink::unsent);
        sender.clickTextSend();
        QCOMPARE(tx.value(), quint64(count));
        // The far side takes a little, then stops reading while the console fills the line.
        QByteArray arrived = pty.readExactly(4096);
        QCOMPARE(arrived.size(), 4096);
        QTest::qWait(50);
        if (scenario == QLatin1String("closedMidSend")) {
            link.close();
            arrived += pty.read(1000, 50); // what had left before the close
        } else {
            pty.closeMaster();
            QVERIFY2(QTest::qWaitFor([&] { return !link.isOpen(); }, 2000),
                     "waited 2000 ms for the link to see the far side gone");
        }
        QCOMPARE(unsent.count(), 1);
        const qint64 dropped = unsent.at(0).at(0).toLongLong();
        QVERIFY2(dropped > 0 && dropped < count, qPrintable(QString::number(dropped)));
        QCOMPARE(tx.value(), quint64(count - dropped));
        if (scenario == QLatin1String("closedMidSend"))
            QCOMPARE(arrived.size(), count - dropped);
        QCOMPARE(log.text,
                 input + QStringLiteral("\n（发送被中断：%1 字节未发出）\n").arg(dropped));
        if (scenario == QLatin1String("closedMidSend")) {
            // Opened again, the next line starts after the note.
            QVERIFY(link.open(pty.slavePath(), LineSettings{}, nullptr));
            QVERIFY(transmitter.runCommand([] { return QStringLiteral("AT"); }));
            QVERIFY(log.text.endsWith(QStringLiteral("字节未发出）\nAT\n")));
        }
        return;
    }

    QCOMPARE(pty.readExactly(wire.size()), wire);
    // Nothing more follows what the routine sent.
    QCOMPARE(pty.read(3 * kShortInterval, 20), QByteArray());
    QCOMPARE(tx.value(), quint64(count));
    QVERIFY(messages.boxes.isEmpty());
}

// "发送文件…": the file's bytes on the wire as they are, TxCount counting what left, the
// send log's notes. Over the recording link, which takes every write at once, or over a
// pseudo-terminal whose far side reads a little and then stops, so that the file is
// still going out when the row closes the port or takes the far side away.
void Tst_transmitter::fileSend_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("overPty");
    QTest::addColumn<int>("size");   // bytes of the file; -1: the row picks no file
    QTest::addColumn<QString>("box"); // the start of the one box expected, or empty

    const QString kClosed = QStringLiteral("warn:串口尚未连接！");
    QTest::newRow("small file: raw bytes, nothing added") << "send" << false << 300 << "";
    QTest::newRow("empty file: noted, nothing sent") << "send" << false << 0 << "";
    QTest::newRow("file of many pieces, whole and in order") << "send" << false << 100000 << "";
    QTest::newRow("over a pseudo-terminal: whole") << "send" << true << 300000 << "";
    QTest::newRow("port closed: the warning, no file asked for")
        << "closed" << false << 300 << kClosed;
    QTest::newRow("no file picked: nothing") << "send" << false << -1 << "";
    QTest::newRow("a folder is no file to send")
        << "folder" << false << 0 << "error:folder 不是普通文件，不能发送。";
    QTest::newRow("a file that cannot be read") << "missing" << false << 0 << "error:无法读取文件";
    QTest::newRow("a second file while one goes: a box, the first goes on")
        << "second" << false << 100000 << "warn:文件 f.bin 正在发送";
    QTest::newRow("a command while the file goes: between two pieces")
        << "command" << false << 100000 << "";
    QTest::newRow("closed after the file, its tail and a command still in the driver")
        << "driverHeld" << false << 300 << "";
    QTest::newRow("closed mid-file: only what left is counted")
        << "closeMidFile" << true << 2000000 << "";
    QTest::newRow("far side gone mid-file: only what left is counted")
        << "loseMidFile" << true << 2000000 << "";
    QTest::newRow("closed with a command behind the file: each noted")
        << "commandThenClose" << true << 2000000 << "";
}

void Tst_transmitter::fileSend()
{
    QFETCH(QString, scenario);
    QFETCH(bool, overPty);
    QFETCH(int, size);
    QFETCH(QString, box);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray bytes(qMax(size, 0), Qt::Uninitialized);
    // Every byte value, CR and LF and bytes that are no GBK among them.
    QRandomGenerator random(size);
    for (char &b : bytes)
        b = char(random.bounded(256));
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    PtyPair pty;
    QVERIFY(pty.isValid());
    FakeSerialLink fake;
    QtSerialLink serial;
    SerialLink &link = overPty ? static_cast<SerialLink &>(serial) : fake;
    MemoryLog log;
    ByteCount tx;
    RecordingMessages messages;
    Transmitter transmitter(link, log, tx, messages);
    FileSender sender(transmitter, link, messages);
    QSignalSpy finished(&sender, &FileSender::finished);
    if (scenario != QLatin1String("closed"))
        QVERIFY(link.open(pty.slavePath(), LineSettings{}, nullptr));

    int asked = 0;
    const auto pick = [&]() -> QString {
        ++asked;
        if (size < 0)
            return QString();
        if (scenario == QLatin1String("folder"))
            return dir.filePath(QStringLiteral("folder"));
        if (scenario == QLatin1String("missing"))
            return dir.filePath(QStringLiteral("gone.bin"));
        return path;
    };
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    sender.chooseAndSend(pick);
    QCOMPARE(asked, scenario == QLatin1String("closed") ? 0 : 1);

    const QString started = QStringLiteral("（发送文件 f.bin：%1 字节）\n").arg(size);
    QByteArray arrived; // over the pseudo-terminal
    QString expectedLog = size >= 0 && box.isEmpty() ? started : QString();
    QByteArray expectedWire = bytes;
    if (scenario == QLatin1String("second")) {
        sender.chooseAndSend(pick);
        QCOMPARE(asked, 1);
        expectedLog = started;
    } else if (scenario == QLatin1String("command")) {
        QVERIFY(transmitter.runCommand([] { return QStringLiteral("AT"); }));
        // The recording link took the first piece at once; the line follows it.
        expectedWire.insert(FileSender::kPieceBytes, "AT\r\n");
        expectedLog += QStringLiteral("AT\n");
    } else if (scenario == QLatin1String("driverHeld")) {
        QVERIFY2(finished.count() == 1 || finished.wait(5000), "waited 5 s for the file to go");
        QVERIFY(transmitter.runCommand([] { return QStringLiteral("AT"); }));
        // A close that takes back the last 104 bytes written from the driver: the command
        // and the file's last 100 bytes.
        fake.close();
        emit fake.unsent(104);
        QCOMPARE(tx.value(), quint64(200));
        QCOMPARE(log.text, started + QStringLiteral("AT\n（发送被中断：4 字节未发出）\n"
                                                    "（发送文件 f.bin 被中断：已发出 200 字节，"
                                                    "100 字节未发出）\n"));
        return;
    } else if (scenario.endsWith(QLatin1String("MidFile")) ||
               scenario == QLatin1String("commandThenClose")) {
        // The far side takes a little, then stops reading while the file fills the line.
        arrived = pty.readExactly(4096);
        QCOMPARE(arrived.size(), 4096);
        QTest::qWait(100);
        QVERIFY2(sender.sending(), "the file went out whole although the far side stopped");
        if (scenario == QLatin1String("commandThenClose")) {
            QVERIFY(transmitter.runCommand([] { return QStringLiteral("AT"); }));
            expectedLog += QStringLiteral("AT\n（发送被中断：4 字节未发出）\n");
        }
        if (scenario == QLatin1String("loseMidFile")) {
            pty.closeMaster();
            QVERIFY2(QTest::qWaitFor([&] { return !link.isOpen(); }, 2000),
                     "waited 2000 ms for the link to see the far side gone");
        } else {
            link.close();
            arrived += pty.read(1000, 50); // what had left before the close
        }
        QCOMPARE(finished.count(), 1);
        QVERIFY(!sender.sending());
        const qint64 left = qint64(tx.value());
        QVERIFY2(left >= 4096 && left < size, qPrintable(QString::number(left)));
        if (scenario != QLatin1String("loseMidFile"))
            QCOMPARE(arrived, bytes.first(left));
        expectedLog += QStringLiteral("（发送文件 f.bin 被中断：已发出 %1 字节，%2 字节未发出）\n")
                           .arg(left)
                           .arg(size - left);
        QCOMPARE(log.text, expectedLog);
        QVERIFY(messages.boxes.isEmpty());
        return;
    }

    if (!box.isEmpty()) {
        QCOMPARE(messages.boxes.size(), 1);
        const auto &shown = messages.boxes.first();
        QVERIFY2(box.startsWith(shown.kind + u':') &&
                     (shown.text + shown.detail).startsWith(box.section(u':', 1)),
                 qPrintable(shown.kind + u':' + shown.text));
        if (scenario != QLatin1String("second")) {
            QCOMPARE(log.text, QString());
            QCOMPARE(tx.value(), quint64(0));
            QVERIFY(!sender.sending());
            return;
        }
    } else {
        QVERIFY(messages.boxes.isEmpty());
    }
    if (size < 0) {
        QVERIFY(!sender.sending());
        QCOMPARE(log.text, QString());
        return;
    }
    // Over the pseudo-terminal the far side reads as it comes.
    if (overPty)
        arrived = pty.readExactly(size, 10000);
    QVERIFY2(finished.count() == 1 || finished.wait(10000), "waited 10 s for the file to go");
    QCOMPARE(overPty ? arrived : fake.written, expectedWire);
    QCOMPARE(tx.value(), quint64(expectedWire.size()));
    QCOMPARE(log.text, expectedLog);
    QVERIFY(!sender.sending());
}

QTEST_MAIN(Tst_transmitter)
#include "tst_transmitter.moc"
