#include "streamwriter.h"

#include "wirecodec.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <random>
#include <unistd.h>

namespace {

constexpr qsizetype kFileBlock = 1 << 20;
constexpr qsizetype kWriteBlock = 64 * 1024;

// Builds the bytes and, beside them, what the log must show for them.
class Generator
{
public:
    explicit Generator(StreamWriter::Expected &expected) : m_expected(expected) {}

    QByteArray bytes;

    // Shown text without line breaks; its bytes are GBK, which for ASCII is the same.
    void text(const QString &shown)
    {
        const QByteArray wire = WireCodec::encode(shown).bytes;
        bytes += wire;
        m_expected.bytes += quint64(wire.size());
        for (const QChar c : shown) {
            m_expected.hash = StreamWriter::hashStep(m_expected.hash, c.unicode());
            ++m_expected.chars;
        }
    }
    void ascii(const char *shown) { text(QString::fromLatin1(shown)); }
    // One line break as the module sends it: CR LF, or its echo CR CR LF.
    void lineBreak(bool echo = false)
    {
        const char *wire = echo ? "\r\r\n" : "\r\n";
        bytes += wire;
        m_expected.bytes += quint64(std::strlen(wire));
        ++m_expected.breaks;
    }

private:
    StreamWriter::Expected &m_expected;
};

// Printable ASCII with blanks inside, never a blank first or last (the log drops blanks
// at its very start and holds back blanks at the very end of what has arrived).
QString payload(std::mt19937_64 &random, int length)
{
    static const QString kWords[] = {QStringLiteral("温度"), QStringLiteral("湿度"),
                                     QStringLiteral("测试"), QStringLiteral("数据")};
    QString out;
    out.reserve(length);
    while (out.size() < length) {
        const quint64 r = random();
        if ((r & 0x3f) == 0 && out.size() + 2 <= length) {
            out += kWords[(r >> 8) & 3];
            continue;
        }
        char c = char(0x20 + (r >> 16) % 95);
        if (c == ' ' && (out.isEmpty() || out.size() + 1 == length))
            c = '_';
        out += QLatin1Char(c);
    }
    return out;
}

void moduleReplies(Generator &g, std::mt19937_64 &random)
{
    const quint64 r = random();
    switch (r % 10) {
    case 0:
        g.ascii("AT");
        g.lineBreak(true);
        g.lineBreak();
        g.ascii("OK");
        g.lineBreak();
        break;
    case 1: {
        const int n = 16 + int((r >> 8) % 48);
        g.text(QStringLiteral("AT+CIPSEND=0,%1").arg(n));
        g.lineBreak(true);
        g.lineBreak();
        g.ascii("OK");
        g.lineBreak();
        g.ascii("> ");
        g.lineBreak();
        g.text(QStringLiteral("Recv %1 bytes").arg(n));
        g.lineBreak();
        g.lineBreak();
        g.ascii("SEND OK");
        g.lineBreak();
        break;
    }
    case 2:
        g.text(QStringLiteral("+CWLAP:(3,\"net-%1\",-%2,\"5c:cf:7f:%3:%4:%5\",%6)")
                   .arg(r >> 40 & 0xfff)
                   .arg(40 + (r >> 8) % 50)
                   .arg(r >> 16 & 0xff, 2, 16, QLatin1Char('0'))
                   .arg(r >> 24 & 0xff, 2, 16, QLatin1Char('0'))
                   .arg(r >> 32 & 0xff, 2, 16, QLatin1Char('0'))
                   .arg(1 + (r >> 4) % 13));
        g.lineBreak();
        break;
    case 3:
        g.ascii("WIFI CONNECTED");
        g.lineBreak();
        g.ascii("WIFI GOT IP");
        g.lineBreak();
        g.ascii("0,CONNECT");
        g.lineBreak();
        g.lineBreak();
        break;
    default: {
        // Data from a connection, lines of 20 to 120 characters.
        const int length = 20 + int((r >> 8) % 101);
        const QString head = QStringLiteral("+IPD,%1,%2:").arg((r >> 20) % 5).arg(length);
        g.text(head + payload(random, length - int(head.size())));
        g.lineBreak();
        break;
    }
    }
}

} // namespace

StreamWriter::~StreamWriter()
{
    join();
}

bool StreamWriter::prepare(Kind kind, quint64 bytes)
{
    m_expected = Expected();
    if (!m_file.open())
        return false;
    std::mt19937_64 random(20240611);
    Generator g(m_expected);
    bool first = true;
    while (m_expected.bytes < bytes) {
        if (kind == Kind::Lines) {
            while (g.bytes.size() < kFileBlock && m_expected.bytes < bytes)
                moduleReplies(g, random);
        } else {
            const qsizetype n = qMin<quint64>(kFileBlock, bytes - m_expected.bytes);
            QString text(n, Qt::Uninitialized);
            for (qsizetype i = 0; i < n; ++i)
                text[i] = QLatin1Char(char(0x20 + random() % 95));
            // No blank at the very start or at the very end of the whole stream.
            if (first)
                text[0] = QLatin1Char('<');
            if (m_expected.bytes + quint64(n) >= bytes)
                text[n - 1] = QLatin1Char('>');
            g.text(text);
        }
        first = false;
        if (m_file.write(g.bytes) != g.bytes.size())
            return false;
        g.bytes.clear();
    }
    return m_file.flush();
}

void StreamWriter::start(int masterFd)
{
    m_thread = std::thread([this, masterFd] { run(masterFd); });
}

void StreamWriter::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void StreamWriter::run(int masterFd)
{
    const int in = int(m_file.handle());
    ::lseek(in, 0, SEEK_SET);
    // Paced, the bytes go in small writes, as a serial line delivers them.
    const double rate = m_seconds > 0 ? m_expected.bytes / m_seconds : 0;
    QByteArray block(rate > 0 ? 4096 : kWriteBlock, Qt::Uninitialized);
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
        if (rate > 0) {
            std::this_thread::sleep_until(
                began + std::chrono::duration<double>(written() / rate));
        }
        const ssize_t got = ::read(in, block.data(), size_t(block.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            m_failure =
                QStringLiteral("reading the data file: ") + QString::fromLocal8Bit(strerror(errno));
        if (got <= 0)
            break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t n = ::write(masterFd, block.constData() + done, size_t(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                m_failure =
                    QStringLiteral("writing the pty: ") + QString::fromLocal8Bit(strerror(errno));
                m_done.store(true, std::memory_order_release);
                return;
            }
            done += n;
            m_written.fetch_add(quint64(n), std::memory_order_relaxed);
        }
    }
    m_done.store(true, std::memory_order_release);
}
