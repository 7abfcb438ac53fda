#include "logactions.h"

#include "benchreport.h"
#include "largelog.h"
#include "stallprobe.h"
#include "windowharness.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace {

constexpr double kSettleMs = 300;       // work an action leaves behind shows within this
constexpr double kGiveUpMs = 120'000;   // an action that takes two minutes has collapsed

struct Timed
{
    double worstMs = 0; // the longest the window went without answering
    double doneMs = -1; // until the action's work was done, or -1 when it never was
    double peakMb = 0;
};

// Runs `action` from inside the event loop with the stall probe on, and turns the loop
// until `done` holds and kSettleMs more have passed.
Timed timeAction(const std::function<void()> &action, const std::function<bool()> &done)
{
    Timed timed;
    QEventLoop loop;
    QElapsedTimer clock;
    bool started = false;
    StallProbe probe([&] {
        if (!started)
            return;
        const double ms = clock.nsecsElapsed() / 1e6;
        if (timed.doneMs < 0 && done())
            timed.doneMs = ms;
        if ((timed.doneMs >= 0 && ms > timed.doneMs + kSettleMs) || ms > kGiveUpMs)
            loop.quit();
    });
    resetPeak();
    QTimer::singleShot(0, &loop, [&] {
        clock.start();
        started = true;
        action();
    });
    probe.start();
    loop.exec();
    probe.stop();
    timed.worstMs = probe.worstMs();
    timed.peakMb = statusMb("VmHWM");
    return timed;
}

const char *okOr(bool ok)
{
    return ok ? "ok" : "MISMATCH";
}

} // namespace

int runLogActions(WindowHarness &window, double megabytes)
{
    const bool inX = QGuiApplication::platformName() == QLatin1String("xcb");
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench-actions-XXXXXX")));
    if (!dir.isValid()) {
        say("  no folder for the saved log\n");
        return 1;
    }
    LogView *log = window.receiveLog();
    QElapsedTimer filling;
    filling.start();
    const LargeLog::Bytes made = LargeLog::fill(log, quint64(megabytes * 1e6));
    say("  the receive log holds %.1f MB in %llu lines (filled in %.1f s); resident %.0f MB\n",
        made.size / 1e6, made.lines, filling.nsecsElapsed() / 1e9, statusMb("VmRSS"));
    log->setFocus();
    QCoreApplication::processEvents();

    double worst = 0;
    bool allOk = true;
    const auto report = [&](const char *what, const Timed &timed, const QByteArray &extra = {}) {
        worst = std::max(worst, timed.worstMs);
        allOk = allOk && timed.doneMs >= 0;
        say("  RESULT %-32s window unanswered at most %7.1f ms; done in %8.1f ms; peak memory "
            "%.0f MB%s\n",
            what, timed.worstMs, timed.doneMs, timed.peakMb, extra.constData());
    };
    // An action whose work is bytes somewhere else: exactly the log's, and all of them.
    const auto reportBytes = [&](const char *what, const Timed &timed, const char *holder,
                                 const LargeLog::Bytes &got, bool done) {
        const bool ok = done && got == made;
        allOk = allOk && ok;
        report(what, timed,
               QStringLiteral("; %1 %2 bytes of %3: %4")
                   .arg(QLatin1String(holder))
                   .arg(got.size)
                   .arg(made.size)
                   .arg(QLatin1String(okOr(ok)))
                   .toUtf8());
    };
    const auto now = [] { return true; };
    const auto key = [log](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return [log, key, modifiers] { QTest::keyClick(log, key, modifiers); };
    };
    QScrollBar *bar = log->verticalScrollBar();

    report("Ctrl+Home (to the top)", timeAction(key(Qt::Key_Home, Qt::ControlModifier), now));
    report("click into the log", timeAction([log] {
               QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
           }, now));
    report("Ctrl+End (to the end)", timeAction(key(Qt::Key_End, Qt::ControlModifier), now));
    report("scroll bar to the top",
           timeAction([bar] { bar->triggerAction(QAbstractSlider::SliderToMinimum); }, now));
    report("scroll bar to the end",
           timeAction([bar] { bar->triggerAction(QAbstractSlider::SliderToMaximum); }, now));
    report("select all (Ctrl+A)", timeAction(key(Qt::Key_A, Qt::ControlModifier), now));

    // The copy: the keys, then another program (or, without X, this one) reads it all.
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (inX) {
        const QString pasted = dir.filePath(QStringLiteral("pasted"));
        QProcess xclip;
        xclip.setStandardOutputFile(pasted);
        const Timed copied = timeAction(
            [&] {
                QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
                xclip.start(QStringLiteral("xclip"), LargeLog::pasteArgs());
            },
            [&] { return xclip.state() == QProcess::NotRunning; });
        reportBytes("copy (Ctrl+C, xclip reads it)", copied, "xclip read",
                    LargeLog::readFile(pasted), xclip.exitCode() == 0);
    } else {
        report("copy (Ctrl+C)", timeAction(key(Qt::Key_C, Qt::ControlModifier), now));
        resetPeak();
        QElapsedTimer reading;
        reading.start();
        QByteArray bytes;
        if (const QMimeData *data = clipboard->mimeData())
            bytes = data->data(QStringLiteral("text/plain"));
        const qint64 readNs = reading.nsecsElapsed();
        LargeLog::Bytes got;
        got.add(bytes.constData(), bytes.size());
        const bool ok = got == made;
        allOk = allOk && ok;
        say("  the copy read back from the clipboard in %.1f ms (a program pasting it; not the "
            "window's time): %llu bytes of %llu: %s; peak memory %.0f MB\n",
            readNs / 1e6, got.size, made.size, okOr(ok), statusMb("VmHWM"));
    }
    // A person who copied and then saved; the clipboard lets go of the copy first, so the
    // save is measured on its own.
    clipboard->clear();

    window.savePath = dir.filePath(QStringLiteral("log.txt"));
    bool saved = false;
    bool savedOk = false;
    const QMetaObject::Connection connection = QObject::connect(
        window.window.get(), &Form1::logSaved, window.window.get(), [&](const QString &, bool ok) {
            saved = true;
            savedOk = ok;
        });
    const Timed save = timeAction(
        [log] { chooseMenuEntry(log, QStringLiteral("保存为文件…")); },
        [&] { return saved; });
    QObject::disconnect(connection);
    reportBytes("save (\"保存为文件…\")", save, "the file holds",
                LargeLog::readFile(window.savePath), savedOk);

    const Timed clear = timeAction([&window] { window.click("Command26"); },
                                   [log] { return log->document()->isEmpty(); });
    report("clear (\"清空接收数据\")", clear);
    say("  RESULT worst unanswered time of all actions on %.1f MB: %.1f ms; resident after the "
        "clear %.0f MB\n",
        made.size / 1e6, worst, statusMb("VmRSS"));
    say("  CHECK actions: %s\n", allOk ? "every action done, the copy and the file exact" : "FAILED");
    return allOk ? 0 : 1;
}
