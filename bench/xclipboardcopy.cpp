#include "xclipboardcopy.h"

#include "benchreport.h"
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

constexpr quint64 kHashSeed = 14695981039346656037ull;
constexpr int kWaitMs = 120'000; // a transfer that takes two minutes has collapsed

quint64 hashBytes(quint64 hash, const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        hash = (hash ^ quint8(data[i])) * 1099511628211ull;
    return hash;
}

struct Bytes
{
    quint64 size = 0;
    quint64 hash = kHashSeed;
    quint64 lines = 0;
};

// The i-th line a module might send: a reply header, 20 to 110 characters of payload
// (now and then with Chinese text, as the port's codec gives it), CR LF.
QByteArray lineNumber(quint64 i)
{
    QByteArray line = "+IPD,0," + QByteArray::number(i % 997) + ':';
    const int payload = 20 + int(i * 37 % 91);
    for (int k = 0; k < payload; ++k)
        line += char(' ' + (i + quint64(k) * 7) % 95);
    if (i % 40 == 0)
        line += "接收数据";
    line += "\r\n";
    return line;
}

// Fills the log as the receive path does: appends of a few kilobytes, shown in slices.
Bytes fill(LogView *log, quint64 bytes)
{
    Bytes made;
    QByteArray chunk;
    qsizetype unshown = 0;
    while (made.size < bytes) {
        const QByteArray line = lineNumber(made.lines++);
        chunk += line;
        made.size += quint64(line.size());
        made.hash = hashBytes(made.hash, line.constData(), line.size());
        if (chunk.size() >= 4096 || made.size >= bytes) {
            log->appendText(QString::fromUtf8(chunk));
            unshown += chunk.size();
            chunk.clear();
        }
        if (unshown >= LogView::kMaxSliceChars || made.size >= bytes) {
            log->flush();
            QCoreApplication::processEvents();
            unshown = 0;
        }
    }
    return made;
}

// What a file holds, read in pieces.
Bytes readFile(const QString &path)
{
    Bytes read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return read;
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (qint64 got; (got = file.read(piece.data(), piece.size())) > 0;) {
        read.size += quint64(got);
        read.hash = hashBytes(read.hash, piece.constData(), got);
    }
    return read;
}

// Runs xclip with args, its output to outPath, and turns the event loop (which serves the
// clipboard) until it ends. The time it took in seconds, or -1.
double runXclip(const QStringList &args, const QString &outPath)
{
    QProcess xclip;
    xclip.setStandardOutputFile(outPath);
    QEventLoop loop;
    QObject::connect(&xclip, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&xclip, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    xclip.start(QStringLiteral("xclip"), args);
    loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (xclip.state() != QProcess::NotRunning) {
        say("  xclip %s did not end within %d s\n", qPrintable(args.join(u' ')), kWaitMs / 1000);
        xclip.kill();
        xclip.waitForFinished();
        return -1;
    }
    if (xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0) {
        say("  xclip %s failed: %s\n", qPrintable(args.join(u' ')),
            xclip.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

const QStringList kPaste = {QStringLiteral("-o"), QStringLiteral("-selection"),
                            QStringLiteral("clipboard"), QStringLiteral("-t"),
                            QStringLiteral("UTF8_STRING")};

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
    const double seconds = runXclip(kPaste, outPath);
    const Bytes got = readFile(outPath);
    const Bytes want = readFile(source);
    owner.kill();
    owner.waitForFinished();
    say("  reference: xclip hands the same bytes to xclip in %.2f s (%s)\n", seconds,
        got.size == want.size && got.hash == want.hash ? "all bytes" : "NOT all bytes");
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
    const Bytes made = fill(log, quint64(megabytes * 1e6));
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
    const double pasteSeconds = runXclip(kPaste, outPath);
    const double totalSeconds = timer.nsecsElapsed() / 1e9;
    const double peakCopy = statusMb("VmHWM");

    const Bytes got = readFile(outPath);
    const bool ok = pasteSeconds >= 0 && got.size == made.size && got.hash == made.hash;
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
