#include "portfailure.h"
#include "ptypair.h"
#include "qtseriallink.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The descriptor this process holds on `path`, found through /proc so the test reads the
// settings of the very descriptor the link opened.
std::optional<int> descriptorOn(const QString &path)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList entries =
        fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    for (const QString &entry : entries) {
        if (QFileInfo(fds.filePath(entry)).symLinkTarget() == path)
            return entry.toInt();
    }
    return std::nullopt;
}

// A pattern that does not repeat within a few megabytes' worth of chunks, so a chunk
// delivered twice, dropped or out of place shows.
QByteArray pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + (i >> 8) + (i >> 16) * 7 + seed) & 0xff);
    return bytes;
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

// Collects what a link hands on.
struct Receiver
{
    explicit Receiver(SerialLink &link)
    {
        QObject::connect(&link, &SerialLink::received, &link, [this](const QByteArray &b) {
            if (b.isEmpty())
                ++emptyDeliveries;
            bytes += b;
        });
    }
    QByteArray bytes;
    int emptyDeliveries = 0;
};

// The index of the first byte that differs, for a readable failure on large streams.
qsizetype firstDifference(const QByteArray &a, const QByteArray &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return i;
    }
    return a.size() == b.size() ? -1 : n;
}

// Waits until `receiver` holds `size` bytes: as long as bytes keep coming, but no more
// than kStallMs after the last one came. Returns what went wrong, or an empty text.
constexpr int kStallMs = 3000;
QString awaitBytes(const Receiver &receiver, qsizetype size)
{
    qsizetype seen = -1;
    while (receiver.bytes.size() < size) {
        if (receiver.bytes.size() == seen)
            return QStringLiteral("waited for %1 bytes; %2 came, then nothing for %3 ms")
                .arg(size)
                .arg(seen)
                .arg(kStallMs);
        seen = receiver.bytes.size();
        (void)QTest::qWaitFor([&] { return receiver.bytes.size() != seen; }, kStallMs);
    }
    return QString();
}

// Lets every queued call and pending notification run, so a signal that should not come
// would have come.
void settle()
{
    QTest::qWait(50);
    QCoreApplication::processEvents();
}

const LineSettings kDefaultSettings{115200, QSerialPort::OneStop};

// Set, this suite only opens the named port and prints why it could not: the permission
// test runs it so as another user.
constexpr char kOpenOnly[] = "QUORLIN_OPEN_ONLY";

QString groupOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    const group *owner = ::getgrgid(info.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
}

} // namespace

using Chunks = QList<QByteArray>;

class Tst_seriallink : public QObject
{
    Q_OBJECT
private slots:
    void openAppliesLineSettings_data();
    void openAppliesLineSettings();
    void openFailure_data();
    void openFailure();
    void writesArriveOnMaster_data();
    void writesArriveOnMaster();
    void bytesArriveInOrder_data();
    void bytesArriveInOrder();
    void bytesWaitingBeforeOpenAreDiscarded();
    void lostPortClosesOnce_data();
    void lostPortClosesOnce();
    void userCloseIsNotALoss_data();
    void userCloseIsNotALoss();
    void lostPortCanBeOpenedAgain();
    void bytesBeforeAFaultComeFirst_data();
    void bytesBeforeAFaultComeFirst();
    void lateLossSparesTheNextSession_data();
    void lateLossSparesTheNextSession();
    void refusedModemLineQueryIsNotALoss_data();
    void refusedModemLineQueryIsNotALoss();

    void openFailureSaysWhy_data();
    void openFailureSaysWhy();
    void oneAndAHalfStopBitsAreRefusedOnATerminal();
    void permissionDeniedNamesTheFix_data();
    void permissionDeniedNamesTheFix();
    void failureTextForCausesATerminalCannotShow_data();
    void failureTextForCausesATerminalCannotShow();
    void lostPortSaysWhy_data();
    void lostPortSaysWhy();
};

void Tst_seriallink::openAppliesLineSettings_data()
{
    QTest::addColumn<qint32>("baudRate");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("twoStopBitsOnLine");

    QTest::newRow("115200 one stop bit") << 115200 << int(QSerialPort::OneStop) << false;
    QTest::newRow("9600 two stop bits") << 9600 << int(QSerialPort::TwoStop) << true;
    QTest::newRow("2400 lowest offered speed") << 2400 << int(QSerialPort::OneStop) << false;
    QTest::newRow("56700 nonstandard speed set exactly")
        << 56700 << int(QSerialPort::OneStop) << false;
    QTest::newRow("74880 typed speed set exactly") << 74880 << int(QSerialPort::TwoStop) << true;
}

void Tst_seriallink::openAppliesLineSettings()
{
    QFETCH(qint32, baudRate);
    QFETCH(int, stopBits);
    QFETCH(bool, twoStopBitsOnLine);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    QString error;
    QVERIFY2(
        link.open(pty.slavePath(), LineSettings{baudRate, QSerialPort::StopBits(stopBits)}, &error),
        qPrintable(error));
    QVERIFY(link.isOpen());

    const std::optional<int> fd = descriptorOn(pty.slavePath());
    QVERIFY2(fd.has_value(), "the link holds no descriptor on the terminal");
    termios tio{};
    QCOMPARE(tcgetattr(*fd, &tio), 0);
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBitsOnLine);
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
    // Raw: no line editing, no echo, no signal characters, no output translation.
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));

    // The speed as a plain number, so that one outside the classic table is checked too.
    const PtyPair::Line line = pty.line();
    QCOMPARE(line.speed, qint64(baudRate));
    QCOMPARE(line.inputSpeed, qint64(baudRate));

    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY2(!descriptorOn(pty.slavePath()).has_value(), "close left the terminal open");
}

void Tst_seriallink::openFailure_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("path that does not exist") << QStringLiteral("missing");
    QTest::newRow("port held by another serial port") << QStringLiteral("heldByPort");
    QTest::newRow("port held by another link") << QStringLiteral("heldByLink");
    QTest::newRow("file that is not a terminal") << QStringLiteral("plainFile");
    QTest::newRow("unreadable port name") << QStringLiteral("unreadable");
    QTest::newRow("empty port name") << QStringLiteral("empty");
}

void Tst_seriallink::openFailure()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PtyPair pty;
    QVERIFY(pty.isValid());
    QSerialPort holderPort;
    QtSerialLink holderLink;

    QString name;
    if (kind == QLatin1String("missing")) {
        name = dir.filePath(QStringLiteral("ttyGone0"));
    } else if (kind == QLatin1String("heldByPort")) {
        holderPort.setPortName(pty.slavePath());
        QVERIFY(holderPort.open(QIODevice::ReadWrite));
        name = pty.slavePath();
    } else if (kind == QLatin1String("heldByLink")) {
        QVERIFY(holderLink.open(pty.slavePath(), kDefaultSettings));
        name = pty.slavePath();
    } else if (kind == QLatin1String("plainFile")) {
        name = dir.filePath(QStringLiteral("notatty"));
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    } else if (kind == QLatin1String("unreadable")) {
        name = QString::fromLatin1("Err ");
    }

    QtSerialLink link;
    QSignalSpy lost(&link, &SerialLink::lost);
    QString error;
    QVERIFY(!link.open(name, kDefaultSettings, &error));
    QVERIFY(!link.isOpen());
    QVERIFY2(!error.isEmpty(), "a failed open must say why");
    QVERIFY(!link.write("AT\r\n"));
    settle();
    QCOMPARE(lost.count(), 0);

    // The port that holds the line is not disturbed by the refused attempt.
    if (kind == QLatin1String("heldByLink")) {
        QVERIFY(holderLink.isOpen());
        QVERIFY(holderLink.write("AT\r\n"));
        QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
    }

    // A refused open leaves the link ready for the next attempt.
    PtyPair other;
    QVERIFY(other.isValid());
    QVERIFY2(link.open(other.slavePath(), kDefaultSettings, &error), qPrintable(error));
    QVERIFY(link.write("AT+GMR\r\n"));
    QCOMPARE(other.readExactly(8), QByteArray("AT+GMR\r\n"));
}

void Tst_seriallink::writesArriveOnMaster_data()
{
    QTest::addColumn<Chunks>("chunks");

    QTest::newRow("command line") << Chunks{"AT\r\n"};
    QTest::newRow("every byte value unchanged") << Chunks{everyByteValue()};
    QTest::newRow("two-byte text bytes") << Chunks{"\xb2\xe2\xca\xd4\r\n"};
    QTest::newRow("several writes keep their order")
        << Chunks{"AT+CIPSEND=4\r\n", "ABCD", "", "AT\r\n", QByteArray(1, '\0')};
    QTest::newRow("block larger than the terminal buffer") << Chunks{pattern(256 * 1024)};
}

void Tst_seriallink::writesArriveOnMaster()
{
    QFETCH(Chunks, chunks);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));

    QByteArray expected;
    for (const QByteArray &chunk : chunks) {
        QVERIFY(link.write(chunk));
        expected += chunk;
    }
    const QByteArray arrived = pty.readExactly(expected.size(), 30000);
    QCOMPARE(arrived.size(), expected.size());
    QCOMPARE(firstDifference(arrived, expected), qsizetype(-1));
    // Nothing more follows.
    QCOMPARE(pty.read(100, 20), QByteArray());
    QVERIFY(link.isOpen());
}

void Tst_seriallink::bytesArriveInOrder_data()
{
    QTest::addColumn<Chunks>("chunks");

    QTest::newRow("one reply") << Chunks{"AT\r\r\n\r\nOK\r\n"};
    QTest::newRow("every byte value unchanged") << Chunks{everyByteValue()};
    QTest::newRow("reply split mid-line") << Chunks{"AT+GMR\r\r\n00", "40\r\n", "\r\nOK\r\n"};
    QTest::newRow("control characters a terminal would act on")
        << Chunks{QByteArray("\x03\x04\x11\x13\x1a\x7f\r\n", 9), QByteArray("\0\0", 2)};

    Chunks small;
    for (int i = 0; i < 1024; ++i)
        small.append(pattern(4096, i).left(4096));
    QTest::newRow("4 MB in 4 KB chunks nothing lost") << small;
    QTest::newRow("4 MB in one write nothing lost") << Chunks{pattern(4 * 1024 * 1024)};
}

void Tst_seriallink::bytesArriveInOrder()
{
    QFETCH(Chunks, chunks);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    Receiver receiver(link);
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));

    QByteArray expected;
    for (const QByteArray &chunk : chunks) {
        QVERIFY(pty.write(chunk));
        expected += chunk;
    }
    const QString stalled = awaitBytes(receiver, expected.size());
    QVERIFY2(stalled.isEmpty(), qPrintable(stalled));
    QCOMPARE(receiver.bytes.size(), expected.size());
    QCOMPARE(firstDifference(receiver.bytes, expected), qsizetype(-1));
    QCOMPARE(receiver.emptyDeliveries, 0);
    // Nothing is delivered twice.
    settle();
    QCOMPARE(receiver.bytes.size(), expected.size());
    QVERIFY(link.isOpen());
}

void Tst_seriallink::bytesWaitingBeforeOpenAreDiscarded()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    // Left over from before the port was opened: not part of this session.
    QVERIFY(pty.write("stale reply\r\n"));

    QtSerialLink link;
    Receiver receiver(link);
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));
    QVERIFY(pty.write("OK\r\n"));
    QTRY_COMPARE(receiver.bytes.size(), 4);
    settle();
    QCOMPARE(receiver.bytes, QByteArray("OK\r\n"));
}

void Tst_seriallink::lostPortClosesOnce_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("writeBefore");

    QTest::newRow("idle port") << QByteArray() << false;
    QTest::newRow("after a reply was received") << QByteArray("AT\r\r\n\r\nOK\r\n") << false;
    QTest::newRow("after a large reply") << pattern(300 * 1024) << false;
    QTest::newRow("after a command was written") << QByteArray() << true;
}

void Tst_seriallink::lostPortClosesOnce()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, writeBefore);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    Receiver receiver(link);
    QSignalSpy lost(&link, &SerialLink::lost);
    bool openWhenLost = true;
    qsizetype receivedWhenLost = -1;
    // The window answers with a modal box: a nested event loop inside the handler.
    connect(&link, &SerialLink::lost, this, [&] {
        openWhenLost = link.isOpen();
        receivedWhenLost = receiver.bytes.size();
        QEventLoop modal;
        QTimer::singleShot(20, &modal, &QEventLoop::quit);
        modal.exec();
    });
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));

    if (writeBefore) {
        QVERIFY(link.write("AT+RST\r\n"));
        QCOMPARE(pty.readExactly(8), QByteArray("AT+RST\r\n"));
    }
    if (!before.isEmpty()) {
        QVERIFY(pty.write(before));
        const QString stalled = awaitBytes(receiver, before.size());
        QVERIFY2(stalled.isEmpty(), qPrintable(stalled));
        QCOMPARE(receiver.bytes.size(), before.size());
    }

    const std::optional<int> fd = descriptorOn(pty.slavePath());
    QVERIFY(fd.has_value());
    const QString fdPath = QStringLiteral("/proc/self/fd/%1").arg(*fd);
    pty.closeMaster();
    QVERIFY(lost.wait(10000));
    settle();
    QCOMPARE(lost.count(), 1);
    // The descriptor on the vanished terminal has been given up.
    QVERIFY2(!QFileInfo(fdPath).symLinkTarget().startsWith(pty.slavePath()),
             "the lost port was left open");
    QVERIFY2(!lost.at(0).at(0).toString().isEmpty(), "a lost port must say why");
    QVERIFY(!openWhenLost);
    QVERIFY(!link.isOpen());
    QCOMPARE(receivedWhenLost, before.size());
    QCOMPARE(firstDifference(receiver.bytes, before), qsizetype(-1));

    // A write after the loss is refused and reports nothing new.
    QVERIFY(!link.write("AT\r\n"));
    settle();
    QCOMPARE(lost.count(), 1);
}

void Tst_seriallink::userCloseIsNotALoss_data()
{
    QTest::addColumn<bool>("streaming");
    QTest::addColumn<bool>("reopenSameTerminal");

    QTest::newRow("close an idle port, then the device goes") << false << false;
    QTest::newRow("close while bytes are arriving") << true << false;
    QTest::newRow("close releases the port for the next open") << false << true;
}

void Tst_seriallink::userCloseIsNotALoss()
{
    QFETCH(bool, streaming);
    QFETCH(bool, reopenSameTerminal);

    PtyPair pty;
    QVERIFY(pty.isValid());
    auto link = std::make_unique<QtSerialLink>();
    Receiver receiver(*link);
    QSignalSpy lost(link.get(), &SerialLink::lost);
    QVERIFY(link->open(pty.slavePath(), kDefaultSettings));

    if (streaming) {
        const QByteArray stream = pattern(512 * 1024);
        QVERIFY(pty.write(stream.left(64 * 1024)));
        QTRY_VERIFY(!receiver.bytes.isEmpty());
        link->close();
        // The far side keeps talking into a closed port.
        pty.write(stream.mid(64 * 1024, 1024));
        QVERIFY(stream.startsWith(receiver.bytes));
    } else {
        link->close();
    }
    QVERIFY(!link->isOpen());
    QVERIFY(!link->write("AT\r\n"));

    if (reopenSameTerminal) {
        QString error;
        QVERIFY2(link->open(pty.slavePath(), kDefaultSettings, &error), qPrintable(error));
        QVERIFY(link->write("AT\r\n"));
        QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
        link->close();
    }

    const qsizetype receivedAtClose = receiver.bytes.size();
    pty.closeMaster();
    settle();
    QCOMPARE(lost.count(), 0);
    QCOMPARE(receiver.bytes.size(), receivedAtClose);
}

void Tst_seriallink::lostPortCanBeOpenedAgain()
{
    QtSerialLink link;
    Receiver receiver(link);
    QSignalSpy lost(&link, &SerialLink::lost);
    {
        PtyPair gone;
        QVERIFY(gone.isValid());
        QVERIFY(link.open(gone.slavePath(), kDefaultSettings));
        gone.closeMaster();
        QVERIFY(lost.wait(10000));
    }
    PtyPair pty;
    QVERIFY(pty.isValid());
    QString error;
    QVERIFY2(link.open(pty.slavePath(), kDefaultSettings, &error), qPrintable(error));
    QVERIFY(link.write("AT\r\n"));
    QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
    QVERIFY(pty.write("OK\r\n"));
    QTRY_COMPARE(receiver.bytes, QByteArray("OK\r\n"));
    settle();
    QCOMPARE(lost.count(), 1);
    QVERIFY(link.isOpen());
}

// Bytes the port has read but not yet handed on when the device vanishes are handed on,
// in full and in order, before the loss is reported: the window shows them before its
// "已断开" box. They wait in the port while a handler of earlier bytes runs a nested event
// loop, as a modal box does; the device goes while it runs.
void Tst_seriallink::bytesBeforeAFaultComeFirst_data()
{
    QTest::addColumn<QByteArray>("last");

    QTest::newRow("a short reply, then the device goes") << QByteArray("\r\nOK\r\n");
    QTest::newRow("a reply filling the terminal's buffer, then the device goes") << pattern(3000);
}

void Tst_seriallink::bytesBeforeAFaultComeFirst()
{
    QFETCH(QByteArray, last);
    const QByteArray first("AT\r\r\n");

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    Receiver receiver(link);
    QSignalSpy lost(&link, &SerialLink::lost);
    qsizetype receivedWhenLost = -1;
    connect(&link, &SerialLink::lost, this, [&] { receivedWhenLost = receiver.bytes.size(); });
    bool nested = false;
    connect(&link, &SerialLink::received, this, [&] {
        if (std::exchange(nested, true))
            return;
        QVERIFY(pty.write(last));
        QTest::qWait(100); // the port reads them, but cannot hand them on in here
        pty.closeMaster();
        (void)QTest::qWaitFor([&] { return !link.isOpen(); }, 3000);
    });
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));

    QVERIFY(pty.write(first));
    QVERIFY2(lost.wait(5000), "waited 5000 ms for the lost port to be reported");
    settle();
    QCOMPARE(lost.count(), 1);
    QCOMPARE(receivedWhenLost, first.size() + last.size());
    QCOMPARE(firstDifference(receiver.bytes, first + last), qsizetype(-1));
}

// A loss is reported after the port's notification has returned. Whatever opened the
// port again meanwhile is a new session, which that report must not close or announce.
void Tst_seriallink::lateLossSparesTheNextSession_data()
{
    QTest::addColumn<bool>("closeFirst");

    QTest::newRow("opened on another port before the report") << false;
    QTest::newRow("closed and opened on another port before the report") << true;
}

void Tst_seriallink::lateLossSparesTheNextSession()
{
    QFETCH(bool, closeFirst);

    PtyPair gone;
    PtyPair next;
    QVERIFY(gone.isValid() && next.isValid());
    QtSerialLink link;
    Receiver receiver(link);
    QSignalSpy lost(&link, &SerialLink::lost);
    QVERIFY(link.open(gone.slavePath(), kDefaultSettings));

    // Connected after the link's own handler: runs once the link has seen the fault and
    // queued its report, before the report is delivered.
    auto *port = link.findChild<QSerialPort *>();
    QVERIFY(port);
    bool reopened = false;
    connect(port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError error) {
        if (reopened || error == QSerialPort::NoError ||
            error == QSerialPort::UnsupportedOperationError)
            return;
        reopened = true;
        if (closeFirst)
            link.close();
        QVERIFY(link.open(next.slavePath(), kDefaultSettings));
    });
    gone.closeMaster();
    QVERIFY2(QTest::qWaitFor([&] { return reopened; }, 5000),
             "waited 5000 ms for the port to report the vanished device");
    settle();

    QCOMPARE(lost.count(), 0);
    QVERIFY(link.isOpen());
    QVERIFY(link.write("AT\r\n"));
    QCOMPARE(next.readExactly(4), QByteArray("AT\r\n"));
    QVERIFY(next.write("OK\r\n"));
    const QString stalled = awaitBytes(receiver, 4);
    QVERIFY2(stalled.isEmpty(), qPrintable(stalled));
    QCOMPARE(receiver.bytes, QByteArray("OK\r\n"));
}

void Tst_seriallink::refusedModemLineQueryIsNotALoss_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("reading the modem lines") << QStringLiteral("pinout");
    QTest::newRow("raising DTR") << QStringLiteral("dtr");
    QTest::newRow("raising RTS") << QStringLiteral("rts");
}

void Tst_seriallink::refusedModemLineQueryIsNotALoss()
{
    QFETCH(QString, query);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    Receiver receiver(link);
    QSignalSpy lost(&link, &SerialLink::lost);
    QVERIFY(link.open(pty.slavePath(), kDefaultSettings));

    // A terminal has no modem lines and refuses the request as unsupported.
    auto *port = link.findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy portErrors(port, &QSerialPort::errorOccurred);
    if (query == QLatin1String("pinout"))
        port->pinoutSignals();
    else if (query == QLatin1String("dtr"))
        port->setDataTerminalReady(true);
    else
        port->setRequestToSend(true);
    QVERIFY(portErrors.contains({QVariant::fromValue(QSerialPort::UnsupportedOperationError)}));

    settle();
    QCOMPARE(lost.count(), 0);
    QVERIFY(link.isOpen());
    QVERIFY(link.write("AT\r\n"));
    QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
    QVERIFY(pty.write("OK\r\n"));
    QTRY_COMPARE(receiver.bytes, QByteArray("OK\r\n"));
}

void Tst_seriallink::openFailureSaysWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sentence");    // the cause, in the user's words
    QTest::addColumn<QString>("systemWords"); // the system's own reason after it

    QTest::newRow("path that does not exist is not found") << "missing"
                                                           << "设备 NAME 不存在"
                                                           << "No such file or directory";
    QTest::newRow("short name of a missing device is looked for in /dev")
        << "shortMissing"
        << "设备 /dev/ttyQuorlinGone9 不存在"
        << "No such file or directory";
    QTest::newRow("plain file is not a serial device") << "plainFile"
                                                       << "NAME 不是串口设备"
                                                       << "";
    QTest::newRow("directory is not a serial device") << "directory"
                                                      << "NAME 不是串口设备"
                                                      << "";
    QTest::newRow("/dev/null is no terminal") << "devNull"
                                              << "/dev/null 不是串口设备"
                                              << "Inappropriate ioctl for device";
    QTest::newRow("terminal held by another link is busy") << "heldByLink"
                                                           << "设备 NAME 正被另一个程序占用"
                                                           << "lock";
    QTest::newRow("empty name is no port") << "empty"
                                           << "没有可打开的串口"
                                           << "";
}

void Tst_seriallink::openFailureSaysWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, sentence);
    QFETCH(QString, systemWords);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink holder;

    QString name;
    if (kind == QLatin1String("missing")) {
        name = dir.filePath(QStringLiteral("ttyGone0"));
    } else if (kind == QLatin1String("shortMissing")) {
        name = QStringLiteral("ttyQuorlinGone9");
    } else if (kind == QLatin1String("plainFile")) {
        name = dir.filePath(QStringLiteral("notatty"));
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    } else if (kind == QLatin1String("directory")) {
        name = dir.path();
    } else if (kind == QLatin1String("devNull")) {
        name = QStringLiteral("/dev/null");
    } else if (kind == QLatin1String("heldByLink")) {
        QVERIFY(holder.open(pty.slavePath(), kDefaultSettings));
        name = pty.slavePath();
    }
    sentence.replace(QStringLiteral("NAME"), name);

    QtSerialLink link;
    QString error;
    QVERIFY(!link.open(name, kDefaultSettings, &error));
    QVERIFY2(error.startsWith(sentence), qPrintable(error));
    if (!systemWords.isEmpty())
        QVERIFY2(error.contains(QStringLiteral("\n系统信息：")) && error.contains(systemWords),
                 qPrintable(error));
}

void Tst_seriallink::oneAndAHalfStopBitsAreRefusedOnATerminal()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QtSerialLink link;
    QSignalSpy lost(&link, &SerialLink::lost);
    QString error;
    QVERIFY2(!link.open(pty.slavePath(), LineSettings{9600, QSerialPort::OneAndHalfStop}, &error),
             "a terminal cannot take 1.5 stop bits; opening with one instead reports a "
             "failure as success");
    QVERIFY(!link.isOpen());
    QCOMPARE(error, QStringLiteral("串口 ") + pty.slavePath() +
                        QStringLiteral(" 在 8 位数据位时不能使用 1.5 位停止位。"));
    QVERIFY2(!descriptorOn(pty.slavePath()).has_value(), "the refused port was left open");
    QVERIFY(!link.write("AT\r\n"));
    settle();
    QCOMPARE(lost.count(), 0);

    // The same port opens with stop bits it can take.
    QVERIFY2(link.open(pty.slavePath(), LineSettings{9600, QSerialPort::TwoStop}, &error),
             qPrintable(error));
    QVERIFY(link.write("AT\r\n"));
    QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
}

void Tst_seriallink::permissionDeniedNamesTheFix_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("joinTheGroup");
    QTest::newRow("group may read and write: join it") << 0660 << true;
    QTest::newRow("only the owner may: no group to join") << 0600 << false;
    QTest::newRow("nobody may") << 0000 << false;
}

// The superuser opens every device, so the port is opened by this suite run again as the
// unprivileged user "nobody"; without the superuser's right to do that, it is skipped.
void Tst_seriallink::permissionDeniedNamesTheFix()
{
    QFETCH(int, mode);
    QFETCH(bool, joinTheGroup);

    if (::geteuid() != 0)
        QSKIP("opening a device as another user needs the superuser");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv (util-linux) is not installed");

    PtyPair pty;
    QVERIFY(pty.isValid());
    const QByteArray path = QFile::encodeName(pty.slavePath());
    // Owned the way serial adapters are: by the superuser and the group "dialout".
    const group *dialout = ::getgrnam("dialout");
    if (!dialout)
        QSKIP("this system has no group dialout");
    QCOMPARE(::chown(path.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
    const QString group = groupOf(pty.slavePath());
    QCOMPARE(group, QStringLiteral("dialout"));

    // The build folder may be closed to other users: the other user runs a copy.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(dir.path(), open));
    const QString program = dir.filePath(QStringLiteral("opener"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    QVERIFY(QFile::setPermissions(program, open));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kOpenOnly), pty.slavePath());
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(dir.path());
    child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), program});
    QVERIFY2(child.waitForFinished(10000), "the port opened as another user did not answer");
    const QString error = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(child.exitCode() == 0,
             qPrintable(error + QString::fromUtf8(child.readAllStandardError())));

    QVERIFY2(error.startsWith(QStringLiteral("没有读写设备 ") + pty.slavePath()),
             qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("系统信息：")), qPrintable(error));
    const QString join = QStringLiteral("加入拥有该设备的用户组 ") + group;
    QVERIFY2(error.contains(join) == joinTheGroup, qPrintable(error));
    if (joinTheGroup)
        QVERIFY2(error.contains(QStringLiteral("重新登录")), qPrintable(error));
    else
        QVERIFY2(error.contains(QStringLiteral("管理员")), qPrintable(error));
}

void Tst_seriallink::failureTextForCausesATerminalCannotShow_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("groupMayReadWrite");
    QTest::addColumn<int>("systemError");  // the error the port reports, by its text; -1: a text
                                           // that is no error of the system's
    QTest::addColumn<QString>("expected"); // SYSTEM: the system's own words

    using Kind = PortFailure::Kind;
    QTest::newRow("speed the line refuses")
        << int(Kind::SpeedRefused) << "" << false << EINVAL
        << "串口 /dev/ttyUSB0 不能使用波特率 VALUE。\n系统信息：参数无效（SYSTEM）";
    QTest::newRow("stop bits the driver refuses")
        << int(Kind::StopBitsRefused) << "" << false << EINVAL
        << "串口 /dev/ttyUSB0 在 8 位数据位时不能使用 VALUE 位停止位。\n"
           "系统信息：参数无效（SYSTEM）";
#ifdef Q_OS_LINUX // the fix is named where devices belong to groups such as dialout
    QTest::newRow("permission: join dialout and log in again")
        << int(Kind::PermissionDenied) << "dialout" << true << EACCES
        << "没有读写设备 /dev/ttyUSB0 的权限。\n解决办法：把当前用户加入拥有该设备的用户组 dialout"
           "（例如 sudo usermod -aG dialout $USER），然后注销并重新登录。\n"
           "系统信息：没有权限（SYSTEM）";
    QTest::newRow("permission: the root group is not suggested")
        << int(Kind::PermissionDenied) << "root" << false << EACCES
        << "没有读写设备 /dev/ttyUSB0 的权限。\n该设备的用户组 root 也没有读写权限，"
           "需由系统管理员修改设备的权限。\n系统信息：没有权限（SYSTEM）";
#endif
    QTest::newRow("unplugged while open")
        << int(Kind::LostGone) << "" << false << ENODEV
        << "设备 /dev/ttyUSB0 已不存在，可能已被拔出；串口已关闭。\n"
           "系统信息：没有这个设备（SYSTEM）";
    // The system's reasons for a loss, in Chinese beside its own words.
    const QString lost = QStringLiteral("设备 /dev/ttyUSB0 读写出错，串口已关闭。\n系统信息：");
    QTest::newRow("lost: resource temporarily unavailable")
        << int(Kind::LostError) << "" << false << EAGAIN << lost + "资源暂时不可用（SYSTEM）";
    QTest::newRow("lost: input/output error")
        << int(Kind::LostError) << "" << false << EIO << lost + "输入/输出出错，设备可能已被拔出（SYSTEM）";
    QTest::newRow("lost: no such device or address")
        << int(Kind::LostError) << "" << false << ENXIO << lost + "设备或地址不存在（SYSTEM）";
    QTest::newRow("held: device or resource busy")
        << int(Kind::Busy) << "" << false << EBUSY
        << "设备 /dev/ttyUSB0 正被另一个程序占用，请先在那个程序里关闭它。\n"
           "系统信息：设备或资源忙（SYSTEM）";
    QTest::newRow("words of no known error stay as they are")
        << int(Kind::LostError) << "" << false << -1 << lost + "SYSTEM";
}

// Causes a pseudo-terminal cannot produce here (it takes every speed, and the superuser
// is never denied) are told from the cause as the port reports it.
void Tst_seriallink::failureTextForCausesATerminalCannotShow()
{
    QFETCH(int, kind);
    QFETCH(QString, group);
    QFETCH(bool, groupMayReadWrite);
    QFETCH(int, systemError);
    QFETCH(QString, expected);

    PortFailure failure;
    failure.kind = PortFailure::Kind(kind);
    failure.device = PortFailure::deviceOf(QStringLiteral("ttyUSB0"));
    // The port gives the system's error as the system words it.
    failure.systemText = systemError < 0 ? QStringLiteral("Frame overrun in the adapter")
                                         : qt_error_string(systemError);
    failure.value = QStringLiteral("1.5");
    failure.owningGroup = group;
    failure.groupMayReadWrite = groupMayReadWrite;
    expected.replace(QStringLiteral("VALUE"), failure.value);
    expected.replace(QStringLiteral("SYSTEM"), failure.systemText);
    QCOMPARE(failure.text(), expected);
}

void Tst_seriallink::lostPortSaysWhy_data()
{
    QTest::addColumn<bool>("nodeOutlivesIt");
    QTest::newRow("its node goes with it") << false;
    // An unplugged adapter's terminal hangs up a moment before its node goes.
    QTest::newRow("its node is still there") << true;
}

void Tst_seriallink::lostPortSaysWhy()
{
    QFETCH(bool, nodeOutlivesIt);
    PtyPair pty;
    QVERIFY(pty.isValid());
    QString device = pty.slavePath();
    // A name of the terminal that stays while this descriptor is held.
    const int held = ::open(QFile::encodeName(device), O_RDWR | O_NOCTTY);
    QVERIFY(held >= 0);
    if (nodeOutlivesIt)
        device = QStringLiteral("/proc/self/fd/%1").arg(held);
    QtSerialLink link;
    QSignalSpy lost(&link, &SerialLink::lost);
    QVERIFY(link.open(device, kDefaultSettings));
    pty.closeMaster();
    QVERIFY2(lost.wait(10000), "no loss reported after the terminal went away");
    QCOMPARE(QFile::exists(device), nodeOutlivesIt);
    ::close(held);
    const QString why = lost.at(0).at(0).toString();
    const QString sentence = QStringLiteral("设备 %1 已不存在，可能已被拔出；串口已关闭。");
    QVERIFY2(why.startsWith(sentence.arg(device) + QStringLiteral("\n系统信息：")),
             qPrintable(why));
    QVERIFY2(why.size() > sentence.size() + 6, "the system's own words are missing");
}

// Opens one port, prints why it could not be opened (or "opened"), and ends.
static int openOnly(int argc, char *argv[], const QString &device)
{
    QCoreApplication app(argc, argv);
    QtSerialLink link;
    QString error;
    const bool opened = link.open(device, kDefaultSettings, &error);
    std::fputs(opened ? "opened" : error.toUtf8().constData(), stdout);
    return 0;
}

int main(int argc, char *argv[])
{
    const QString device = qEnvironmentVariable(kOpenOnly);
    if (!device.isEmpty())
        return openOnly(argc, argv, device);
    QCoreApplication app(argc, argv);
    Tst_seriallink tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_seriallink.moc"
