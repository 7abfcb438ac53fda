// Speed of the window's receive path, of copying and saving a large log, and of a button
// click with a large send log.
//
// The real window runs offscreen with the real serial link on a pseudo-terminal; a
// writer thread plays the module as fast as the window reads. Prints figures only.
//
//   bench_receive            all phases at full size, each in a process of its own
//   bench_receive --quick    the same with 5 MB, in a few seconds
//   bench_receive --phase lines|stream|clicks|actions [--mb N] [--clicks N] [--minutes M]
//                 [--hold M] [--view stamps|hex] [--record]
//                            --minutes spreads the data over M minutes; --hold keeps the
//                            full log M minutes more and reads the memory again; the
//                            receive log with time stamps or in hex; or recorded into a
//                            file ("记录到文件…") while the bytes flood in
//   bench_receive --views [--mb N]
//                            the lines phase plain, with time stamps, in hex and recorded,
//                            each in a process of its own, and a table of them side by side
//   xvfb-run bench_receive --phase xcopy [--mb N] [--reference]
//                            a copy of the whole receive log in a real X server
//   xvfb-run bench_receive --phase xactions [--mb N]
//                            a person's actions on a large receive log in a real X server

#include "logtext.h"
#include "logactions.h"
#include "rawpty.h"
#include "stallprobe.h"
#include "streamwriter.h"
#include "xclipboardcopy.h"

#include "benchreport.h"
#include "logview.h"
#include "receivetext.h"
#include "windowharness.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint64 kMB = 1000 * 1000;
constexpr quint64 kProgressStep = 10 * kMB;
constexpr qint64 kGiveUpNs = 600'000'000'000; // a run that takes ten minutes has collapsed

// The real window, shown offscreen, with the real serial link; message boxes are printed.
struct Window : ShownWindow
{
    bool open(const RawPty &pty) { return openPath(pty.slavePath()); }
    quint64 rxCount() const { return window->RxCount().toULongLong(); }
};

// What the log holds, read through its text: its characters apart from line breaks
// (count and hash, in order) and its line breaks; and the rows it shows, the longest one.
struct LogContents
{
    quint64 chars = 0;
    quint64 hash = StreamWriter::kHashSeed;
    quint64 breaks = 0;
    qsizetype longestRow = 0;
    qsizetype length = 0;
};

// What a text shows apart from line breaks (count and hash, in order) and its line breaks,
// as StreamWriter works them out for what it sends.
StreamWriter::Expected countShown(QStringView text)
{
    StreamWriter::Expected c;
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\n')) {
            ++c.breaks;
            continue;
        }
        c.hash = StreamWriter::hashStep(c.hash, ch.unicode());
        ++c.chars;
    }
    return c;
}

LogContents readLog(LogView *log)
{
    LogContents c;
    const QString text = shownText(*log);
    c.length = text.size();
    const StreamWriter::Expected counted = countShown(text);
    c.chars = counted.chars;
    c.hash = counted.hash;
    c.breaks = counted.breaks;
    // Rows are separated by line separators inside a block, blocks by paragraph breaks.
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        for (const QStringView row : QStringView(block.text()).split(QChar::LineSeparator))
            c.longestRow = std::max(c.longestRow, row.size());
    }
    return c;
}

// CPU time of the calling thread (the window's), in seconds.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) : QObject(widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

const char *yesNo(bool ok)
{
    return ok ? "ok" : "MISMATCH";
}

// Copies the whole log as a user does (Ctrl+A, Ctrl+C) and reads the clipboard back, as a
// program pasting it would; the copy must hold exactly the characters and line breaks that
// came in.
bool timeCopy(LogView *log, const StreamWriter::Expected &expected)
{
    log->setFocus();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    const qint64 copyNs = timer.nsecsElapsed();
    const QString copied = QGuiApplication::clipboard()->text();
    const qint64 totalNs = timer.nsecsElapsed();

    const StreamWriter::Expected counted = countShown(copied);
    const quint64 chars = counted.chars;
    const quint64 breaks = counted.breaks;
    const quint64 hash = counted.hash;
    const bool ok = chars == expected.chars && hash == expected.hash && breaks == expected.breaks;
    say("  RESULT copy of the whole log (Ctrl+A, Ctrl+C, clipboard read back): %.2f s (%.2f s "
        "to copy, %.2f s to read); %lld characters, peak memory %.0f MB\n",
        totalNs / 1e9, copyNs / 1e9, (totalNs - copyNs) / 1e9, qlonglong(copied.size()),
        statusMb("VmHWM"));
    say("  check: copied characters %llu, in order: %s; copied line breaks %llu, sent %llu: %s\n",
        chars, yesNo(chars == expected.chars && hash == expected.hash), breaks, expected.breaks,
        yesNo(breaks == expected.breaks));
    return ok;
}

// Saves the whole log as a user does (right-click, "保存为文件…") to a file on disk, and reads
// it back: it must hold exactly the characters and line breaks that came in. The window
// takes the log's text, then writes it beside its own work: the first part is how long it
// is busy, the whole until the file is complete on disk is the save.
bool timeSave(Window &window, LogView *log, const StreamWriter::Expected &expected)
{
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench-save-XXXXXX")));
    window.savePath = dir.filePath(QStringLiteral("log.txt"));
    QMenu *menu = openContextMenu(log);
    QAction *save = menu ? menuEntry(menu, QStringLiteral("保存为文件…")) : nullptr;
    if (!dir.isValid() || !save) {
        say("  could not save: no folder or no context menu\n");
        return false;
    }
    // The copy timed before holds the whole text once more; let it go, so the save is timed
    // as for a person who did not copy the log first.
    QGuiApplication::clipboard()->clear();
    log->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    const qsizetype boxesBefore = window.messages.boxes.size();
    qint64 savedNs = -1;
    QElapsedTimer timer;
    QObject::connect(window.window.get(), &Form1::logSaved, window.window.get(),
                     [&] { savedNs = timer.nsecsElapsed(); });
    StallProbe probe([&] {
        if (savedNs >= 0 || timer.nsecsElapsed() > kGiveUpNs)
            QCoreApplication::quit();
    });
    timer.start();
    save->trigger();
    const qint64 busyNs = timer.nsecsElapsed();
    menu->close();
    probe.start();
    if (savedNs < 0)
        QCoreApplication::exec();
    probe.stop();
    const double peakMb = statusMb("VmHWM");

    QFile file(window.savePath);
    const qint64 bytes = file.size();
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    const StreamWriter::Expected counted = countShown(text);
    const quint64 chars = counted.chars;
    const quint64 breaks = counted.breaks;
    const quint64 hash = counted.hash;
    const bool ok = window.messages.boxes.size() == boxesBefore && chars == expected.chars &&
                    hash == expected.hash && breaks == expected.breaks;
    say("  RESULT save of the whole log (\"保存为文件…\", to disk): %.2f s until the file is "
        "complete; the window busy %.2f s taking the text, then its worst stall %.1f ms while "
        "the file was written; %.1f MB written; peak memory %.0f MB\n",
        savedNs / 1e9, busyNs / 1e9, probe.worstMs(), bytes / 1e6, peakMb);
    say("  check: saved characters %llu, in order: %s; saved line breaks %llu, sent %llu: %s\n",
        chars, yesNo(chars == expected.chars && hash == expected.hash), breaks, expected.breaks,
        yesNo(breaks == expected.breaks));
    return ok;
}

// Resident memory for each character the log holds: all of it, and what came after the
// memory the window held before anything was received.
void sayMemory(const char *label, const char *when, double rssBefore, qsizetype chars)
{
    const double rss = statusMb("VmRSS");
    const double per = 1048576.0 / double(qMax<qsizetype>(1, chars));
    say("  RESULT %s: memory %s %.0f MB resident for %lld characters in the log = %.2f bytes "
        "per logged character (%.2f for what came after the %.0f MB before)\n",
        label, when, rss, qlonglong(chars), rss * per, (rss - rssBefore) * per, rssBefore);
}

// How the receive log shows the bytes, and whether it is recorded into a file meanwhile.
struct View
{
    QString shown; // "", "stamps" or "hex"
    bool record = false;
};

// The log as the plain text view would have shown the same bytes: the time stamps taken
// off the line starts, or the hex read back into bytes and shown as text.
QString asPlainText(const QString &shown, const QString &view)
{
    if (view.isEmpty())
        return shown;
    QString plain;
    ReceiveText text;
    QByteArray bytes;
    for (QStringView line : QStringView(shown).split(QLatin1Char('\n'))) {
        if (view == QLatin1String("stamps")) {
            if (!plain.isEmpty() || !line.isEmpty()) {
                plain += line.mid(15);
                plain += QLatin1Char('\n');
            }
            continue;
        }
        for (QStringView pair : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            bytes.append(char(pair.toUShort(nullptr, 16)));
    }
    if (view == QLatin1String("stamps")) {
        plain.chop(1);
        return plain;
    }
    return text.feed(bytes);
}

// A phase with a view or a recording: the log, read back as the plain view would have shown
// the bytes, holds every character and break in order; a recorded file holds the log.
bool checkView(Window &window, LogView *log, const View &view,
               const StreamWriter::Expected &expected)
{
    const QString shown = shownText(*log);
    const QString plain = asPlainText(shown, view.shown);
    const StreamWriter::Expected counted = countShown(plain);
    const quint64 chars = counted.chars;
    const quint64 breaks = counted.breaks;
    const quint64 hash = counted.hash;
    bool ok = chars == expected.chars && hash == expected.hash && breaks == expected.breaks;
    say("  check: the log read back as plain text: characters %llu, expected %llu, in order, "
        "line breaks %llu, sent %llu: %s\n",
        chars, expected.chars, breaks, expected.breaks, yesNo(ok));
    if (view.record) {
        QElapsedTimer stopping;
        stopping.start();
        const bool stopped = chooseMenuEntry(log, QStringLiteral("停止记录到文件"));
        const double stopMs = stopping.nsecsElapsed() / 1e6;
        const QByteArray file = [&] {
            QFile f(window.savePath);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        const bool same = stopped && file == shown.toUtf8() && window.messages.boxes.isEmpty();
        say("  check: the recorded file, %.1f MB, holds the log exactly: %s (stopping it took "
            "%.1f ms)\n",
            file.size() / 1e6, yesNo(same), stopMs);
        ok = ok && same;
    }
    say("  CHECK %s: %s\n",
        qPrintable(view.shown.isEmpty() ? QStringLiteral("recorded") : view.shown),
        ok ? "no character lost or reordered" : "FAILED");
    return ok;
}

int runReceive(StreamWriter::Kind kind, quint64 megabytes, const View &view = {},
               double minutes = 0, double holdMinutes = 0)
{
    const bool lines = kind == StreamWriter::Kind::Lines;
    QByteArray labelText = lines ? "(a) CR LF lines" : "(b) no line breaks";
    if (!view.shown.isEmpty())
        labelText += view.shown == QLatin1String("hex") ? ", in hex" : ", with time stamps";
    if (view.record)
        labelText += ", recorded into a file";
    const char *label = labelText.constData();
    say("%s, %llu MB\n", label, megabytes);

    RawPty pty(RawPty::Master::Blocking);
    if (!pty.isValid()) {
        say("  no pseudo-terminal\n");
        return 1;
    }
    StreamWriter writer;
    if (!writer.prepare(kind, megabytes * kMB)) {
        say("  could not prepare the data file\n");
        return 1;
    }
    const StreamWriter::Expected expected = writer.expected();
    say("  data: %llu bytes, %llu characters and %llu line breaks to show\n", expected.bytes,
        expected.chars, expected.breaks);
    writer.setDuration(minutes * 60);
    if (minutes > 0)
        say("  written evenly over %.1f minutes\n", minutes);
    const qint64 giveUpNs = kGiveUpNs + qint64(minutes * 60e9);

    Window window;
    if (!window.open(pty)) {
        say("  the window could not open %s\n", qPrintable(pty.slavePath()));
        return 1;
    }
    LogView *log = window.get<LogView>("Text3");
    QTextDocument *doc = log->document();
    QTemporaryDir recordDir(QDir::current().filePath(QStringLiteral("bench-record-XXXXXX")));
    window.savePath = recordDir.filePath(QStringLiteral("record.txt"));
    if ((view.shown == QLatin1String("stamps") &&
         !chooseMenuEntry(log, QStringLiteral("显示时间戳"))) ||
        (view.shown == QLatin1String("hex") &&
         !chooseMenuEntry(log, QStringLiteral("十六进制显示"))) ||
        (view.record &&
         !(recordDir.isValid() && chooseMenuEntry(log, QStringLiteral("记录到文件…"))))) {
        say("  could not choose the view in the log's menu\n");
        return 1;
    }
    QCoreApplication::processEvents();
    PaintCounter *painted = new PaintCounter(log->viewport());
    int inserts = 0;
    QObject::connect(doc, &QTextDocument::contentsChange, doc, [&inserts] { ++inserts; });
    quint64 reads = 0;
    qint64 lastReadNs = 0;
    StallProbe *probe = nullptr;
    QObject::connect(&window.link, &SerialLink::received, doc, [&] {
        ++reads;
        lastReadNs = probe->elapsedNs();
    });
    const double rssBefore = statusMb("VmRSS");
    say("  memory before: %.0f MB resident\n", rssBefore);
    resetPeak();

    qint64 endNs = -1;
    bool gaveUp = false;
    quint64 nextMark = kProgressStep;
    qint64 markNs = 0;
    quint64 markBytes = 0;
    StallProbe probeObject([&] {
        const quint64 rx = window.rxCount();
        const qint64 now = probe->elapsedNs();
        // Characters in the log, line breaks included; costs nothing to read.
        const quint64 shown = quint64(doc->characterCount() - 1);
        while (rx >= nextMark) {
            const double seconds = (now - markNs) / 1e9;
            say("  %4llu MB received  %7.2f M chars in log  t=%6.2f s  %6.2f MB/s  "
                "worst stall %6.1f ms  resident %5.0f MB\n",
                nextMark / kMB, shown / 1e6, now / 1e9,
                seconds > 0 ? (rx - markBytes) / 1e6 / seconds : 0.0, probe->takeIntervalMaxMs(),
                statusMb("VmRSS"));
            markNs = now;
            markBytes = rx;
            nextMark += kProgressStep;
        }
        // Whatever RxCount has counted is in the log or waiting in it to be shown.
        const bool everything = writer.done() && rx == writer.written() && everythingShown(*log);
        if (everything || now > giveUpNs || !window.link.isOpen()) {
            endNs = now;
            gaveUp = !everything;
            QCoreApplication::quit();
        }
    });
    probe = &probeObject;
    const double cpuBefore = threadCpuSeconds();
    probe->start();
    writer.start(pty.masterFd());
    QCoreApplication::exec();
    probe->stop();
    const double cpu = threadCpuSeconds() - cpuBefore;

    const double seconds = endNs / 1e9;
    const double peak = statusMb("VmHWM");
    const quint64 rx = window.rxCount();
    say("  RESULT %s: %.1f MB in %.2f s = %.2f MB/s; worst stall %.1f ms (%d over 50 ms); "
        "peak memory %.0f MB\n",
        label, rx / 1e6, seconds, rx / 1e6 / seconds, probe->worstMs(), probe->longStalls(), peak);
    say("  worst stall: the window ran %.1f ms of it; longest it ran without a turn: %.1f ms\n",
        probe->worstGapCpuMs(), probe->worstCpuMs());
    say("  window thread CPU %.2f s (%.1f MB per CPU second); load average %s; %llu reads of "
        "%.0f bytes on average; the log was changed %d times and painted %d times\n",
        cpu, rx / 1e6 / cpu, loadAverage().constData(), reads, reads ? double(rx) / reads : 0.0,
        inserts, painted->paints);
    say("  RESULT %s: from the last byte read to the log idle (everything shown) %.3f s; the "
        "last read at %.2f s\n",
        label, (endNs - lastReadNs) / 1e9, lastReadNs / 1e9);
    const qsizetype inLog = doc->characterCount() - 1;
    sayMemory(label, "when idle", rssBefore, inLog);
    if (holdMinutes > 0) {
        // The window goes on with the full log, its timers ticking, nothing arriving.
        const qint64 holdNs = qint64(holdMinutes * 60e9);
        StallProbe *held = nullptr;
        StallProbe heldObject([&] {
            if (held->elapsedNs() >= holdNs)
                QCoreApplication::quit();
        });
        held = &heldObject;
        held->start();
        QCoreApplication::exec();
        held->stop();
        const QByteArray when = QStringLiteral("after %1 minutes more with the log held (worst "
                                               "stall %2 ms),")
                                    .arg(holdMinutes)
                                    .arg(held->worstMs(), 0, 'f', 1)
                                    .toUtf8();
        sayMemory(label, when.constData(), rssBefore, inLog);
    }
    if (gaveUp) {
        say("  gave up: the log did not show everything (writer %s)\n",
            writer.done() ? qPrintable(QStringLiteral("done ") + writer.failure())
                          : "still writing");
        // A writer blocked on a full pty gets an error once nobody holds the other side.
        window.link.close();
    }
    writer.join();

    const quint64 logged = quint64(doc->characterCount() - 1);
    say("  FIGURES %s: %.2f MB/s; worst stall %.1f ms; %.3f bytes per logged character; "
        "%.1f MB per window CPU second\n",
        label, rx / 1e6 / seconds, probe->worstMs(), logged ? double(rx) / logged : 0.0,
        rx / 1e6 / cpu);
    if (!view.shown.isEmpty() || view.record)
        return checkView(window, log, view, expected) ? 0 : 1;

    // No loss, nothing reordered: the counter, then the log's characters and breaks.
    const LogContents c = readLog(log);
    const quint64 shownBreaks = c.breaks;
    const qsizetype textLength = c.length;
    const bool rxOk = rx == writer.written() && rx == expected.bytes;
    const bool charsOk = c.chars == expected.chars && c.hash == expected.hash;
    // The rows a long line is shown in are not line breaks of the text.
    const bool breaksOk = shownBreaks == expected.breaks;
    const bool lengthOk = quint64(textLength) == expected.chars + shownBreaks;
    const bool rowsOk = c.longestRow <= LogCutter::kMaxRowChars;
    say("  check: RxCount %llu, written %llu: %s; characters %llu, expected %llu, in order: %s; "
        "line breaks %llu, sent %llu: %s; text length %lld: %s; longest row %lld: %s; "
        "caret at end: %s\n",
        rx, writer.written(), yesNo(rxOk), c.chars, expected.chars, yesNo(charsOk), shownBreaks,
        expected.breaks, yesNo(breaksOk), qlonglong(textLength), yesNo(lengthOk),
        qlonglong(c.longestRow), yesNo(rowsOk), yesNo(log->textCursor().atEnd()));
    const bool copyOk = timeCopy(log, expected);
    const bool saveOk = timeSave(window, log, expected);
    const bool allOk =
        rxOk && charsOk && breaksOk && lengthOk && rowsOk && copyOk && saveOk && !gaveUp;
    say("  CHECK %s: %s\n", label, allOk ? "no character lost or reordered" : "FAILED");
    return allOk ? 0 : 1;
}

struct ClickTimes
{
    double fastestMs = 0;
    double medianMs = 0;
    double maxMs = 0;
};

// Times clicks of "测试AT", each until the window has handled it and repainted.
ClickTimes timeClicks(Window &window, int clicks)
{
    for (int i = 0; i < 5; ++i) {
        window.click("Command5");
        QCoreApplication::processEvents();
    }
    std::vector<double> ms;
    ms.reserve(size_t(clicks));
    QElapsedTimer timer;
    for (int i = 0; i < clicks; ++i) {
        timer.start();
        window.click("Command5");
        QCoreApplication::processEvents();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

int runClicks(quint64 megabytes, int clicks)
{
    say("clicks of \"测试AT\", send log empty and with %llu MB\n", megabytes);
    RawPty pty(RawPty::Master::Blocking);
    Window window;
    if (!pty.isValid() || !window.open(pty)) {
        say("  could not open a pseudo-terminal in the window\n");
        return 1;
    }
    // The module side swallows what is sent, so no write ever waits.
    std::atomic<bool> stop{false};
    std::thread drain([&] {
        char buffer[65536];
        while (!stop.load()) {
            pollfd pfd{pty.masterFd(), POLLIN, 0};
            if (poll(&pfd, 1, 20) > 0 && ::read(pty.masterFd(), buffer, sizeof buffer) < 0)
                break;
        }
    });
    LogView *sendLog = window.get<LogView>("Text2");
    const quint64 txBefore = window.window->TxCount().toULongLong();

    const ClickTimes empty = timeClicks(window, clicks);

    resetPeak();
    QElapsedTimer fill;
    fill.start();
    QString chunk;
    while (chunk.size() < 1 << 20)
        chunk += QStringLiteral("AT+CWJAP=\"net-%1\",\"secret-%2\"\nAT+CIPSEND=0,64\n")
                     .arg(chunk.size() % 9973)
                     .arg(chunk.size() % 7919);
    quint64 filled = 0;
    while (filled < megabytes * kMB) {
        sendLog->appendText(chunk);
        filled += quint64(chunk.size());
    }
    sendLog->flush();
    QCoreApplication::processEvents();
    say("  filled the send log with %llu characters in %.2f s; peak memory %.0f MB\n", filled,
        fill.nsecsElapsed() / 1e9, statusMb("VmHWM"));

    const ClickTimes full = timeClicks(window, clicks);
    stop = true;
    drain.join();

    say("  RESULT click: empty send log median %.3f ms (fastest %.3f, slowest %.3f); %llu MB send "
        "log median %.3f ms (fastest %.3f, slowest %.3f); %d clicks each\n",
        empty.medianMs, empty.fastestMs, empty.maxMs, megabytes, full.medianMs, full.fastestMs,
        full.maxMs, clicks);
    const quint64 sent = window.window->TxCount().toULongLong() - txBefore;
    const bool caretAtEnd = sendLog->textCursor().atEnd();
    const QString text = shownText(*sendLog);

    // Emptying the full log is a click too.
    QElapsedTimer clearing;
    clearing.start();
    window.click("Command25");
    QCoreApplication::processEvents();
    const bool cleared = sendLog->document()->isEmpty();
    say("  clearing the full send log (\"清空发送数据\"): %.1f ms%s\n",
        clearing.nsecsElapsed() / 1e6, cleared ? "" : ", and it is NOT empty");
    const bool ok =
        sent == quint64(2 * (clicks + 5)) * 4 && text.endsWith(QLatin1String("\nAT\n")) &&
        quint64(text.size()) == filled + quint64(2 * (clicks + 5)) * 3 && caretAtEnd && cleared;
    say("  CHECK clicks: TxCount grew by %llu, send log %lld characters ending in \"AT\", caret "
        "at end: %s\n",
        sent, qlonglong(text.size()), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

int runAll(const QString &self, bool quick)
{
    const QString mb = quick ? QStringLiteral("5") : QString();
    const QStringList sizes[] = {
        {QStringLiteral("--phase"), QStringLiteral("lines"), QStringLiteral("--mb"),
         quick ? QStringLiteral("5") : QStringLiteral("100")},
        {QStringLiteral("--phase"), QStringLiteral("stream"), QStringLiteral("--mb"),
         quick ? QStringLiteral("5") : QStringLiteral("50")},
        {QStringLiteral("--phase"), QStringLiteral("clicks"), QStringLiteral("--mb"),
         quick ? QStringLiteral("5") : QStringLiteral("100"), QStringLiteral("--clicks"),
         quick ? QStringLiteral("50") : QStringLiteral("200")},
        {QStringLiteral("--phase"), QStringLiteral("actions"), QStringLiteral("--mb"),
         quick ? QStringLiteral("5") : QStringLiteral("100")},
    };
    int failures = 0;
    for (const QStringList &args : sizes) {
        if (QProcess::execute(self, args) != 0)
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}

// The lines phase plain, with time stamps, in hex and recorded into a file, each in a
// process of its own, side by side.
int runViews(const QString &self, quint64 megabytes)
{
    const QString mb = QString::number(megabytes ? megabytes : 20);
    struct Row
    {
        const char *name;
        QStringList extra;
        double rate = 0;
        double stall = 0;
        double bytesPerChar = 0;
        double perCpu = 0;
    };
    Row rows[] = {{"plain", {}},
                  {"time stamps", {QStringLiteral("--view"), QStringLiteral("stamps")}},
                  {"hex", {QStringLiteral("--view"), QStringLiteral("hex")}},
                  {"recorded into a file", {QStringLiteral("--record")}}};
    int failures = 0;
    for (Row &row : rows) {
        QProcess phase;
        phase.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        phase.start(self, QStringList{QStringLiteral("--phase"), QStringLiteral("lines"),
                                      QStringLiteral("--mb"), mb} +
                              row.extra);
        phase.waitForFinished(-1);
        const QByteArray out = phase.readAllStandardOutput();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        if (phase.exitCode() != 0)
            ++failures;
        const QRegularExpression figures(QStringLiteral(
            "FIGURES [^:]*: ([0-9.]+) MB/s; worst stall ([0-9.]+) ms; ([0-9.]+) bytes[^;]*; "
            "([0-9.]+) MB per"));
        const QRegularExpressionMatch match = figures.match(QString::fromUtf8(out));
        if (match.hasMatch()) {
            row.rate = match.captured(1).toDouble();
            row.stall = match.captured(2).toDouble();
            row.bytesPerChar = match.captured(3).toDouble();
            row.perCpu = match.captured(4).toDouble();
        }
    }
    say("\nRESULT views, %s MB of reply lines each (load average %s):\n", qPrintable(mb),
        loadAverage().constData());
    for (const Row &row : rows) {
        say("  %-22s %7.2f MB/s (%.2fx plain)  %5.1f MB per window CPU second (%.2fx plain)  "
            "worst stall %6.1f ms  %.3f bytes per logged character\n",
            row.name, row.rate, rows[0].rate > 0 ? row.rate / rows[0].rate : 0.0, row.perCpu,
            rows[0].perCpu > 0 ? row.perCpu / rows[0].perCpu : 0.0, row.stall, row.bytesPerChar);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QString phase;
    quint64 megabytes = 0;
    int clicks = 200;
    double minutes = 0;
    double holdMinutes = 0;
    bool quick = false;
    bool reference = false;
    bool views = false;
    View view;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--quick")
            quick = true;
        else if (arg == "--phase" && i + 1 < argc)
            phase = QString::fromLatin1(argv[++i]);
        else if (arg == "--mb" && i + 1 < argc)
            megabytes = QByteArray(argv[++i]).toULongLong();
        else if (arg == "--clicks" && i + 1 < argc)
            clicks = QByteArray(argv[++i]).toInt();
        else if (arg == "--minutes" && i + 1 < argc)
            minutes = QByteArray(argv[++i]).toDouble();
        else if (arg == "--hold" && i + 1 < argc)
            holdMinutes = QByteArray(argv[++i]).toDouble();
        else if (arg == "--reference")
            reference = true;
        else if (arg == "--views")
            views = true;
        else if (arg == "--view" && i + 1 < argc)
            view.shown = QString::fromLatin1(argv[++i]);
        else if (arg == "--record")
            view.record = true;
        else {
            std::printf("usage: %s [--quick] | --views [--mb N] | --phase "
                        "lines|stream|clicks|actions|xcopy|xactions [--mb N] [--clicks N] "
                        "[--minutes M] [--hold M] [--reference] [--view stamps|hex] [--record]\n",
                        argv[0]);
            return 2;
        }
    }
    if (phase.isEmpty()) {
        QCoreApplication app(argc, argv);
        if (views)
            return runViews(QCoreApplication::applicationFilePath(), megabytes);
        return runAll(QCoreApplication::applicationFilePath(), quick);
    }

    const bool inX = phase == QLatin1String("xcopy") || phase == QLatin1String("xactions");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", inX ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    if (phase == QLatin1String("lines"))
        return runReceive(StreamWriter::Kind::Lines, megabytes ? megabytes : 100, view, minutes,
                          holdMinutes);
    if (phase == QLatin1String("stream"))
        return runReceive(StreamWriter::Kind::Stream, megabytes ? megabytes : 50, view, minutes,
                          holdMinutes);
    if (phase == QLatin1String("actions") || phase == QLatin1String("xactions")) {
        say("a person's actions on a receive log of %llu MB (%s)\n", megabytes ? megabytes : 100,
            qPrintable(QGuiApplication::platformName()));
        Window window;
        return runLogActions(window, double(megabytes ? megabytes : 100));
    }
    if (inX) {
        // 97.5 MB of module-like lines are about 1.25 million lines.
        say("copy of the receive log in X, %.1f MB\n", megabytes ? double(megabytes) : 97.5);
        Window window;
        return runXClipboardCopy(window.get<LogView>("Text3"), megabytes ? double(megabytes) : 97.5,
                                 reference);
    }
    if (phase == QLatin1String("clicks"))
        return runClicks(megabytes ? megabytes : 100, std::max(clicks, 1));
    std::printf("unknown phase %s\n", qPrintable(phase));
    return 2;
}
