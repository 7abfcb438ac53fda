#include "xclipboardcopy.h"

#include "benchreport.h"
#include "largelog.h"
#include "logview.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

using LargeLog::Bytes;

constexpr int kWaitMs = 120'000; // a transfer that takes two minutes has collapsed

// xclip hands the bytes of a file to another xclip through the clipboard: how fast the X
// server and a plain client move them.
void timeReference(const QString &source, const QString &outPath)
{
    QProcess owner;
    owner.start(QStringLiteral("xclip"),
                {QStringLiteral("-i"), QStringLiteral("-quiet"), QStringLiteral("-selection"),
                 QStringLiteral("clipboard"), source});
    // It owns the clipboard once it has read its file; until then the clipboard is ours.
    QElapsedTimer waited;
    waited.start();
    while (QGuiApplication::clipboard()->ownsClipboard() && waited.elapsed() < kWaitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const double seconds = LargeLog::runXclip(LargeLog::pasteArgs(), outPath);
    const Bytes got = LargeLog::readFile(outPath);
    const Bytes want = LargeLog::readFile(source);
    owner.kill();
    owner.waitForFinished();
    say("  reference: xclip hands the same bytes to xclip in %.2f s (%s)\n", seconds,
        got == want ? "all bytes" : "NOT all bytes");
}

} // namespace

int runXClipboardCopy(LogView *log, double megabytes, bool reference)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        say("  needs an X server (QT_QPA_PLATFORM=xcb under xvfb-run); platform is %s\n",
            qPrintable(QGuiApplication::platformName()));
        return 1;
    }
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench-xcopy-XXXXXX")));
    if (!dir.isValid()) {
        say("  no folder for xclip's output\n");
        return 1;
    }
    QElapsedTimer filling;
    filling.start();
    const Bytes made = LargeLog::fill(log, quint64(megabytes * 1e6));
    say("  the receive log holds %.1f MB in %llu lines (filled in %.1f s); resident %.0f MB, "
        "peak so far %.0f MB\n",
        made.size / 1e6, made.lines, filling.nsecsElapsed() / 1e9, statusMb("VmRSS"),
        statusMb("VmHWM"));
    const double peakBefore = statusMb("VmHWM");
    resetPeak();

    log->setFocus();
    QCoreApplication::processEvents();
    const QString outPath = dir.filePath(QStringLiteral("pasted"));
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    const double keysSeconds = timer.nsecsElapsed() / 1e9;
    const double pasteSeconds = LargeLog::runXclip(LargeLog::pasteArgs(), outPath);
    const double totalSeconds = timer.nsecsElapsed() / 1e9;
    const double peakCopy = statusMb("VmHWM");

    const Bytes got = LargeLog::readFile(outPath);
    const bool ok = pasteSeconds >= 0 && got == made;
    say("  RESULT copy in X (Ctrl+A, Ctrl+C, until xclip has every byte): %.2f s (%.2f s the "
        "keys, %.2f s xclip); peak memory %.0f MB (%.0f MB during the copy)\n",
        totalSeconds, keysSeconds, pasteSeconds, qMax(peakBefore, peakCopy), peakCopy);
    say("  check: xclip read %llu bytes, the log holds %llu, the same bytes in order: %s\n",
        got.size, made.size, ok ? "ok" : "MISMATCH");
    if (reference && ok)
        timeReference(outPath, dir.filePath(QStringLiteral("reference")));
    // Nothing waits for a clipboard manager at the exit.
    QGuiApplication::clipboard()->clear();
    return ok ? 0 : 1;
}
