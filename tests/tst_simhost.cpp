// The simulated module over a real pseudo-terminal, its links on the real network over
// loopback, its announcement in the registry, and the quorlin-sim program as a separate
// process.
#include "simhost.h"
#include "simnetbridge.h"
#include "simregistry.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// One exchange on the line: what the test writes and the exact bytes it must read back.
struct Exchange
{
    QByteArray send;
    QByteArray expect;
};

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kJoin = "AT+CWJAP=\"ESP8266\",\"7395184026\"\r\n";
const QByteArray kStart = "AT+CIPSTART=\"TCP\",\"192.168.1.100\",5000\r\n";
const QByteArray kVersion = "AT version:1.7.4.0(May 11 2020 19:13:04)\r\n"
                            "SDK version:3.0.4(9532ceb)\r\n"
                            "compile time:May 27 2020 10:12:17\r\n"
                            "OK\r\n";

int openPort(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

void drain(int fd, QByteArray *into)
{
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        into->append(buf, n);
}

// Writes everything, letting the event loop run (and the host answer) while the line is full.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else
            QTest::qWait(1);
    }
    return done == bytes.size();
}

// Reads until `count` bytes came or 5 s passed, then a little longer to catch any surplus.
QByteArray readBack(int fd, qsizetype count)
{
    QByteArray got;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            drain(fd, &got);
            return got.size() >= count;
        },
        5000));
    QTest::qWait(30);
    drain(fd, &got);
    return got;
}

const QByteArray kJoined = kJoin.chopped(1) + "\r\nWIFI CONNECTED\r\nWIFI GOT IP\r\n" + kOk;

// Joins the module to the simulated network over the port: its whole answer.
QByteArray join(int fd)
{
    return writeAll(fd, kJoin) ? readBack(fd, kJoined.size()) : QByteArray();
}

QStringList registryFiles(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// This suite run again as one scan ("scan") or one announcement of port p8 ("announce"),
// as the console or the simulator started with no XDG_RUNTIME_DIR and TMPDIR `tmp`: a hang
// fails after 5 s instead of stalling the suite. What it printed, on stdout and stderr.
constexpr const char *kChild = "TST_SIMHOST_CHILD";
std::optional<std::pair<QStringList, QStringList>> runChild(const QString &what, const QString &tmp)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QUORLIN_SIM_DIR"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QLatin1String(kChild), what);
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(5000)) {
        child.kill();
        child.waitForFinished();
        return std::nullopt;
    }
    const auto lines = [](const QByteArray &bytes) {
        return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    return std::pair{lines(child.readAllStandardOutput()), lines(child.readAllStandardError())};
}

int childMain(const QByteArray &what)
{
    if (what == "announce") {
        SimRegistry::Announcement announcement(QStringLiteral("p8"));
        std::printf("%s\n", announcement.isValid() ? "announced" : "refused");
        return 0;
    }
    for (const SimRegistry::Entry &entry : SimRegistry::running())
        std::printf("%s\n", qPrintable(entry.portName));
    return 0;
}

// One step of the module on the real network: someone does something, and the line then
// carries exactly `line`. "%TCP%", "%UDP%", "%REFUSED%" and "%SERVER%" stand for the ports
// the test gets from the system.
struct NetStep
{
    enum Who
    {
        Line,    // the console, writing to the module
        TcpPeer, // the server the module connects to
        UdpPeer,
        Client0, // clients of the module's server
        Client1
    };
    enum What
    {
        Send,      // writes bytes
        SendLarge, // writes bytes; the line must carry them as +IPD pieces of at most 1460
        Connect,   // a client connects to the module's server
        Close,
        Hear // `who` must have received `bytes` by now
    };
    Who who = Line;
    What what = Send;
    QByteArray bytes;
    QByteArray line;
};

NetStep toModule(const QByteArray &bytes, const QByteArray &line)
{
    return {NetStep::Line, NetStep::Send, bytes, line};
}

// "\r\n+IPD,[id,]n:" and n bytes, again and again: the data carried and the largest piece.
// False when the bytes are anything else.
bool ipdPieces(QByteArrayView got, QByteArray *data, qsizetype *largest)
{
    *largest = 0;
    while (!got.isEmpty()) {
        if (!got.startsWith("\r\n+IPD,"))
            return false;
        const qsizetype colon = got.indexOf(':');
        QByteArray header = got.sliced(7, colon < 0 ? 0 : colon - 7).toByteArray();
        header = header.mid(header.lastIndexOf(',') + 1);
        bool ok = false;
        const qsizetype n = header.toLongLong(&ok);
        if (colon < 0 || !ok || got.size() < colon + 1 + n)
            return false;
        data->append(got.sliced(colon + 1, n));
        *largest = std::max(*largest, n);
        got = got.sliced(colon + 1 + n);
    }
    return true;
}

// The largest datagram UDP carries over IPv4; a peer's longer data goes as several.
constexpr qsizetype kMaxDatagram = 65507;

// A port nothing listens on: the system gave it and it was let go again.
quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(QList<Exchange>)
Q_DECLARE_METATYPE(QList<NetStep>)

class Tst_simhost : public QObject
{
    Q_OBJECT
private slots:
    void exchanges_data();
    void exchanges();
    void portReopened();
    void unreadAnswersKept();
    void realNetwork_data();
    void realNetwork();
    void networkDataTakenWholeOrDroppedWhole();
    void announcedModulesListed_data();
    void announcedModulesListed();
    void entryText_data();
    void entryText();
    void staleEntriesSkipped_data();
    void staleEntriesSkipped();
    void hostileRegistry_data();
    void hostileRegistry();
    void program_data();
    void program();
};

// ---- the host on a pseudo-terminal ---------------------------------------------------

void Tst_simhost::exchanges_data()
{
    QTest::addColumn<QList<Exchange>>("exchanges");

    QTest::newRow("AT over the port") << QList<Exchange>{{"AT\r\n", "AT\r\r\n" + kOk}};
    QTest::newRow("CR not turned into a line end")
        << QList<Exchange>{{"AT\r", "AT\r"}, {"AT\r\n", "AT\r\r\n\r\nERROR\r\n"}};
    QTest::newRow("slow command answered in real time") << QList<Exchange>{
        {"AT+CWLAP=\"Guest\"\r\n", "AT+CWLAP=\"Guest\"\r\r\n"
                                   "+CWLAP:(0,\"Guest\",-79,\"02:5c:00:82:66:03\",11,3,0)\r\n" +
                                       kOk}};
    QTest::newRow("round trip through the far end") << QList<Exchange>{
        {kJoin, kJoin.chopped(1) + "\r\nWIFI CONNECTED\r\nWIFI GOT IP\r\n" + kOk},
        {kStart, kStart.chopped(1) + "\r\nCONNECT\r\n" + kOk},
        {"AT+CIPSEND=5\r\n", "AT+CIPSEND=5\r\r\n\r\nOK\r\n> "},
        {"hello", "\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n\r\n+IPD,5:hello"}};
    // Control characters a cooked line would eat or change: NUL, ^C, XON, XOFF, DEL, 0xFF.
    const QByteArray controls("\x00\x03\x11\x13\x7f\xff\r\n", 8);
    QTest::newRow("every byte value passes unchanged") << QList<Exchange>{
        {kJoin, kJoin.chopped(1) + "\r\nWIFI CONNECTED\r\nWIFI GOT IP\r\n" + kOk},
        {kStart, kStart.chopped(1) + "\r\nCONNECT\r\n" + kOk},
        {"AT+CIPSEND=8\r\n", "AT+CIPSEND=8\r\r\n\r\nOK\r\n> "},
        {controls, "\r\nRecv 8 bytes\r\n\r\nSEND OK\r\n\r\n+IPD,8:" + controls}};
}

void Tst_simhost::exchanges()
{
    QFETCH(QList<Exchange>, exchanges);

    SimModule::Options options;
    options.speed = 1000; // the scan takes 2 ms, a join 3 ms
    SimHost host(options);
    QString error;
    QVERIFY2(host.open(&error), qPrintable(error));
    QVERIFY(host.slavePath().startsWith(QLatin1String("/dev/")));
    const int fd = openPort(host.slavePath());
    QVERIFY(fd >= 0);
    for (const Exchange &x : exchanges) {
        QVERIFY(writeAll(fd, x.send));
        QCOMPARE(readBack(fd, x.expect.size()), x.expect);
    }
    ::close(fd);
}

void Tst_simhost::portReopened()
{
    // A program closes the port and another opens it: the module still answers.
    SimHost host;
    QVERIFY(host.open());
    for (int round = 0; round < 2; ++round) {
        const int fd = openPort(host.slavePath());
        QVERIFY(fd >= 0);
        QVERIFY(writeAll(fd, "AT\r\n"));
        QCOMPARE(readBack(fd, 11), QByteArray("AT\r\r\n") + kOk);
        ::close(fd);
        QTest::qWait(20);
    }
}

void Tst_simhost::unreadAnswersKept()
{
    // More answers than the line holds, written while nobody reads: the host keeps them and
    // never blocks, and the reader gets every byte in order once it reads.
    SimHost host;
    QVERIFY(host.open());
    const int fd = openPort(host.slavePath());
    QVERIFY(fd >= 0);
    const int count = 500;
    QByteArray expected;
    for (int i = 0; i < count; ++i) {
        QVERIFY(writeAll(fd, "AT+GMR\r\n"));
        expected += "AT+GMR\r\r\n" + kVersion;
        QTest::qWait(0);
    }
    QVERIFY(expected.size() < SimHost::kMaxPendingBytes); // nothing need be dropped
    QCOMPARE(readBack(fd, expected.size()), expected);
    ::close(fd);
}

// ---- the module's links on the real network ------------------------------------------

void Tst_simhost::realNetwork_data()
{
    QTest::addColumn<QList<NetStep>>("steps");
    QTest::addColumn<QStringList>("reported"); // the lines said about the connections

    const QByteArray tcp = "AT+CIPSTART=\"TCP\",\"127.0.0.1\",%TCP%\r\n";
    const QByteArray connected = "AT+CIPSTART=\"TCP\",\"127.0.0.1\",%TCP%\r\r\nCONNECT\r\n" + kOk;
    const QByteArray sent5 = "\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n";
    QByteArray large(1000 * 1000, 'x');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char('a' + i % 26);
    const QByteArray datagram = large.left(2000);

    QTest::newRow("TCP: connect, send, answer, peer closes")
        << QList<NetStep>{toModule(tcp, connected),
                          toModule("AT+CIPSEND=5\r\n", "AT+CIPSEND=5\r\r\n\r\nOK\r\n> "),
                          toModule("hello", sent5),
                          {NetStep::TcpPeer, NetStep::Hear, "hello", ""},
                          {NetStep::TcpPeer, NetStep::Send, "world!", "\r\n+IPD,6:world!"},
                          {NetStep::TcpPeer, NetStep::Close, "", "CLOSED\r\n"},
                          toModule("AT+CIPSEND=5\r\n",
                                   "AT+CIPSEND=5\r\r\nlink is not valid\r\n\r\nERROR\r\n")}
        << QStringList{"TCP 127.0.0.1:%TCP%, link 0: 5 bytes sent, 6 received, closed by the peer"};
    QTest::newRow("TCP: refused")
        << QList<NetStep>{toModule("AT+CIPSTART=\"TCP\",\"127.0.0.1\",%REFUSED%\r\n",
                                   "AT+CIPSTART=\"TCP\",\"127.0.0.1\",%REFUSED%\r\r\n\r\nERROR\r\n"
                                   "CLOSED\r\n"),
                          toModule("AT+CIPSTATUS\r\n", "AT+CIPSTATUS\r\r\nSTATUS:2\r\n" + kOk)}
        << QStringList{"TCP 127.0.0.1:%REFUSED%, link 0: not connected: Connection refused"};
    // The C library refuses such a name before asking anyone: no lookup leaves the machine.
    const QByteArray hostile = "AT+CIPSTART=\"TCP\",\"\x1b]2;X\x07\",80\r\n";
    QTest::newRow("TCP: a peer named with an escape sequence is reported escaped")
        << QList<NetStep>{toModule(hostile, hostile.chopped(1) + "\r\n\r\nERROR\r\nCLOSED\r\n")}
        << QStringList{"TCP \\x1b]2;X\\x07:80, link 0: not connected: Host not found"};
    QTest::newRow("TCP: a megabyte while the console reads late, in pieces of at most 1460")
        << QList<NetStep>{toModule(tcp, connected),
                          {NetStep::TcpPeer, NetStep::SendLarge, large, ""},
                          toModule("AT+CIPCLOSE\r\n", "AT+CIPCLOSE\r\r\nCLOSED\r\n" + kOk),
                          {NetStep::TcpPeer, NetStep::Hear, "", ""}}
        << QStringList{"TCP 127.0.0.1:%TCP%, link 0: 0 bytes sent, 1000000 received, closed by "
                       "the module"};
    // A datagram link, and the peer knows the module's address once "ping" came from it.
    const QList<NetStep> udpPinged{
        toModule("AT+CIPSTART=\"UDP\",\"127.0.0.1\",%UDP%\r\n",
                 "AT+CIPSTART=\"UDP\",\"127.0.0.1\",%UDP%\r\r\nCONNECT\r\n" + kOk),
        toModule("AT+CIPSEND=4\r\n", "AT+CIPSEND=4\r\r\n\r\nOK\r\n> "),
        toModule("ping", "\r\nRecv 4 bytes\r\n\r\nSEND OK\r\n"),
        {NetStep::UdpPeer, NetStep::Hear, "ping", ""}};
    QTest::newRow("UDP: a datagram each way, a long one in two pieces")
        << udpPinged + QList<NetStep>{{NetStep::UdpPeer, NetStep::Send, "pong", "\r\n+IPD,4:pong"},
                                      {NetStep::UdpPeer, NetStep::Send, datagram,
                                       "\r\n+IPD,1460:" + datagram.left(1460) +
                                           "\r\n+IPD,540:" + datagram.mid(1460)}}
        << QStringList{"UDP 127.0.0.1:%UDP%, link 0: 4 bytes sent, 2004 received, still open when "
                       "the simulator stopped"};
    // The largest datagram there is, then one more while the console still reads late: each
    // arrives whole, in +IPD pieces that carry exactly what they announce.
    const QByteArray datagrams = large.left(65507 + 65000);
    QTest::newRow("UDP: datagrams of 65,507 and 65,000 bytes while the console reads late")
        << udpPinged + QList<NetStep>{{NetStep::UdpPeer, NetStep::SendLarge, datagrams, ""}}
        << QStringList{"UDP 127.0.0.1:%UDP%, link 0: 4 bytes sent, 130507 received, still open "
                       "when the simulator stopped"};
    QTest::newRow("server: two clients, data by link, each closed its own way")
        << QList<NetStep>{toModule("AT+CIPMUX=1\r\n", "AT+CIPMUX=1\r\r\n" + kOk),
                          toModule("AT+CIPSERVER=1,%SERVER%\r\n",
                                   "AT+CIPSERVER=1,%SERVER%\r\r\n" + kOk),
                          {NetStep::Client0, NetStep::Connect, "", "0,CONNECT\r\n"},
                          {NetStep::Client1, NetStep::Connect, "", "1,CONNECT\r\n"},
                          {NetStep::Client1, NetStep::Send, "two", "\r\n+IPD,1,3:two"},
                          {NetStep::Client0, NetStep::Send, "one", "\r\n+IPD,0,3:one"},
                          toModule("AT+CIPSEND=1,3\r\n", "AT+CIPSEND=1,3\r\r\n\r\nOK\r\n> "),
                          toModule("abc", "\r\nRecv 3 bytes\r\n\r\nSEND OK\r\n"),
                          {NetStep::Client1, NetStep::Hear, "abc", ""},
                          {NetStep::Client0, NetStep::Close, "", "0,CLOSED\r\n"},
                          toModule("AT+CIPCLOSE=1\r\n", "AT+CIPCLOSE=1\r\r\n1,CLOSED\r\n" + kOk)}
        << QStringList{"listening on 127.0.0.1 port %SERVER%",
                       "TCP client 127.0.0.1:%C0% on port %SERVER%, link 0: 0 bytes sent, "
                       "3 received, closed by the peer",
                       "TCP client 127.0.0.1:%C1% on port %SERVER%, link 1: 3 bytes sent, "
                       "3 received, closed by the module",
                       "no longer listening on port %SERVER%"};
}

void Tst_simhost::realNetwork()
{
    QFETCH(QList<NetStep>, steps);
    QFETCH(QStringList, reported);

    // The far ends, all on 127.0.0.1, on ports the system chooses.
    QTcpServer tcpServer;
    QVERIFY(tcpServer.listen(QHostAddress::LocalHost));
    QUdpSocket udpPeer;
    QVERIFY(udpPeer.bind(QHostAddress::LocalHost));
    QMap<QByteArray, QByteArray> ports{
        {"%TCP%", QByteArray::number(tcpServer.serverPort())},
        {"%UDP%", QByteArray::number(udpPeer.localPort())},
        {"%REFUSED%", QByteArray::number(freePort())},
        {"%SERVER%", QByteArray::number(freePort())}};
    auto fill = [&](QByteArray text) {
        for (auto it = ports.cbegin(); it != ports.cend(); ++it)
            text.replace(it.key(), it.value());
        return text;
    };

    QStringList lines;
    SimModule::Options options;
    options.speed = 1000; // joining takes 3 ms
    {
        SimNetBridge::Options network;
        network.report = [&](const QString &line) { lines << line; };
        SimNetBridge bridge(network);
        SimHost host(options);
        host.setFarEnd(&bridge);
        QVERIFY(host.open());
        const int fd = openPort(host.slavePath());
        QVERIFY(fd >= 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        QCOMPARE(join(fd), kJoined);

        // The far ends by who they are; the server's side of the module's link comes when
        // the module connects.
        QTcpSocket clients[2];
        QMap<int, QAbstractSocket *> peers{{NetStep::Client0, &clients[0]},
                                           {NetStep::Client1, &clients[1]}};
        QObject::connect(&tcpServer, &QTcpServer::newConnection,
                         [&] { peers[NetStep::TcpPeer] = tcpServer.nextPendingConnection(); });
        QNetworkDatagram datagram; // the module's last one: where it comes from
        QMap<int, QByteArray> heard;
        auto listen = [&] {
            for (auto it = peers.cbegin(); it != peers.cend(); ++it)
                heard[it.key()] += it.value()->isOpen() ? it.value()->readAll() : QByteArray();
            while (udpPeer.hasPendingDatagrams()) {
                datagram = udpPeer.receiveDatagram();
                heard[NetStep::UdpPeer] += datagram.data();
            }
        };

        for (qsizetype i = 0; i < steps.size(); ++i) {
            const NetStep &step = steps.at(i);
            const QByteArray bytes = fill(step.bytes);
            const QByteArray expected = fill(step.line);
            const QByteArray where = "step " + QByteArray::number(i) + ": ";
            switch (step.what) {
            case NetStep::Send:
            case NetStep::SendLarge:
                if (step.who == NetStep::Line)
                    QVERIFY(writeAll(fd, bytes));
                else if (step.who == NetStep::UdpPeer)
                    for (qsizetype at = 0; at < bytes.size(); at += kMaxDatagram) {
                        const QByteArray one = bytes.mid(at, kMaxDatagram);
                        QCOMPARE(udpPeer.writeDatagram(datagram.makeReply(one)), one.size());
                    }
                else
                    QVERIFY2(peers.value(step.who) && peers[step.who]->write(bytes) == bytes.size(),
                             where + "no connection to write on");
                break;
            case NetStep::Connect: {
                QTcpSocket &client = clients[step.who - NetStep::Client0];
                client.connectToHost(QHostAddress::LocalHost, ports["%SERVER%"].toUShort());
                QVERIFY2(client.waitForConnected(5000), where + "a client could not connect");
                ports[step.who == NetStep::Client0 ? "%C0%" : "%C1%"] =
                    QByteArray::number(client.localPort());
                break;
            }
            case NetStep::Close:
                QVERIFY2(peers.value(step.who), where + "no connection to close");
                peers[step.who]->disconnectFromHost();
                break;
            case NetStep::Hear: {
                const bool done = QTest::qWaitFor(
                    [&] {
                        listen();
                        // Nothing to hear: the module closes, the peer sees the link end.
                        return bytes.isEmpty()
                                   ? peers[step.who]->state() == QAbstractSocket::UnconnectedState
                                   : heard[step.who].size() >= bytes.size();
                    },
                    5000);
                QVERIFY2(done, where + "waited 5 s for the far end to get \"" + bytes.left(40) +
                                   "\", it got \"" + heard[step.who].left(40) + "\"");
                QCOMPARE(heard[step.who], bytes);
                heard[step.who].clear();
                continue;
            }
            }
            if (step.what == NetStep::SendLarge) {
                // The console does not read for a while: the peer must be held back, not
                // the line lose what it cannot take.
                QTest::qWait(300);
                // However the network cut the data, the module hands on every byte in order
                // and no piece is longer than 1460.
                QByteArray got;
                QByteArray data;
                qsizetype largest = 0;
                const bool done = QTest::qWaitFor(
                    [&] {
                        drain(fd, &got);
                        data.clear();
                        return ipdPieces(got, &data, &largest) && data.size() >= bytes.size();
                    },
                    10000);
                QVERIFY2(done, where + "waited 10 s for the data as +IPD, got " +
                                   QByteArray::number(got.size()) + " bytes: " + got.left(60));
                QCOMPARE(data, bytes);
                QVERIFY2(largest <= 1460, QByteArray::number(largest));
                continue;
            }
            const QByteArray got = readBack(fd, expected.size());
            if (got != expected)
                qWarning("%s", where.constData());
            QCOMPARE(got, expected);
        }
    } // the bridge ends with the host, and says so for what is still open
    QStringList expected;
    for (const QString &line : reported)
        expected << QString::fromUtf8(fill(line.toUtf8()));
    QCOMPARE(lines, expected);
}

// A far end that hands on whatever it is given at once, deaf to the line being behind.
class PushingFarEnd : public SimFarEnd
{
public:
    void open(int link, Kind, const QByteArray &, int) override { opened = link; }
    void send(int, const QByteArray &) override {}
    void close(int) override {}
    bool listen(int) override { return false; }
    void stopListening() override {}
    void setReading(bool) override {}
    Listener *line() const { return listener(); }
    int opened = -1;
};

// Data the line cannot hold any more is dropped a whole delivery at a time, never cut:
// what arrives is whole datagrams, each in pieces that carry what they announce.
void Tst_simhost::networkDataTakenWholeOrDroppedWhole()
{
    SimModule::Options options;
    options.speed = 1000; // joining takes 3 ms
    PushingFarEnd farEnd;
    SimHost host(options);
    host.setFarEnd(&farEnd);
    QVERIFY(host.open());
    QSignalSpy dropped(&host, &SimHost::networkDataDropped);
    const int fd = openPort(host.slavePath());
    QVERIFY(fd >= 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    QCOMPARE(join(fd), kJoined);
    const QByteArray start = "AT+CIPSTART=\"UDP\",\"127.0.0.1\",9\r\n";
    QVERIFY(writeAll(fd, start));
    QVERIFY2(QTest::qWaitFor([&] { return farEnd.opened == 0; }, 5000), "no link was asked for");
    farEnd.line()->linkOpened(0);
    const QByteArray connected = start.chopped(1) + "\r\nCONNECT\r\n" + kOk;
    QCOMPARE(readBack(fd, connected.size()), connected);

    // Six of the largest datagrams while the console reads nothing.
    QByteArrayList datagrams;
    for (char fill = 'A'; fill < 'G'; ++fill) {
        datagrams.append(QByteArray(kMaxDatagram, fill));
        farEnd.line()->linkReceived(0, datagrams.last());
    }
    const qsizetype taken = datagrams.size() - dropped.count();
    QVERIFY2(dropped.count() > 0, "the line took more than it holds");
    const QByteArray expected = datagrams.mid(0, taken).join();
    QByteArray data;
    qsizetype largest = 0;
    const QByteArray got = readBack(fd, expected.size() + taken * 45 * 12);
    QVERIFY2(ipdPieces(got, &data, &largest), got.left(60));
    QCOMPARE(data, expected);
    QVERIFY2(largest <= 1460, QByteArray::number(largest));
}

// ---- the registry -------------------------------------------------------------------

void Tst_simhost::announcedModulesListed_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("listed"); // in the order a scan shows them
    QTest::addColumn<int>("runningFor");     // seconds since the module announced itself

    QTest::newRow("one module") << QStringList{"/dev/pts/4"} << QStringList{"/dev/pts/4"} << 0;
    QTest::newRow("module running for hours")
        << QStringList{"/dev/pts/4"} << QStringList{"/dev/pts/4"} << 4 * 3600;
    QTest::newRow("several sorted by path")
        << QStringList{"/dev/pts/7", "/dev/pts/12", "/dev/pts/3"}
        << QStringList{"/dev/pts/12", "/dev/pts/3", "/dev/pts/7"} << 0;
    QTest::newRow("sorted by path, not by file name")
        << QStringList{"/tmp/sim0", "/tmp/sim."} << QStringList{"/tmp/sim.", "/tmp/sim0"} << 0;
    QTest::newRow("paths differing in a sign or a case kept apart")
        << QStringList{"/tmp/sim-a", "/tmp/sim.a", "/tmp/SIM.a"}
        << QStringList{"/tmp/SIM.a", "/tmp/sim-a", "/tmp/sim.a"} << 0;
    QTest::newRow("none") << QStringList{} << QStringList{} << 0;
}

void Tst_simhost::announcedModulesListed()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, listed);
    QFETCH(int, runningFor);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("registry"));
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(folder));
    QCOMPARE(SimRegistry::directory(), folder);

    std::vector<std::unique_ptr<SimRegistry::Announcement>> announcements;
    for (const QString &port : ports) {
        announcements.push_back(std::make_unique<SimRegistry::Announcement>(port));
        QVERIFY2(announcements.back()->isValid(), qPrintable(announcements.back()->errorString()));
    }
    if (runningFor > 0) {
        // A lock is never refreshed while its module runs: it grows old.
        for (const QString &name : registryFiles(folder)) {
            QFile file(QDir(folder).filePath(name));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-runningFor),
                                     QFileDevice::FileModificationTime));
        }
    }

    QList<SimRegistry::Entry> expected;
    for (const QString &port : listed)
        expected.append({port, QStringLiteral("ESP8266 模拟模块 (%1)").arg(port)});
    const QList<SimRegistry::Entry> got = SimRegistry::running();
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).portName, expected.at(i).portName);
        QCOMPARE(got.at(i).friendlyName, expected.at(i).friendlyName);
    }

    // A module that ends is no longer listed, and leaves no file behind.
    if (!ports.isEmpty()) {
        announcements.erase(announcements.begin());
        const QList<SimRegistry::Entry> after = SimRegistry::running();
        QCOMPARE(after.size(), expected.size() - 1);
        for (const SimRegistry::Entry &entry : after)
            QVERIFY(entry.portName != ports.first());
    }
    announcements.clear();
    QVERIFY(SimRegistry::running().isEmpty());
    QCOMPARE(registryFiles(folder), QStringList());
    qunsetenv("QUORLIN_SIM_DIR");
}

// What a scan makes of a live module's entry: the port on the first line, the name it is
// listed by on the second.
void Tst_simhost::entryText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("port"); // empty: not listed
    QTest::addColumn<QString>("friendlyName");

    QTest::newRow("port and name")
        << QByteArray("/dev/pts/7\nModule (/dev/pts/7)\n") << "/dev/pts/7"
        << "Module (/dev/pts/7)";
    QTest::newRow("port only, as an older module wrote it")
        << QByteArray("/dev/pts/7\n") << "/dev/pts/7"
        << "/dev/pts/7";
    QTest::newRow("blank name line shows the port")
        << QByteArray("/dev/pts/7\n  \n") << "/dev/pts/7"
        << "/dev/pts/7";
    QTest::newRow("CR LF line ends") << QByteArray("/dev/pts/7\r\nModule\r\n") << "/dev/pts/7"
                                     << "Module";
    QTest::newRow("name in UTF-8")
        << QByteArray("/dev/pts/7\n模块 7\n") << "/dev/pts/7" << QStringLiteral("模块 7");
    QTest::newRow("no port: not listed") << QByteArray("\nModule\n") << QString() << QString();
}

void Tst_simhost::entryText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, port);
    QFETCH(QString, friendlyName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(dir.path()));
    const auto restore = qScopeGuard([] { qunsetenv("QUORLIN_SIM_DIR"); });
    // A live module (its lock held) whose entry says `text`.
    SimRegistry::Announcement live(QStringLiteral("/dev/pts/7"));
    QVERIFY2(live.isValid(), qPrintable(live.errorString()));
    const QStringList entries = registryFiles(dir.path()).filter(QStringLiteral(".entry"));
    QCOMPARE(entries.size(), 1);
    QFile entry(QDir(dir.path()).filePath(entries.first()));
    QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(entry.write(text), text.size());
    entry.close();

    const QList<SimRegistry::Entry> got = SimRegistry::running();
    if (port.isEmpty()) {
        QCOMPARE(got.size(), 0);
        return;
    }
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first().portName, port);
    QCOMPARE(got.first().friendlyName, friendlyName);
}

void Tst_simhost::staleEntriesSkipped_data()
{
    QTest::addColumn<bool>("lockRemoved");

    QTest::newRow("module killed, its lock left") << false;
    QTest::newRow("module killed, its lock gone too") << true;
}

void Tst_simhost::staleEntriesSkipped()
{
    QFETCH(bool, lockRemoved);

    const QString program = QStringLiteral(QUORLIN_SIM_PROGRAM);
    if (!QFile::exists(program))
        QSKIP("quorlin-sim is not built");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(folder));

    // A module killed outright cannot take its announcement back.
    QProcess killed;
    killed.setProcessEnvironment([&] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORLIN_SIM_DIR"), folder);
        return env;
    }());
    killed.start(program, {QStringLiteral("--quiet")});
    QVERIFY(killed.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return killed.canReadLine(); }, 5000));
    const QString killedPath = QString::fromLocal8Bit(killed.readLine()).trimmed();
    killed.kill();
    QVERIFY(killed.waitForFinished());
    const QStringList left = registryFiles(folder);
    QCOMPARE(left.size(), 2); // its entry and its lock
    if (lockRemoved) {
        for (const QString &name : left) {
            if (name.endsWith(QLatin1String(".lock")))
                QVERIFY(QFile::remove(QDir(folder).filePath(name)));
        }
    }

    // A module that runs now, on a path no pseudo-terminal of the killed one can have had.
    const QString livePath = QStringLiteral("/dev/pts/live");
    SimRegistry::Announcement live(livePath);
    QVERIFY(live.isValid());

    const QList<SimRegistry::Entry> got = SimRegistry::running();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.first().portName, livePath);
    // The scan cleared what the killed module left.
    const QStringList now = registryFiles(folder);
    QCOMPARE(now.size(), 2);
    for (const QString &name : left)
        QVERIFY2(!now.contains(name), qPrintable(name));

    // A new module on the port the killed one had announces itself over it.
    SimRegistry::Announcement reborn(killedPath);
    QVERIFY(reborn.isValid());
    QCOMPARE(SimRegistry::running().size(), 2);
    qunsetenv("QUORLIN_SIM_DIR");
}

// What the console's scan and the simulator make of a registry in a temporary folder that
// every user may write to, as /tmp is, where another user or a stray file got first.
void Tst_simhost::hostileRegistry_data()
{
    QTest::addColumn<QString>("actor");    // who runs `script`: user, other (uid 65534), root
    QTest::addColumn<QStringList>("live"); // modules this suite runs before the script
    // sh: REG the registry folder, VICTIM a folder of the user's holding p9.entry with no
    // lock, PID this suite's process. Ports are named pN, so that their key is their name.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("listed"); // the ports the scan lists
    QTest::addColumn<int>("errorLines");     // lines the scan prints on standard error
    QTest::addColumn<QStringList>("files");  // still there after the scan; "!": removed by it
    QTest::addColumn<bool>("announces");     // a new module on p8 is announced

    const QStringList none;
    const QStringList p7{"p7"};
    const QString entry8 = QStringLiteral("mkdir -p -m 700 REG; echo p8 > REG/p8.entry; ");
    const QStringList plant8{"REG/p8.entry", "REG/p8.lock"};
    QTest::newRow("folder made first by another user")
        << "other" << none << "mkdir -m 755 REG; echo p66 > REG/p7.entry; : > REG/p7.lock" << none
        << 1 << QStringList{"REG/p7.entry", "REG/p7.lock"} << false;
    QTest::newRow("folder a link to another folder of the user's")
        << "other" << none << "ln -s VICTIM REG" << none << 1 << QStringList{"VICTIM/p9.entry"}
        << false;
    QTest::newRow("folder of the user's that others may write to")
        << "user" << none << "mkdir REG; chmod 777 REG; echo p66 > REG/p7.entry" << none << 1
        << QStringList{"REG/p7.entry"} << false;
    QTest::newRow("entry of another user's, rewritten to another pty")
        << "root" << p7
        << "printf 'p66\\nESP8266 (p7)\\n' > REG/x; chown 65534 REG/x; mv REG/x REG/p7.entry"
        << none << 0 << none << true;
    QTest::newRow("a same-named entry sorting first keeps its own port")
        << "user" << QStringList{"p7", "p10"}
        << "printf 'p10\\nESP8266 模拟模块 (p7)\\n' > REG/p10.entry" << QStringList{"p10", "p7"}
        << 0 << none << true;
    QTest::newRow("FIFO named like a lock")
        << "user" << none << entry8 + "mkfifo REG/p8.lock" << none << 0 << plant8 << false;
    QTest::newRow("lock a link to /dev/zero")
        << "user" << none << entry8 + "ln -s /dev/zero REG/p8.lock" << none << 0 << plant8 << false;
    QTest::newRow("400 MB entry") << "user" << p7 << "truncate -s 400M REG/p7.entry" << none << 0
                                  << none << true;
    QTest::newRow("entry a link to a file only its owner may read")
        << "user" << p7
        << "printf 'p7\\nSECRET\\n' > VICTIM/s; chmod 600 VICTIM/s; ln -sf VICTIM/s REG/p7.entry"
        << none << 0 << QStringList{"VICTIM/s"} << true;
    QTest::newRow("entry left aside by a module killed while writing it")
        << "user" << none << "mkdir -m 700 REG; : > REG/.p8.entry.99" << none << 0
        << QStringList{"!REG/.p8.entry.99", "!REG/p8.lock"} << true;
    // Age is never a reason: only a holder that is gone makes a module gone.
    QTest::newRow("lock held for hours by a live module")
        << "user" << p7 << "touch -d '4 hours ago' REG/p7.entry REG/p7.lock" << p7 << 0 << none
        << true;
    QTest::newRow("unheld lock naming a live process, hours old")
        << "user" << none
        << entry8 + "printf 'PID\\nquorlin-sim\\n' > REG/p8.lock; touch -d '4 hours ago' REG/p8.*"
        << none << 0 << QStringList{"!REG/p8.entry", "!REG/p8.lock"} << true;
    QTest::newRow("unheld lock naming a live process, just written")
        << "user" << none << entry8 + "printf 'PID\\nquorlin-sim\\n' > REG/p8.lock" << none << 0
        << QStringList{"!REG/p8.entry", "!REG/p8.lock"} << true;
}

void Tst_simhost::hostileRegistry()
{
    QFETCH(QString, actor);
    QFETCH(QStringList, live);
    QFETCH(QString, script);
    QFETCH(QStringList, listed);
    QFETCH(int, errorLines);
    QFETCH(QStringList, files);
    QFETCH(bool, announces);
    if (actor != QLatin1String("user") && ::geteuid() != 0)
        QSKIP("acting as another user needs the superuser");

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QCOMPARE(::chmod(QFile::encodeName(tmp.path()).constData(), 01777), 0);
    const auto expand = [&](QString text) {
        return text
            .replace(QLatin1String("REG"),
                     tmp.filePath(QStringLiteral("quorlin-sim-%1").arg(::geteuid())))
            .replace(QLatin1String("VICTIM"), tmp.filePath(QStringLiteral("victim")))
            .replace(QLatin1String("PID"), QString::number(QCoreApplication::applicationPid()));
    };
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(expand(QStringLiteral("REG"))));
    std::vector<std::unique_ptr<SimRegistry::Announcement>> modules;
    for (const QString &port : live) {
        modules.push_back(std::make_unique<SimRegistry::Announcement>(port));
        QVERIFY2(modules.back()->isValid(), qPrintable(modules.back()->errorString()));
    }
    qunsetenv("QUORLIN_SIM_DIR");
    QStringList run{QStringLiteral("sh"), QStringLiteral("-c")};
    for (const QString &step :
         {QStringLiteral("mkdir -m 700 VICTIM; echo p9 > VICTIM/p9.entry"), script}) {
        QProcess setUp;
        setUp.start(run.first(), run.mid(1) << expand(step));
        QVERIFY2(setUp.waitForFinished(10000) && setUp.exitCode() == 0, qPrintable(step));
        if (actor == QLatin1String("other"))
            run = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "sh",
                              "-c"};
    }

    const auto scan = runChild(QStringLiteral("scan"), tmp.path());
    QVERIFY2(scan, "the scan did not end within 5 s");
    QCOMPARE(scan->first, listed);
    QVERIFY2(scan->second.size() == errorLines, qPrintable(scan->second.join(u'\n') + " (stderr)"));
    for (QString file : files) {
        const bool kept = !file.startsWith(u'!');
        QVERIFY2(QFileInfo::exists(expand(file.remove(u'!'))) == kept,
                 qPrintable(file + (kept ? " was removed" : " was left")));
    }
    const auto announce = runChild(QStringLiteral("announce"), tmp.path());
    QVERIFY2(announce, "announcing did not end within 5 s");
    QCOMPARE(announce->first.value(0) == QLatin1String("announced"), announces);
}

// ---- the program --------------------------------------------------------------------

void Tst_simhost::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<int>("signal");

    QTest::newRow("announced, ended by SIGTERM")
        << QStringList{"--quiet", "--speed", "100"} << true << int(SIGTERM);
    QTest::newRow("announced, ended by SIGINT")
        << QStringList{"--speed", "100"} << true << int(SIGINT);
    QTest::newRow("not announced")
        << QStringList{"--quiet", "--no-announce"} << false << int(SIGTERM);
}

void Tst_simhost::program()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, listed);
    QFETCH(int, signal);

    const QString program = QStringLiteral(QUORLIN_SIM_PROGRAM);
    if (!QFile::exists(program))
        QSKIP("quorlin-sim is not built");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(dir.path()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUORLIN_SIM_DIR"), dir.path());

    QProcess sim;
    sim.setProcessEnvironment(env);
    sim.start(program, arguments);
    QVERIFY(sim.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(path.startsWith(QLatin1String("/dev/")), qPrintable(path));

    // Listed by a scan in another process, with its friendly name, as soon as the path shows;
    // opened while it runs on a terminal of this user's.
    struct Port
    {
        QString portName, friendlyName;
        std::function<QString()> whyNotOpen;
    };
    const QList<Port> entries = SimRegistry::withRunning(QList<Port>{});
    if (listed) {
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().portName, path);
        QCOMPARE(entries.first().friendlyName, QStringLiteral("ESP8266 模拟模块 (%1)").arg(path));
        QCOMPARE(entries.first().whyNotOpen(), QString());
        // Not opened on a terminal that is another user's, though a module runs there.
        struct stat node = {};
        const QByteArray name = QFile::encodeName(path);
        if (::geteuid() == 0 && ::stat(name.constData(), &node) == 0) {
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
            const QString why = entries.first().whyNotOpen();
            QCOMPARE(::chown(name.constData(), node.st_uid, node.st_gid), 0);
            QVERIFY2(
                why.startsWith(QStringLiteral("伪终端 %1 属于另一个用户（uid 65534）").arg(path)),
                qPrintable(why));
        }
    } else {
        QCOMPARE(entries.size(), 0);
    }

    const int fd = openPort(path);
    QVERIFY(fd >= 0);
    QVERIFY(writeAll(fd, "AT\r\n"));
    QCOMPARE(readBack(fd, 11), QByteArray("AT\r\r\n") + kOk);
    ::close(fd);

    ::kill(pid_t(sim.processId()), signal);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(SimRegistry::running().isEmpty());
    QCOMPARE(registryFiles(dir.path()), QStringList());
    // Its entry, opened after it stopped, is refused: its terminal may be another's by now.
    if (listed) {
        const QString why = entries.first().whyNotOpen();
        QVERIFY2(why.startsWith(QStringLiteral("模拟模块 %1 已停止运行。").arg(path)),
                 qPrintable(why));
    }
    qunsetenv("QUORLIN_SIM_DIR");
}

int main(int argc, char *argv[])
{
    if (const QByteArray child = qgetenv(kChild); !child.isEmpty())
        return childMain(child);
    QCoreApplication app(argc, argv);
    Tst_simhost suite;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&suite, argc, argv);
}
#include "tst_simhost.moc"
