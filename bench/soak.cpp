// A long run of the real window against the simulated module: every command button is
// clicked and payloads are sent, over and over, with the logs cleared, the ports rescanned
// and the port closed and opened again along the way. At the end it prints the commands
// sent, the bytes both counters show against what the module itself counted, memory and
// open file handles. Exits non-zero only when the counts differ or a message box came up;
// memory and handle figures are printed, never judged.
//
//   soak [--minutes N] [--seconds N] [--pace MS] [--speed S]
//
// The window runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "benchreport.h"
#include "drivenhost.h"
#include "windowharness.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdarg>
#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

// The heap in use, in MB: what the program holds, as against what stays resident.
double heapMb()
{
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

int openHandles()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// The command buttons in an order that walks the module through its states: modes,
// scanning, joining, the soft access point, single and multiple links, a server, a
// client, transfer modes, a restart and the update.
const char *const kButtons[] = {
    "Command5",  "Command6",  "Command19", "Command4",  "Command7",  "Command21",
    "Command18", "Command9",  "Command14", "Command11", "Command10", "Command16",
    "Command17", "Command2",  "Command22", "Command23", "Command12", "Command15",
    "Command13", "Command20", "Command8",  "Command3",  "Command24",
};

// What the input box holds for the free-form sends, in turn.
const char16_t *const kPayloads[] = {
    u"hello",
    u"模块测试：你好，世界",
    u"first line\nsecond line\n",
    u"AT",
    u"0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz"
    u"0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz",
    u"  blanks around  ",
};

struct Soak
{
    DrivenHost sim;
    std::unique_ptr<WindowHarness> rig; // the window, once the module is there to list
    quint64 toModule = 0;
    quint64 fromModule = 0;
    quint64 linesToModule = 0;
    quint64 commands = 0;
    quint64 payloads = 0;
    int reopened = 0;
    QStringList skipped; // buttons left out, to tell where a figure comes from

    explicit Soak(const SimModule::Options &options) : sim(options)
    {
        QObject::connect(&sim, &SimHost::received, [this](const QByteArray &b) {
            toModule += quint64(b.size());
            linesToModule += quint64(b.count('\n'));
        });
        QObject::connect(&sim, &SimHost::sent,
                         [this](const QByteArray &b) { fromModule += quint64(b.size()); });
    }

    void click(const char *name) { rig->click(name); }

    bool start()
    {
        QString error;
        if (!sim.open(&error)) {
            say("soak: the simulated module could not start: %s\n", qPrintable(error));
            return false;
        }
        const QString path = sim.slavePath();
        rig = std::make_unique<WindowHarness>(
            QList<PortEntry>{{path, QStringLiteral("ESP8266 模拟模块 (") + path + u')'}});
        rig->messages.seen = printBox;
        rig->window->show();
        if (!QTest::qWaitForWindowExposed(rig->window.get()))
            say("soak: (the window was not exposed)\n");
        click("Command1");
        if (!rig->link.isOpen()) {
            say("soak: the window could not open %s\n", qPrintable(path));
            return false;
        }
        return true;
    }

    quint64 txCount() const { return rig->window->TxCount().toULongLong(); }
    quint64 rxCount() const { return rig->window->RxCount().toULongLong(); }

    // Waits until the module has nothing more to say and the window has counted all of it.
    bool settle(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < timeoutMs) {
            QTest::qWait(20);
            if (sim.idle() && rxCount() == fromModule && txCount() == toModule)
                return true;
        }
        return false;
    }

    // One round of every button, the free-form sends included.
    void round(int pace, int index)
    {
        const QString payload = QString::fromUtf16(kPayloads[index % std::size(kPayloads)]);
        rig->get<QPlainTextEdit>("Text1")->setPlainText(payload);
        for (const char *button : kButtons) {
            if (skipped.contains(QLatin1String(button)))
                continue;
            if (!rig->link.isOpen())
                return;
            click(button);
            ++commands;
            if (qstrcmp(button, "Command17") == 0 || qstrcmp(button, "Command2") == 0)
                ++payloads;
            // A payload follows its announcement after 500 ms; let it go before the box
            // changes.
            QTest::qWait(qstrcmp(button, "Command17") == 0 ? 550 : pace);
        }
        // The logs would otherwise grow without end; the counters are left alone.
        click("Command25");
        click("Command26");
        click("Command28");
    }

    // Closes the port and opens it again, once nothing is on its way.
    void reopen()
    {
        if (!settle(20000))
            return;
        click("Command1");
        QTest::qWait(20);
        click("Command1");
        ++reopened;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    double seconds = 10 * 60;
    int pace = 40;
    double speed = 20;
    qint64 reportEvery = 60000;
    QStringList skipped;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--minutes") && hasValue)
            seconds = args[++i].toDouble() * 60;
        else if (a == QLatin1String("--seconds") && hasValue)
            seconds = args[++i].toDouble();
        else if (a == QLatin1String("--pace") && hasValue)
            pace = args[++i].toInt();
        else if (a == QLatin1String("--speed") && hasValue)
            speed = args[++i].toDouble();
        else if (a == QLatin1String("--report") && hasValue)
            reportEvery = qMax(1000, int(args[++i].toDouble() * 1000));
        else if (a == QLatin1String("--skip") && hasValue)
            skipped.append(args[++i]);
        else {
            say("usage: soak [--minutes N] [--seconds N] [--pace MS] [--speed S] [--report S]\n"
                "            [--skip CommandN]...\n"
                "  --minutes N  how long to run (10)\n"
                "  --pace MS    wait after each click (40)\n"
                "  --speed S    the simulated module's speed-up of its slow commands (20)\n"
                "  --report S   a progress line every S seconds (60)\n"
                "  --skip NAME  leave a button out (e.g. Command3, the restart, whose boot\n"
                "               noise shows ever new characters)\n");
            return a == QLatin1String("--help") ? 0 : 2;
        }
    }

    SimModule::Options options;
    options.speed = speed;
    Soak soak(options);
    soak.skipped = skipped;
    if (!soak.start())
        return 1;
    if (!skipped.isEmpty())
        say("soak: leaving out %s\n", qPrintable(skipped.join(u' ')));
    say("soak: %.1f min against the simulated module on %s (speed %g, %d ms between clicks)\n",
        seconds / 60, qPrintable(soak.sim.slavePath()), speed, pace);

    // One round first, so that what is allocated once (fonts, buffers) is not counted as
    // growth.
    soak.round(pace, 0);
    soak.settle(20000);
    const double rssStart = statusMb("VmRSS");
    const int handlesStart = openHandles();
    const double heapStart = heapMb();

    QElapsedTimer clock;
    clock.start();
    int rounds = 0;
    qint64 nextReport = reportEvery;
    while (clock.elapsed() < qint64(seconds * 1000) && soak.rig->link.isOpen()) {
        soak.round(pace, ++rounds);
        if (rounds % 10 == 0)
            soak.reopen();
        if (clock.elapsed() >= nextReport) {
            say("  %.1f min: %llu commands, resident %.1f MB, heap %.1f MB, %d handles\n",
                clock.elapsed() / 60000.0, soak.commands, statusMb("VmRSS"), heapMb(),
                openHandles());
            nextReport += reportEvery;
        }
    }
    const bool settled = soak.settle(30000);
    const double rssEnd = statusMb("VmRSS");
    const int handlesEnd = openHandles();
    const double heapEnd = heapMb();

    const quint64 tx = soak.txCount();
    const quint64 rx = soak.rxCount();
    const bool sentEqual = tx == soak.toModule;
    const bool receivedEqual = rx == soak.fromModule;
    say("soak: %.1f min, %d rounds of every button, port closed and opened again %d times\n",
        clock.elapsed() / 60000.0, rounds, soak.reopened);
    say("  commands sent:  %llu (%llu of them free-form sends); lines the module got: %llu\n",
        soak.commands, soak.payloads, soak.linesToModule);
    say("  bytes sent:     window %llu, module got %llu: %s\n", tx, soak.toModule,
        sentEqual ? "equal" : "DIFFERENT");
    say("  bytes received: window %llu, module sent %llu: %s\n", rx, soak.fromModule,
        receivedEqual ? "equal" : "DIFFERENT");
    say("  memory:         resident %.1f MB after the first round, %.1f MB at the end "
        "(growth %+.1f MB); peak %.1f MB\n",
        rssStart, rssEnd, rssEnd - rssStart, statusMb("VmHWM"));
    say("  heap in use:    %.1f MB after the first round, %.1f MB at the end (growth %+.1f MB)\n",
        heapStart, heapEnd, heapEnd - heapStart);
    say("  file handles:   %d after the first round, %d at the end\n", handlesStart, handlesEnd);
    say("  message boxes:  %d%s\n", int(soak.rig->messages.boxes.size()),
        settled ? "" : " (the line did not settle within 30 s)");
    return sentEqual && receivedEqual && soak.rig->messages.boxes.size() == 0 ? 0 : 1;
}
