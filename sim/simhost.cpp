#include "simhost.h"

#include "rawpty.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SimHost::SimHost(const SimModule::Options &options, QObject *parent)
    : QObject(parent), m_module(options)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimHost::onTimer);
}

SimHost::~SimHost()
{
    closeAll();
}

void SimHost::closeAll()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_slaveHold >= 0)
        ::close(m_slaveHold);
    m_slaveHold = -1;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool SimHost::open(QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(strerror(errno)));
        closeAll();
        return false;
    };
    if (isOpen())
        return true;
    // Raw both ways: the module sees every byte as sent, and the program reading the slave
    // side gets the answers unchanged.
    RawPty pty(RawPty::Master::NonBlocking);
    if (!pty.isValid()) {
        if (error)
            *error = pty.errorString();
        return false;
    }
    m_slavePath = pty.slavePath();
    m_master = pty.release();
    const QByteArray name = QFile::encodeName(m_slavePath);
    m_slaveHold = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveHold < 0)
        return fail("open slave");

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimHost::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimHost::onWritable);
    m_clock.start();
    m_synced = 0;
    return true;
}

void SimHost::catchUp()
{
    // Bring the module's clock up to real time, running whatever fell due.
    const qint64 elapsed = m_clock.elapsed();
    const QByteArray due = m_module.advance(elapsed - m_synced);
    m_synced = elapsed;
    deliver(due);
}

void SimHost::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            const QByteArray in(buf, n);
            catchUp();
            emit received(in);
            deliver(m_module.feed(in));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // The slave side is held open here, so this is a real fault: stop listening
        // rather than spin on it.
        m_readNotifier->setEnabled(false);
        break;
    }
    rearm();
}

void SimHost::onTimer()
{
    catchUp();
    rearm();
}

void SimHost::rearm()
{
    const qint64 next = m_module.nextEventIn();
    if (next < 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(int(std::min<qint64>(next, 24 * 3600 * 1000)));
}

void SimHost::deliver(const QByteArray &bytes, bool fromNetwork)
{
    if (bytes.isEmpty())
        return;
    emit sent(bytes);
    const bool fits = fromNetwork ? m_pending.size() < kMaxPendingBytes
                                  : m_pending.size() + bytes.size() <= kMaxPendingBytes;
    if (fits)
        m_pending.append(bytes);
    else if (fromNetwork)
        emit networkDataDropped(bytes.size());
    flush();
}

void SimHost::flush()
{
    while (!m_pending.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_pending.constData(), m_pending.size());
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;         // the reader is behind: go on when the line has room
        m_pending.clear(); // the line is broken; what was to go is lost
        break;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
    // Data from the network waits at the far end (and the peer slows down) rather than be
    // lost here: reading stops while half the room is taken, and goes on once the console
    // has read it all.
    const bool reading = m_farEndReading ? m_pending.size() < kMaxPendingBytes / 2
                                         : m_pending.isEmpty();
    if (m_farEnd && reading != m_farEndReading) {
        m_farEndReading = reading;
        m_farEnd->setReading(reading);
    }
}

void SimHost::putOnLine(const QByteArray &bytes)
{
    m_pending.append(bytes);
    flush();
}

void SimHost::dropPending()
{
    m_pending.clear();
    flush();
}

void SimHost::onWritable()
{
    flush();
}

void SimHost::setFarEnd(SimFarEnd *farEnd)
{
    m_farEnd = farEnd;
    m_module.setFarEnd(farEnd);
    if (farEnd)
        farEnd->setListener(this);
}

void SimHost::fromFarEnd(const std::function<QByteArray()> &report)
{
    catchUp();
    deliver(report(), true);
    rearm();
}

void SimHost::linkOpened(int link)
{
    fromFarEnd([&] { return m_module.linkOpened(link); });
}

void SimHost::linkFailed(int link)
{
    fromFarEnd([&] { return m_module.linkFailed(link); });
}

void SimHost::linkReceived(int link, const QByteArray &bytes)
{
    fromFarEnd([&] { return m_module.linkReceived(link, bytes); });
}

void SimHost::linkClosed(int link)
{
    fromFarEnd([&] { return m_module.linkClosed(link); });
}

int SimHost::clientJoined(const QByteArray &ip, int port)
{
    int link = -1;
    fromFarEnd([&] { return m_module.clientJoined(ip, port, &link); });
    return link;
}
