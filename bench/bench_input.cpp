// How fast the input box answers with long text: a click, a keystroke, an undo, a paste of
// 1 MB on one line, with a million characters on one line and with 100,000 short lines;
// and whether "文本发送" then sends exactly what the box holds.
//
// The real window runs offscreen with the real serial link on a pseudo-terminal whose far
// side keeps everything the console sends. Each action is timed from the event to the
// window having handled it and painted; the longest wait of the event loop in the 150 ms
// after it is printed beside it. Prints figures only.
//
//   bench_input                         both cases at full size
//   bench_input --case oneline|lines    one case
//   bench_input --chars N --lines N --paste N
//                                       other sizes (characters on the one line, short
//                                       lines, characters pasted on one line)
//   bench_input --actions N             only the first N actions of each case, without the
//                                       send (a box that takes minutes for each)

#include "benchreport.h"
#include "rawpty.h"
#include "stallprobe.h"
#include "windowharness.h"
#include "wirecodec.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// The far side of the port: keeps every byte the console sends, on a thread of its own so
// that the console never waits on a full line.
class FarSide
{
public:
    explicit FarSide(int fd) : m_fd(fd)
    {
        m_thread = std::thread([this] {
            char buffer[65536];
            while (!m_stop.load()) {
                pollfd pfd{m_fd, POLLIN, 0};
                if (poll(&pfd, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                std::lock_guard<std::mutex> lock(m_mutex);
                m_bytes.append(buffer, n);
            }
        });
    }
    ~FarSide()
    {
        m_stop = true;
        m_thread.join();
    }
    QByteArray take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_bytes, {});
    }
    qsizetype size()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes.size();
    }

private:
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    QByteArray m_bytes;
    std::thread m_thread;
};

// CPU time of the calling thread (the window's), in milliseconds: on a busy machine the
// part of an answer the window itself took.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Answer
{
    double ms = 0;      // from the event to the window having handled it and painted
    double cpuMs = 0;   // of which the window's thread ran
    double laterMs = 0; // the longest wait of the loop in the 150 ms after that
};

Answer answer(const std::function<void()> &act)
{
    QElapsedTimer timer;
    const double cpu = threadCpuMs();
    timer.start();
    act();
    QCoreApplication::processEvents();
    Answer a;
    a.ms = timer.nsecsElapsed() / 1e6;
    a.cpuMs = threadCpuMs() - cpu;
    StallProbe probe(nullptr);
    probe.start();
    QTest::qWait(150);
    probe.stop();
    a.laterMs = probe.worstMs();
    return a;
}

// A line of hex digits: no blank, no place where a line may break, the hardest to wrap.
const QString kHex = QStringLiteral("0123456789ABCDEF");
// A line of module replies, Chinese among the ASCII.
const QString kReplies = QStringLiteral("+IPD,0,12:你好，模块！OK");

QString oneLine(qsizetype chars, const QString &pattern)
{
    QString text;
    text.reserve(chars + pattern.size());
    while (text.size() < chars)
        text += pattern;
    text.truncate(chars);
    return text;
}

QString shortLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("AT+CIPSEND=%1 第%2行\n").arg(i % 2048).arg(i);
    return text;
}

// One action of a person at the box, timed.
struct Step
{
    const char *what;
    std::function<void()> act;
    bool edit = true; // counts for the slowest answer to an edit or a click
};

int runCase(const char *name, const QString &content, const QString &paste, int maxSteps)
{
    say("%s: %lld characters in the box, %lld pasted on one line; load %s\n", name,
        qlonglong(content.size()), qlonglong(paste.size()), loadAverage().constData());
    RawPty pty(RawPty::Master::Blocking);
    ShownWindow w;
    if (!pty.isValid() || !w.openPath(pty.slavePath())) {
        say("  could not open a pseudo-terminal in the window\n");
        return 1;
    }
    FarSide far(pty.masterFd());
    auto *box = w.get<QPlainTextEdit>("Text1");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QCoreApplication::processEvents();

    const auto key = [box](int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return [box, key, mods] { QTest::keyClick(box, Qt::Key(key), mods); };
    };
    const auto pasteOf = [box](const QString &text) {
        return [box, text] {
            QGuiApplication::clipboard()->setText(text);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        };
    };
    const QPoint middle = box->viewport()->rect().center();
    // With short lines, filling the box is no edit of the kind measured: it sets up.
    const bool oneLine = !content.contains(u'\n');
    const std::vector<Step> steps{
        {"paste of the whole text into the empty box", pasteOf(content), oneLine},
        {"click into the box",
         [&] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, middle); }},
        {"keystroke after the click", key(Qt::Key_X)},
        {"undo of that keystroke (Ctrl+Z)", key(Qt::Key_Z, Qt::ControlModifier)},
        {"Ctrl+End", key(Qt::Key_End, Qt::ControlModifier)},
        {"keystroke at the end", key(Qt::Key_A)},
        {"Ctrl+Home", key(Qt::Key_Home, Qt::ControlModifier)},
        {"keystroke at the start", key(Qt::Key_B)},
        {"Ctrl+End", key(Qt::Key_End, Qt::ControlModifier)},
        {"paste on one line at the end", pasteOf(paste)},
        {"keystroke after that paste", key(Qt::Key_C)},
        {"scroll to the top (scroll bar)", [box] { box->verticalScrollBar()->setValue(0); }},
    };
    double worstMs = 0;
    int done = 0;
    for (const Step &step : steps) {
        if (done++ == maxSteps) {
            say("  RESULT %s: slowest answer %.1f ms (stopped after %d actions, as asked)\n", name,
                worstMs, maxSteps);
            return 0;
        }
        const Answer a = answer(step.act);
        say("  %-44s %9.1f ms (cpu %8.1f ms; loop after it: longest wait %5.1f ms)\n", step.what,
            a.ms, a.cpuMs, a.laterMs);
        if (step.edit)
            worstMs = std::max(worstMs, std::max(a.ms, a.laterMs));
    }

    // What "文本发送" sends: the box's text, every line break as CR LF.
    QString expected = QStringLiteral("b") + content + QStringLiteral("a") + paste + u'c';
    expected.replace(u'\n', QStringLiteral("\r\n"));
    const QByteArray wire = WireCodec::encode(expected).bytes;
    far.take();
    QElapsedTimer sending;
    sending.start();
    const Answer click = answer([&] { w.click("Command2"); });
    while (far.size() < wire.size() && sending.elapsed() < 60000)
        QTest::qWait(5);
    const double sentMs = sending.nsecsElapsed() / 1e6;
    const QByteArray got = far.take();
    const bool exact = got == wire;
    const bool counted = w.window->TxCount() == QString::number(wire.size());
    say("  click of \"文本发送\": %.1f ms (cpu %.1f ms); %lld bytes on the wire in %.0f ms, "
        "expected %lld: %s; TxCount %s: %s\n",
        click.ms, click.cpuMs, qlonglong(got.size()), sentMs, qlonglong(wire.size()),
        exact ? "byte-exact" : "DIFFERENT", qPrintable(w.window->TxCount()),
        counted ? "ok" : "WRONG");
    say("  RESULT %s: slowest answer to an edit or a click %.1f ms\n", name, worstMs);
    say("  CHECK %s: %s\n", name,
        exact && counted ? "sent exactly what was typed and pasted" : "FAILED");
    return exact && counted ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qsizetype chars = 1'000'000;
    int lines = 100'000;
    qsizetype pasted = 1'000'000;
    QByteArray only;
    int maxSteps = -1;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--chars" && i + 1 < argc)
            chars = QByteArray(argv[++i]).toLongLong();
        else if (arg == "--lines" && i + 1 < argc)
            lines = QByteArray(argv[++i]).toInt();
        else if (arg == "--paste" && i + 1 < argc)
            pasted = QByteArray(argv[++i]).toLongLong();
        else if (arg == "--actions" && i + 1 < argc)
            maxSteps = QByteArray(argv[++i]).toInt();
        else if (arg == "--case" && i + 1 < argc)
            only = argv[++i];
        else {
            std::printf("usage: %s [--case oneline|lines] [--chars N] [--lines N] [--paste N] "
                        "[--actions N]\n",
                        argv[0]);
            return 2;
        }
    }
    if (!WireCodec::available()) {
        say("GBK is not available\n");
        return 1;
    }
    const QString paste = oneLine(pasted, kReplies);
    int failed = 0;
    if (only.isEmpty() || only == "oneline")
        failed += runCase("one line", oneLine(chars, kHex), paste, maxSteps);
    if (only.isEmpty() || only == "lines")
        failed += runCase("short lines", shortLines(lines), paste, maxSteps);
    return failed ? 1 : 0;
}
