// The simulated module over a real pseudo-terminal, its announcement in the registry, and
// the quorlin-sim program as a separate process.
#include "simhost.h"
#include "simregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

} // namespace

Q_DECLARE_METATYPE(QList<Exchange>)

class Tst_simhost : public QObject
{
    Q_OBJECT
private slots:
    void exchanges_data();
    void exchanges();
    void portReopened();
    void unreadAnswersKept();
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

    // Listed by a scan in another process, with its friendly name, as soon as the path shows.
    const QList<SimRegistry::Entry> entries = SimRegistry::running();
    if (listed) {
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().portName, path);
        QCOMPARE(entries.first().friendlyName, QStringLiteral("ESP8266 模拟模块 (%1)").arg(path));
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
