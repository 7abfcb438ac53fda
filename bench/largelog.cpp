#include "largelog.h"

#include "benchreport.h"
#include "logview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

namespace LargeLog {

namespace {

constexpr int kWaitMs = 120'000; // a transfer that takes two minutes has collapsed

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

} // namespace

void Bytes::add(const char *data, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        hash = (hash ^ quint8(data[i])) * 1099511628211ull;
    size += quint64(n);
}

Bytes fill(LogView *log, quint64 bytes)
{
    Bytes made;
    QByteArray chunk;
    qsizetype unshown = 0;
    while (made.size < bytes) {
        const QByteArray line = lineNumber(made.lines++);
        chunk += line;
        made.add(line.constData(), line.size());
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

Bytes readFile(const QString &path)
{
    Bytes read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return read;
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (qint64 got; (got = file.read(piece.data(), piece.size())) > 0;)
        read.add(piece.constData(), got);
    return read;
}

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

QStringList pasteArgs()
{
    return {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
            QStringLiteral("-t"), QStringLiteral("UTF8_STRING")};
}

} // namespace LargeLog
