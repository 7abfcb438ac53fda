// The console on real kernel serial drivers. tests/vm/rig.sh boots Debian's kernel under
// QEMU around this same program, which there drives the real window offscreen (the window
// harness) on commands from this test: one JSON line each way over the guest's console.
// Here, two simulated modules each run on a pseudo-terminal that QEMU wires to a real
// driver: a 16550A UART (the guest's ttyS1) and an FTDI adapter on xHCI (ttyUSB0), which
// QMP unplugs and plugs in again. The commands run as well on a window here over a
// pseudo-terminal, and what crosses the line must be the same, byte for byte.
#include "logtext.h"
#include "commandtable.h"
#include "drivenhost.h"
#include "portdiscovery.h"
#include "windowharness.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QMenu>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

QJsonObject op(const QString &what, const QString &name = {}, const QString &text = {}, int ms = 0)
{
    return {{"op", what}, {"name", name}, {"text", text}, {"ms", ms}};
}
const auto click = [](const QString &button) { return op("click", button); };
const auto set = [](const QString &control, const QString &text) {
    return op("set", control, text);
};
const auto sha1 = [](const QString &text) {
    return QString(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
};

// Notes when a node appears in /dev, beside the window's thread, which a look at the ports
// may hold up: the kernel's own word (inotify), timed on the monotonic clock.
struct NodeWatch
{
    static qint64 now() { return QDeadlineTimer::current().deadline(); }
    void start(const QString &name)
    {
        stop();
        at = -1;
        running = true;
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd, "/dev", IN_CREATE);
        thread = std::thread([this, name = name.toLocal8Bit()] {
            alignas(inotify_event) char events[4096];
            for (pollfd p{fd, POLLIN, 0}; running;) {
                if (poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = read(fd, events, sizeof events);
                for (ssize_t i = 0; i < n;) {
                    const auto *e = reinterpret_cast<const inotify_event *>(events + i);
                    if (at < 0 && e->len && name == e->name)
                        at = now();
                    i += ssize_t(sizeof(inotify_event) + e->len);
                }
            }
        });
    }
    void stop()
    {
        running = false;
        if (thread.joinable())
            thread.join();
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    ~NodeWatch() { stop(); }

    std::atomic<qint64> at{-1}; // when it appeared
    std::atomic<bool> running{false};
    int fd = -1;
    std::thread thread;
};

// Drives the real window: operations in, the window's state out. The guest runs it on what
// comes over its console, the test on a window beside it.
struct Driver
{
    QJsonObject run(const QJsonArray &ops)
    {
        QJsonObject a;
        for (const QJsonValue &v : ops) {
            const QString what = v["op"].toString(), name = v["name"].toString(),
                          text = v["text"].toString();
            const int ms = v["ms"].toInt();
            QElapsedTimer clock;
            clock.start();
            QComboBox *ports = h.combo("Combo1");
            if (what == "click") {
                h.click(qPrintable(name));
            } else if (what == "set") {
                if (auto *list = h.window->findChild<QComboBox *>(name))
                    list->setEditText(text);
                else if (auto *box = h.window->findChild<QLineEdit *>(name))
                    box->setText(text);
                else
                    h.get<QPlainTextEdit>(qPrintable(name))->setPlainText(text);
            } else if (what == "pick") { // scans until the port list holds the entry
                while (h.click("Command28"), ports->findText(text) < 0 && clock.elapsed() < ms)
                    QTest::qWait(100);
                if (const int index = ports->findText(text); index >= 0) {
                    ports->setCurrentIndex(index);
                    emit ports->activated(index);
                }
                QJsonArray entries;
                for (int i = 0; i < ports->count(); ++i)
                    entries.append(ports->itemText(i));
                a["entries"] = entries;
            } else if (what == "awaitBox") {
                (void)QTest::qWaitFor([this] { return !h.messages.boxes.isEmpty(); }, ms);
            } else if (what == "await") { // until a button's caption or a log holds `text`
                (void)QTest::qWaitFor([&] { return textOf(name).contains(text); }, ms);
            } else if (what == "wait") {
                QTest::qWait(ms);
            } else if (what == "menu") { // an entry of a control's menu, by the Menu key
                QWidget *control = h.get<QWidget>(qPrintable(name));
                const QPoint at = control->rect().center();
                QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, at,
                                          control->mapToGlobal(at));
                QCoreApplication::sendEvent(control, &menuKey);
                QMenu *menu = control->findChild<QMenu *>();
                for (QAction *entry : menu ? menu->actions() : QList<QAction *>{}) {
                    // A checkable entry is set as `ms` says (1: checked); any other is chosen.
                    if (entry->text() == text &&
                        (!entry->isCheckable() || entry->isChecked() != (ms == 1)))
                        entry->trigger();
                    if (entry->text() == text)
                        a["checked"] = entry->isChecked();
                }
                if (menu)
                    menu->close();
            } else if (what == "look") { // the ports as the reopener sees them, and the cost
                QElapsedTimer look;
                look.start();
                QJsonArray ports;
                for (const PortIdentity &p : usbPortIdentities())
                    ports.append(QStringLiteral("%1 %2:%3 %4 %5")
                                     .arg(p.systemName)
                                     .arg(p.vendorId, 4, 16, QLatin1Char('0'))
                                     .arg(p.productId, 4, 16, QLatin1Char('0'))
                                     .arg(p.serialNumber, p.usbPath));
                a["lookMs"] = look.elapsed();
                a["identities"] = ports;
            } else if (what == "watch") { // for the node /dev/`text`, and the port open again
                node.start(text);
                m_reopened = -1;
                m_caption.start();
            } else if (what == "awaitReopen") { // ms from the node's appearing to the port open
                (void)QTest::qWaitFor([this] { return !m_caption.isActive(); }, ms);
                m_caption.stop();
                node.stop();
                a["reopenMs"] = node.at < 0 || m_reopened < 0 ? -1 : m_reopened - node.at;
            } else if (what == "logs") { // a long receive log by its length and digest only
                const QString received = loggedText(*h.receiveLog());
                a["send"] = loggedText(*h.sendLog());
                a["recv"] = received.size() <= 65536 ? received : QString();
                a["recvLength"] = received.size();
                a["recvSha1"] = sha1(received);
            } else if (what == "quit") {
                QCoreApplication::quit();
            } else {
                a["error"] = "no such operation: " + what;
            }
        }
        a["tx"] = h.window->TxCount();
        a["rx"] = h.window->RxCount();
        a["caption"] = h.button("Command1")->text();
        a["pending"] = h.window->findChild<QTimer *>(QStringLiteral("Timer5"))->isActive();
        QJsonArray boxes;
        for (const RecordingMessages::Box &box : std::exchange(h.messages.boxes, {}))
            boxes.append(
                QJsonObject{{"title", box.title}, {"text", box.text}, {"detail", box.detail},
                            {"reason", box.reason}});
        a["boxes"] = boxes;
        a["fds"] = int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System).size() - 2);
        a["heap"] = qint64(mallinfo2().uordblks);
        return a;
    }
    QString textOf(const QString &name) const
    {
        if (auto *log = h.window->findChild<LogView *>(name))
            return shownText(*log);
        return h.button(qPrintable(name))->text();
    }

    Driver()
    {
        m_caption.setInterval(1);
        m_caption.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_caption, &QTimer::timeout, [this] {
            if (h.button("Command1")->text() == QStringLiteral("关闭串口")) {
                m_reopened = NodeWatch::now();
                m_caption.stop();
            }
        });
    }

    // Timer5 lengthened, so that an unplug surely falls while a payload waits.
    static Form1::Services longTimer5()
    {
        Form1::Services services;
        services.payloadDelayMs = 3000;
        return services;
    }
    WindowHarness h{[] { return systemPorts(); }, longTimer5()};
    NodeWatch node;
    QTimer m_caption; // looks every millisecond whether the port is open again
    qint64 m_reopened = -1;
};

// The guest's side: reads operations from its console, answers each on one line.
int runGuest()
{
    Driver driver;
    QByteArray buffer;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    const auto answer = [](const QJsonObject &a) {
        std::printf("@@ %s\n", QJsonDocument(a).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
    };
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0)
            return QCoreApplication::quit();
        buffer.append(chunk, n);
        // The next command comes only after this one's answer.
        for (qsizetype end; (end = buffer.indexOf('\n')) >= 0; buffer.remove(0, end + 1))
            answer(driver.run(QJsonDocument::fromJson(buffer.left(end)).array()));
    });
    answer({{"ready", true}});
    return QCoreApplication::exec();
}

// A window and its line: a simulated module on a pseudo-terminal, which QEMU wires to the
// guest's window or a window here opens, what crossed the line each way since the test last
// cleared it, and the message boxes not looked at yet. The test holds the terminal too, to
// read the line settings QEMU gives it.
struct Side
{
    static SimModule::Options fast()
    {
        SimModule::Options options;
        options.speed = 50; // slow commands in tens of milliseconds
        return options;
    }
    Side()
    {
        QObject::connect(&sim, &SimHost::received, [this](const QByteArray &b) { in += b; });
        QObject::connect(&sim, &SimHost::sent, [this](const QByteArray &b) { out += b; });
    }
    ~Side() { ::close(slave); }
    bool open(QString *error)
    {
        if (!sim.open(error))
            return false;
        slave = ::open(QFile::encodeName(sim.slavePath()), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return slave >= 0;
    }

    DrivenHost sim{fast()};
    int slave = -1;
    QByteArray in, out;
    std::unique_ptr<Driver> local; // none for the guest's window
    QJsonArray boxes;
};

// QEMU's adapter names itself so in its product string; udevd puts that on the tty as a
// desktop does, and Qt shows it. Without udevd the port list shows "ttyUSB0" alone.
const QString kAdapter = QStringLiteral("QEMU USB SERIAL (ttyUSB0)");
const QString kUart = QStringLiteral("ttyS1");
const QString kClose = QStringLiteral("关闭串口");
const QString kAdapterSerial = QStringLiteral("QUORLIN-A1"); // as rig.sh plugs it in
const QString kReopenEntry = QStringLiteral("断开后自动重新打开");
QString waitingNote(const QString &port)
{
    return "（串口 " + port + " 已断开，等待重新连接…）\n";
}
QString reopenedNote(const QString &port)
{
    return "（已重新打开串口 " + port + "）\n";
}
const QString kOpen = QStringLiteral("打开串口");
const char *nameOf(const QString &entry)
{
    return entry == kUart ? "UART" : "USB";
}

void entryRows()
{
    QTest::addColumn<QString>("entry");
    for (const QString &entry : {kUart, kAdapter})
        QTest::newRow(nameOf(entry)) << entry;
}

// Every fixed button, then composed commands (joining a network, a soft access point with
// a Chinese name, a client link) and a payload in GBK.
QList<QPair<QString, QJsonArray>> commandSteps()
{
    QList<QPair<QString, QJsonArray>> steps;
    for (const FixedCommand &command : kFixedCommands)
        steps.append({command.text, {click(command.button)}});
    steps.append({"AT+CWJAP=", {click("Command21")}});
    steps.append({"AT+CWSAP=", {set("Text5", "测试热点"), click("Command14")}});
    steps.append({"AT+CIPSTART=", {click("Command16")}});
    steps.append({"AT发送", {set("Text1", "你好，模块！GBK 负载"), click("Command17")}});
    return steps;
}

// Numbered lines of printable ASCII: a byte lost, doubled or moved shows.
QByteArray floodOf(int bytes)
{
    QByteArray flood;
    for (int line = 0; flood.size() < bytes; ++line)
        flood += QByteArray::number(line).rightJustified(8, '0') +
                 ":ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123\n";
    return flood.left(bytes);
}

// Where two texts part, for a failure message.
QByteArray firstDifference(const QString &actual, const QString &expected)
{
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const QJsonArray around{actual.mid(qMax(0, at - 20), 60), expected.mid(qMax(0, at - 20), 60)};
    return "they part at character " + QByteArray::number(at) + ": " +
           QJsonDocument(around).toJson(QJsonDocument::Compact);
}

} // namespace

#define VERIFY(condition) QVERIFY2(condition, qPrintable(m_why))

class TstVm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { m_uart.boxes = m_usb.boxes = {}; }
    void discovery();
    void lineSettings_data();
    void lineSettings();
    void commandsAsOnAPty_data();
    void commandsAsOnAPty();
    void floodArrivesWhole_data() { entryRows(); }
    void floodArrivesWhole();
    void unplugWhilePayloadWaits();
    void unplugMidFlood();
    void unplugAndReplugTwentyTimes();
    void replugReopensTenTimes();
    void anotherAdapterIsNotTakenForIt();

private:
    // Runs operations on a window and takes its state; false with m_why when that failed.
    bool run(Side &side, const QJsonArray &ops, QJsonObject *answer = nullptr);
    // Opens a port (closing the open one first): a port list entry in the guest, a
    // pseudo-terminal's path here.
    bool open(Side &side, const QString &entry, const QString &speed = "115200",
              const QString &stopBits = "1", QJsonObject *answer = nullptr);
    // Until no payload is pending, the module has had all the window sent, has nothing due,
    // and RxCount has reached all it said: then both logs show everything.
    bool settle(Side &side, int ms = 20000);
    // Empties the logs and the counters, and forgets what crossed the line.
    bool reset(Side &side);
    bool qmp(const QString &command, const QJsonObject &arguments = {});
    // The adapter in and out (QMP's device_add and device_del); unplug waits for the box, or
    // for what `awaited` waits for, and until QEMU has let go of the device `id`.
    bool plug();
    bool unplug(qint64 *toBoxMs = nullptr,
                const QJsonObject &awaited = op("awaitBox", {}, {}, 5000),
                const QString &id = "adapter");
    // Plugs the adapter in and waits for the guest's window to have the port open again:
    // `guestMs` after its node `node` appeared in the guest, `hostMs` after device_add.
    bool plugAndAwaitReopen(const QString &node, qint64 *guestMs, qint64 *hostMs);
    Side &sideOf(const QString &entry) { return entry == kUart ? m_uart : m_usb; }
    void readConsole();

    QTemporaryDir m_dir;
    Side m_uart, m_usb;
    std::unique_ptr<Side> m_local; // the window here the commands are run on as well
    QProcess m_qemu;
    QLocalSocket m_qmp;
    QByteArray m_qmpEvents, m_consoleBytes;
    QStringList m_console; // the guest console's last lines that were no answer
    QList<QJsonObject> m_answers;
    bool m_plugged = true;
    QString m_why;
};

bool TstVm::run(Side &side, const QJsonArray &ops, QJsonObject *answer)
{
    QJsonObject a;
    if (side.local) {
        a = side.local->run(ops);
    } else {
        m_answers.clear();
        m_qemu.write(QJsonDocument(ops).toJson(QJsonDocument::Compact) + '\n');
        if (!QTest::qWaitFor([this] { return !m_answers.isEmpty(); }, 30000)) {
            m_why = "no answer from the guest in 30 s to " +
                    QJsonDocument(ops).toJson(QJsonDocument::Compact) + "; its console:\n" +
                    m_console.join('\n');
            return false;
        }
        a = m_answers.takeFirst();
    }
    for (const QJsonValue &box : a["boxes"].toArray())
        side.boxes.append(box);
    if (answer)
        *answer = a;
    m_why = a["error"].toString();
    return m_why.isEmpty();
}

bool TstVm::open(Side &side, const QString &entry, const QString &speed, const QString &stopBits,
                 QJsonObject *answer)
{
    QJsonObject a;
    if (!run(side, {}, &a) || (a["caption"] == kClose && !run(side, {click("Command1")})))
        return false;
    const QJsonObject choose = side.local ? set("Combo1", entry) : op("pick", {}, entry, 10000);
    if (!run(side, {choose, set("Combo2", speed), set("Combo6", stopBits), click("Command1")}, &a))
        return false;
    if (answer)
        *answer = a;
    m_why = "the port did not open: " + QJsonDocument(a).toJson();
    return a["caption"] == kClose;
}

bool TstVm::settle(Side &side, int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (QJsonObject a;;) {
        if (!run(side, {}, &a))
            return false;
        const QString sent = QString::number(side.out.size());
        if (!a["pending"].toBool() && a["tx"].toString() == QString::number(side.in.size()) &&
            side.sim.idle() && a["rx"].toString() == sent)
            return true;
        if (clock.elapsed() > ms) {
            m_why = QStringLiteral("waited %1 ms for RxCount %2; it shows %3, payload pending: %4")
                        .arg(ms)
                        .arg(sent, a["rx"].toString(), a["pending"].toBool() ? "yes" : "no");
            return false;
        }
        QTest::qWait(20);
    }
}

bool TstVm::reset(Side &side)
{
    side.in.clear();
    side.out.clear();
    return run(side, {click("Command25"), click("Command26"), click("Command27")});
}

bool TstVm::qmp(const QString &command, const QJsonObject &arguments)
{
    const QJsonObject execute{{"execute", command}, {"arguments", arguments}};
    m_qmp.write(QJsonDocument(execute).toJson(QJsonDocument::Compact) + '\n');
    QJsonObject reply;
    // The greeting and events come on the same channel as replies.
    const auto replied = [&] {
        while (m_qmp.canReadLine()) {
            const QByteArray line = m_qmp.readLine();
            reply = QJsonDocument::fromJson(line).object();
            if (reply.contains("return") || reply.contains("error"))
                return true;
            m_qmpEvents += line;
        }
        return false;
    };
    if (QTest::qWaitFor(replied, 10000) && !reply.contains("error"))
        return true;
    m_why = command + ": " + QJsonDocument(reply).toJson(QJsonDocument::Compact);
    return false;
}

bool TstVm::plug()
{
    if (!m_plugged)
        m_plugged = qmp("device_add", {{"driver", "usb-serial"},
                                       {"id", "adapter"},
                                       {"bus", "xhci.0"},
                                       {"chardev", "adapterline"},
                                       {"serial", kAdapterSerial}});
    return m_plugged;
}

bool TstVm::plugAndAwaitReopen(const QString &node, qint64 *guestMs, qint64 *hostMs)
{
    QJsonObject a;
    if (!run(m_usb, {op("watch", {}, node)}))
        return false;
    QElapsedTimer clock;
    clock.start();
    if (!plug() || !run(m_usb, {op("awaitReopen", {}, {}, 10000)}, &a))
        return false;
    *hostMs = clock.elapsed();
    *guestMs = a["reopenMs"].toInteger();
    m_why = "the port was not open again 10 s after the adapter came back: " +
            QJsonDocument(a).toJson(QJsonDocument::Compact);
    return a["caption"] == kClose;
}

bool TstVm::unplug(qint64 *toBoxMs, const QJsonObject &awaited, const QString &id)
{
    // QEMU 7.2 crashes when the adapter's line brings data while the adapter is taken away:
    // first QEMU reads all the module said.
    const auto quiet = [this] {
        int waiting = 0;
        return ::ioctl(m_usb.slave, FIONREAD, &waiting) == 0 && waiting == 0 &&
               m_usb.sim.idle();
    };
    m_why = "the adapter's line never went quiet";
    if (!QTest::qWaitFor(quiet, 5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    m_qmpEvents.clear();
    if (!qmp("device_del", {{"id", id}}) || !run(m_usb, {awaited}))
        return false;
    m_plugged = m_plugged && id != "adapter";
    if (toBoxMs)
        *toBoxMs = clock.elapsed();
    // QEMU lets go of the adapter before it takes a new one by the same name.
    m_why = "QEMU never said the adapter was gone";
    return QTest::qWaitFor(
        [this] { return (m_qmpEvents += m_qmp.readAll()).contains("DEVICE_DELETED"); }, 5000);
}

void TstVm::readConsole()
{
    m_consoleBytes += m_qemu.readAllStandardOutput();
    for (qsizetype end; (end = m_consoleBytes.indexOf('\n')) >= 0;
         m_consoleBytes.remove(0, end + 1)) {
        const QByteArray line = m_consoleBytes.left(end).trimmed();
        if (line.startsWith("@@ "))
            m_answers.append(QJsonDocument::fromJson(line.mid(3)).object());
        else if (m_console.append(QString::fromUtf8(line)); m_console.size() > 40)
            m_console.removeFirst();
    }
}

void TstVm::initTestCase()
{
    if (QStandardPaths::findExecutable("qemu-system-x86_64").isEmpty())
        QSKIP("qemu-system-x86_64 is missing (package qemu-system-x86): the console is not tried "
              "on real serial drivers");
    QVERIFY(m_dir.isValid());
    for (Side *side : {&m_uart, &m_usb}) {
        QString error;
        QVERIFY2(side->open(&error), qPrintable(error));
    }
    connect(&m_qemu, &QProcess::readyReadStandardOutput, this, &TstVm::readConsole);
    m_qemu.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // QEMU goes with the suite, even when a time-out kills it.
    m_qemu.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QElapsedTimer clock;
    clock.start();
    const QString plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms/libqoffscreen.so";
    m_qemu.start("sh",
                 {QUORLIN_VM_RIG, QUORLIN_VM_DIR, QCoreApplication::applicationFilePath(), plugin,
                  m_uart.sim.slavePath(), m_usb.sim.slavePath(), m_dir.filePath("qmp")});
    // The first run fetches the kernel too.
    (void)QTest::qWaitFor(
        [this] { return !m_answers.isEmpty() || m_qemu.state() == QProcess::NotRunning; }, 240000);
    QVERIFY2(
        !m_answers.isEmpty() && m_answers.takeFirst()["ready"].toBool(),
        qPrintable("the guest never said it was ready; its console:\n" + m_console.join('\n')));
    qInfo("the guest's window is ready %lld ms after the start", clock.elapsed());
    m_qmp.connectToServer(m_dir.filePath("qmp"));
    QVERIFY(m_qmp.waitForConnected(5000));
    VERIFY(qmp("qmp_capabilities"));
}

void TstVm::cleanupTestCase()
{
    // Whatever the guest said besides its answers: kernel messages and the program's warnings.
    for (const QString &line : std::as_const(m_console))
        qInfo("guest: %s", qPrintable(line));
    if (m_qemu.state() == QProcess::NotRunning)
        return;
    m_qemu.write(QJsonDocument(QJsonArray{op("quit")}).toJson(QJsonDocument::Compact) + '\n');
    if (!m_qemu.waitForFinished(10000))
        m_qemu.kill();
    m_qemu.waitForFinished();
}

void TstVm::discovery()
{
    QJsonObject a;
    VERIFY(run(m_usb, {op("pick", {}, kAdapter, 10000)}, &a));
    const QStringList entries = a["entries"].toVariant().toStringList();
    qInfo() << "the guest's port list:" << entries;
    QVERIFY(entries.contains(kAdapter));
    QVERIFY(entries.contains(kUart));
}

void TstVm::lineSettings_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<int>("hostSpeed"); // what the pseudo-terminal gets from QEMU; 0: refused
    for (const QString &entry : {kUart, kAdapter}) {
        for (const char *speed : {"2400", "4800", "9600", "19200", "56700", "115200"}) {
            // "56700" is no standard speed: the UART divides 115200 by 2 and runs 57600; the
            // adapter runs 56737, and QEMU gives the terminal the nearest standard, 57600.
            const int host = QByteArray(speed) == "56700" ? 57600 : QByteArray(speed).toInt();
            for (const char *stopBits : {"1", "2"})
                QTest::addRow("%s %s %s", nameOf(entry), speed, stopBits)
                    << entry << speed << stopBits << host;
        }
        QTest::addRow("%s 1.5 refused", nameOf(entry)) << entry << "115200"
                                                       << "1.5" << 0;
    }
}

void TstVm::lineSettings()
{
    QFETCH(QString, entry);
    QFETCH(QString, speed);
    QFETCH(QString, stopBits);
    QFETCH(int, hostSpeed);
    Side &side = sideOf(entry);
    termios before{}, t{};
    QCOMPARE(tcgetattr(side.slave, &before), 0);
    QJsonObject a;
    const bool opened = open(side, entry, speed, stopBits, &a);
    QCOMPARE(tcgetattr(side.slave, &t), 0);
    if (hostSpeed == 0) {
        // Refused before the driver is asked, with the reason a pseudo-terminal gets.
        QVERIFY(!opened);
        QCOMPARE(a["caption"].toString(), kOpen);
        QCOMPARE(side.boxes.size(), 1);
        const QJsonObject box = side.boxes[0].toObject();
        QCOMPARE(box["text"].toString(), "串口 " + entry + " 不存在或被占用!");
        PtyWindow pty;
        pty.combo("Combo6")->setEditText(stopBits);
        QVERIFY(!pty.open());
        const QString device = "/dev/" + entry.section('(', -1).remove(')');
        QCOMPARE(box["reason"].toString().replace(device, "<port>"),
                 pty.messages.boxes.value(0).reason.replace(pty.pty.slavePath(), "<port>"));
        QCOMPARE(t.c_cflag, before.c_cflag);
        QCOMPARE(cfgetospeed(&t), cfgetospeed(&before));
        return;
    }
    VERIFY(opened);
    const QMap<speed_t, int> speeds{{B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                                    {B19200, 19200}, {B57600, 57600}, {B115200, 115200}};
    QCOMPARE(speeds.value(cfgetospeed(&t)), hostSpeed);
    QCOMPARE(bool(t.c_cflag & CSTOPB), stopBits == "2");
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(bool(t.c_cflag & PARENB), false);
    VERIFY(run(side, {click("Command1")}, &a));
    QCOMPARE(a["caption"].toString(), kOpen);
    QCOMPARE(side.boxes.size(), 0);
}

void TstVm::commandsAsOnAPty_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("step");
    for (const QString &entry : {kUart, kAdapter}) {
        const auto steps = commandSteps();
        for (int i = 0; i < steps.size(); ++i)
            QTest::addRow("%s %s", nameOf(entry), qPrintable(steps[i].first)) << entry << i;
    }
}

void TstVm::commandsAsOnAPty()
{
    QFETCH(QString, entry);
    QFETCH(int, step);
    const auto steps = commandSteps();
    Side &side = sideOf(entry);
    if (step == 0) { // a fresh module and window here, and the port open on both sides
        m_local = std::make_unique<Side>();
        m_local->local = std::make_unique<Driver>();
        QString error;
        QVERIFY2(m_local->open(&error), qPrintable(error));
        VERIFY(open(*m_local, m_local->sim.slavePath()) && open(side, entry));
        VERIFY(reset(*m_local) && reset(side));
    }
    QJsonObject l, r;
    for (Side *s : {&side, m_local.get()})
        VERIFY(run(*s, steps[step].second) && settle(*s));
    VERIFY(run(side, {op("logs")}, &r) && run(*m_local, {op("logs")}, &l));
    // The console wrote the same bytes as over a pseudo-terminal, the module answered the
    // same, and the window shows and counts the same.
    QVERIFY2(side.in == m_local->in,
             firstDifference(QString::fromLatin1(side.in), QString::fromLatin1(m_local->in)));
    QVERIFY2(side.out == m_local->out,
             firstDifference(QString::fromLatin1(side.out), QString::fromLatin1(m_local->out)));
    for (const char *log : {"send", "recv"})
        QVERIFY2(r[log] == l[log], firstDifference(r[log].toString(), l[log].toString()));
    QCOMPARE(r["tx"].toString(), QString::number(side.in.size()));
    QCOMPARE(r["rx"].toString(), QString::number(side.out.size()));
    QCOMPARE(side.boxes.size(), 0);
    if (step == steps.size() - 1)
        VERIFY(run(side, {click("Command1")}));
}

void TstVm::floodArrivesWhole()
{
    QFETCH(QString, entry);
    Side &side = sideOf(entry);
    VERIFY(open(side, entry) && reset(side));
    const QByteArray flood = floodOf(1 << 20);
    QElapsedTimer clock;
    clock.start();
    side.sim.flood(flood);
    side.out = flood;
    VERIFY(settle(side, 300000));
    qInfo("%s: 1 MiB in %lld ms", nameOf(entry), clock.elapsed());
    QJsonObject a;
    VERIFY(run(side, {op("logs"), click("Command1")}, &a));
    QCOMPARE(a["rx"].toString(), QString::number(flood.size()));
    QCOMPARE(a["recvLength"].toInt(), flood.size());
    QCOMPARE(a["recvSha1"].toString(), sha1(QString::fromLatin1(flood)));
    QCOMPARE(side.boxes.size(), 0);
}

void TstVm::unplugWhilePayloadWaits()
{
    // A restart closes the module's link, so it refuses the announcement and takes no later
    // line as a payload. The guest's Timer5 is long, so that the unplug surely falls within it.
    QJsonObject a;
    VERIFY(plug() && open(m_usb, kAdapter) && run(m_usb, {click("Command3")}) && settle(m_usb));
    VERIFY(reset(m_usb) && run(m_usb, {set("Text1", "拔出后不发送"), click("Command17")}, &a));
    QVERIFY(a["pending"].toBool());
    const QString sent = a["tx"].toString();
    QVERIFY2(QTest::qWaitFor([&] { return QString::number(m_usb.in.size()) == sent; }, 5000),
             "the announcement never reached the module");
    VERIFY(unplug());
    QTest::qWait(3500);
    VERIFY(run(m_usb, {op("logs")}, &a));
    QVERIFY(!a["pending"].toBool());
    QCOMPARE(a["tx"].toString(), sent);
    QCOMPARE(m_usb.in, QByteArray("AT+CIPSEND=12\r\n"));
    QCOMPARE(a["send"].toString(), QStringLiteral("AT+CIPSEND=12\n"));
    QCOMPARE(m_usb.boxes.size(), 1);
}

void TstVm::unplugMidFlood()
{
    VERIFY(plug() && open(m_usb, kAdapter) && reset(m_usb));
    const QByteArray flood = floodOf(8 << 20);
    m_usb.sim.flood(flood);
    QJsonObject a;
    QVERIFY2(QTest::qWaitFor(
                 [&] { return run(m_usb, {}, &a) && a["rx"].toString().toInt() > 65536; }, 30000),
             qPrintable("the flood never came: " + m_why));
    // The module stops, and what QEMU has not read yet is dropped (see unplug()); what QEMU
    // holds is still on its way to the console as the adapter goes.
    m_usb.sim.cut();
    tcflush(m_usb.slave, TCIFLUSH);
    VERIFY(unplug() && run(m_usb, {op("logs")}, &a));
    const int counted = a["rx"].toString().toInt();
    qInfo("unplugged after %d bytes of the flood", counted);
    QVERIFY(counted < flood.size());
    QCOMPARE(a["recvLength"].toInt(), counted);
    QCOMPARE(a["recvSha1"].toString(), sha1(QString::fromLatin1(flood.left(counted))));
    QCOMPARE(m_usb.boxes.size(), 1);
}

void TstVm::unplugAndReplugTwentyTimes()
{
    QList<int> fds;
    QStringList heap, toBox;
    QString detail;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= 20; ++cycle) {
        // Plugged in (again): "扫描" lists it, it opens, and "测试AT" gets OK.
        QJsonObject before, a;
        VERIFY(plug() && run(m_usb, {}, &before) && open(m_usb, kAdapter) && reset(m_usb) &&
               run(m_usb, {click("Command5")}) && settle(m_usb) && run(m_usb, {op("logs")}, &a));
        QCOMPARE(m_usb.in, QByteArray("AT\r\n"));
        QCOMPARE(a["recv"].toString(), QStringLiteral("AT\n\nOK\n"));
        heap.append(QString::number(a["heap"].toInteger()));
        // Pulled out while open: the loss box names the port as opened, and nothing of it
        // stays open.
        qint64 ms = 0;
        VERIFY(unplug(&ms) && run(m_usb, {}, &a));
        toBox.append(QString::number(ms));
        QCOMPARE(m_usb.boxes.size(), 1);
        const QJsonObject box = std::exchange(m_usb.boxes, {})[0].toObject();
        detail = box["detail"].toString();
        QCOMPARE(box["title"].toString(), QStringLiteral("错误提示！"));
        QCOMPARE(box["text"].toString(), "串口 " + kAdapter + " 已断开!");
        QVERIFY2(detail.startsWith("设备 /dev/ttyUSB0 已不存在"), qPrintable(detail));
        QCOMPARE(a["caption"].toString(), kOpen);
        QCOMPARE(a["fds"].toInt(), before["fds"].toInt());
        QVERIFY2(ms <= 1000, qPrintable(QStringLiteral("the box came %1 ms after").arg(ms)));
        fds.append(a["fds"].toInt());
    }
    qInfo("20 cycles in %lld ms; the box after device_del in ms: %s; descriptors after each loss "
          "%d to %d; heap in use while open: %s; the box's details: %s",
          clock.elapsed(), qPrintable(toBox.join(' ')), fds.first(), fds.last(),
          qPrintable(heap.join(' ')), qPrintable(detail));
    QCOMPARE(fds.last(), fds.first());
    QVERIFY2(qAbs(heap.last().toLongLong() - heap.first().toLongLong()) < 4096, "the heap grew");
}

void TstVm::replugReopensTenTimes()
{
    // With "断开后自动重新打开" on, the adapter pulled out and put back answers "测试AT" again
    // with no click on the open button, and no box.
    QJsonObject a, b;
    VERIFY(plug() && open(m_usb, kAdapter) &&
           run(m_usb, {op("menu", "Command1", kReopenEntry, 1)}, &a));
    QVERIFY(a["checked"].toBool());
    // What tells the adapter apart, as the guest reads it, and what one look at them costs.
    VERIFY(run(m_usb, {op("look")}, &a) && run(m_usb, {op("look")}, &b));
    const QStringList ports = a["identities"].toVariant().toStringList();
    qInfo("the guest's USB adapters: %s; one look %lld ms, then %lld ms",
          qPrintable(ports.join(", ")), a["lookMs"].toInteger(), b["lookMs"].toInteger());
    // Its USB path names the xHCI socket QEMU plugged it into last.
    QVERIFY2(ports.size() == 1 &&
                 QRegularExpression("^ttyUSB0 0403:6001 " + kAdapterSerial + " 1-\\d+:1\\.0$")
                     .match(ports[0])
                     .hasMatch(),
             qPrintable(ports.join(", ")));
    QList<int> fds;
    QStringList heap, toNote, guestTimes, hostTimes;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= 10; ++cycle) {
        VERIFY(reset(m_usb) && run(m_usb, {click("Command5")}) && settle(m_usb) &&
               run(m_usb, {op("logs")}, &a));
        QCOMPARE(m_usb.in, QByteArray("AT\r\n"));
        QCOMPARE(a["recv"].toString(), QStringLiteral("AT\n\nOK\n"));
        heap.append(QString::number(a["heap"].toInteger()));
        fds.append(a["fds"].toInt());

        qint64 ms = 0, guestMs = 0, hostMs = 0;
        VERIFY(unplug(&ms, op("await", "Text3", waitingNote("ttyUSB0"), 5000)) &&
               run(m_usb, {op("logs")}, &a));
        toNote.append(QString::number(ms));
        QCOMPARE(a["recv"].toString(), "AT\n\nOK\n" + waitingNote("ttyUSB0"));
        QCOMPARE(a["caption"].toString(), kOpen);
        VERIFY(plugAndAwaitReopen("ttyUSB0", &guestMs, &hostMs) && run(m_usb, {op("logs")}, &a));
        guestTimes.append(QString::number(guestMs));
        hostTimes.append(QString::number(hostMs));
        QCOMPARE(a["recv"].toString(),
                 "AT\n\nOK\n" + waitingNote("ttyUSB0") + reopenedNote("ttyUSB0"));
        QCOMPARE(m_usb.boxes.size(), 0);
    }
    qInfo("10 cycles in %lld ms; the note after device_del in ms: %s; the port open again after "
          "its node appeared in the guest, ms: %s; after device_add, ms: %s; descriptors while "
          "open %d to %d; heap in use while open: %s",
          clock.elapsed(), qPrintable(toNote.join(' ')), qPrintable(guestTimes.join(' ')),
          qPrintable(hostTimes.join(' ')), fds.first(), fds.last(), qPrintable(heap.join(' ')));
    // The first cycle's port was opened by a click, the others reopened: from the second on.
    QCOMPARE(fds.last(), fds[1]);
    QVERIFY2(qAbs(heap.last().toLongLong() - heap[1].toLongLong()) < 4096, "the heap grew");
}

void TstVm::anotherAdapterIsNotTakenForIt()
{
    // While the adapter is out, another one (another serial number) comes as ttyUSB0: it is
    // left alone. The adapter then comes back as ttyUSB1 and is opened under that name.
    QJsonObject a;
    VERIFY(plug() && open(m_usb, kAdapter) &&
           run(m_usb, {op("menu", "Command1", kReopenEntry, 1)}, &a));
    VERIFY(reset(m_usb) && unplug(nullptr, op("await", "Text3", waitingNote("ttyUSB0"), 5000)));
    const QJsonObject ringBuffer{{"type", "ringbuf"}, {"data", QJsonObject{}}};
    VERIFY(qmp("chardev-add", {{"id", "spare"}, {"backend", ringBuffer}}) &&
           qmp("device_add", {{"driver", "usb-serial"},
                              {"id", "other"},
                              {"bus", "xhci.0"},
                              {"chardev", "spare"},
                              {"serial", "QUORLIN-B2"}}));
    VERIFY(run(m_usb, {op("pick", {}, kAdapter, 10000), op("wait", {}, {}, 2000), op("logs")}, &a));
    QVERIFY2(a["entries"].toVariant().toStringList().contains(kAdapter),
             "the other adapter never showed as ttyUSB0");
    QCOMPARE(a["caption"].toString(), kOpen);
    QCOMPARE(a["recv"].toString(), waitingNote("ttyUSB0"));

    qint64 guestMs = 0, hostMs = 0;
    VERIFY(plugAndAwaitReopen("ttyUSB1", &guestMs, &hostMs) && run(m_usb, {click("Command5")}) &&
           settle(m_usb) && run(m_usb, {op("logs")}, &a));
    qInfo("open again as ttyUSB1 %lld ms after its node appeared in the guest, %lld ms after "
          "device_add",
          guestMs, hostMs);
    QCOMPARE(a["recv"].toString(), waitingNote("ttyUSB0") + reopenedNote("ttyUSB1") + "AT\n\nOK\n");
    QCOMPARE(m_usb.boxes.size(), 0);

    // As it was: the entry off, the port closed, the other adapter gone, ours as ttyUSB0.
    VERIFY(run(m_usb, {op("menu", "Command1", kReopenEntry, 0), click("Command1")}, &a));
    QVERIFY(!a["checked"].toBool());
    const QJsonObject closed = op("await", "Command1", kOpen, 5000);
    VERIFY(unplug(nullptr, closed, "other") && qmp("chardev-remove", {{"id", "spare"}}) &&
           unplug(nullptr, closed) && plug() && open(m_usb, kAdapter) &&
           run(m_usb, {click("Command1")}));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (app.arguments().contains("--guest"))
        return runGuest();
    TstVm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_vm.moc"
