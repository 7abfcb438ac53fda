#include "qtseriallink.h"

#include "portfailure.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>
#endif

QtSerialLink::QtSerialLink(QObject *parent) : SerialLink(parent), m_port(this)
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialLink::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialLink::onError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialLink::bytesWritten);
}

QtSerialLink::~QtSerialLink()
{
    m_live = false;
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialLink::open(const QString &systemName, const LineSettings &settings, QString *error)
{
    close();
    m_port.clearError();
    m_port.setPortName(systemName);
    // Everything that arrives is kept until it has been handed on: a bounded buffer
    // would stop reading or lose bytes when the module talks faster than we append.
    m_port.setReadBufferSize(0);

    const auto refuse = [error](const PortFailure &failure) {
        if (error)
            *error = failure.text();
        return false;
    };
    const auto settingFailure = [this, &systemName](PortFailure::Kind kind, const QString &value) {
        PortFailure failure;
        failure.kind = kind;
        failure.device = PortFailure::deviceOf(systemName);
        failure.value = value;
        failure.systemText = m_port.errorString();
        return failure;
    };

#ifndef Q_OS_WIN
    // A terminal here has one or two stop bits; the port component would quietly open
    // with one. Only Windows can set one and a half (and its driver judges the line).
    if (settings.stopBits == QSerialPort::OneAndHalfStop) {
        PortFailure failure =
            settingFailure(PortFailure::Kind::StopBitsRefused, QStringLiteral("1.5"));
        failure.systemText.clear();
        return refuse(failure);
    }
#endif

    // A program that closes a port gives up its lock on it a moment after the device
    // itself (the port component closes the device first), and a port just closed may be
    // the next one handed out: a port that reads as held is tried again for a moment
    // before it counts as held. A real holder keeps its lock for as long as it has the port.
    const QDeadlineTimer lockSettles(kLockSettleMs);
    while (!m_port.open(QIODevice::ReadWrite)) {
        const PortFailure failure =
            PortFailure::ofOpen(systemName, m_port.error(), m_port.errorString());
        if (failure.kind != PortFailure::Kind::Busy || lockSettles.hasExpired())
            return refuse(failure);
        QThread::msleep(5);
    }

    const auto refused = [&](PortFailure::Kind kind, const QString &value) {
        const PortFailure failure = settingFailure(kind, value);
        m_port.close();
        return refuse(failure);
    };
    if (!m_port.setBaudRate(settings.baudRate))
        return refused(PortFailure::Kind::SpeedRefused, QString::number(settings.baudRate));
    if (!m_port.setDataBits(QSerialPort::Data8))
        return refused(PortFailure::Kind::SettingRefused, QStringLiteral("8 位数据位"));
    if (!m_port.setParity(QSerialPort::NoParity))
        return refused(PortFailure::Kind::SettingRefused, QStringLiteral("无校验"));
    if (!m_port.setStopBits(settings.stopBits))
        return refused(PortFailure::Kind::StopBitsRefused, stopBitsText(settings.stopBits));
    if (!m_port.setFlowControl(QSerialPort::NoFlowControl))
        return refused(PortFailure::Kind::SettingRefused, QStringLiteral("无流控"));
    // Whatever the line held before we opened it belongs to nobody.
    if (!m_port.clear(QSerialPort::AllDirections))
        return refused(PortFailure::Kind::SettingRefused, QStringLiteral("清空缓冲区"));

    ++m_session;
    m_live = true;
    return true;
}

void QtSerialLink::close()
{
    m_live = false;
    closePort();
}

void QtSerialLink::closePort(qint64 uncounted)
{
    if (!m_port.isOpen())
        return;
    // What still waits in the write buffer never reaches the line once the port is closed,
    // nor does what the driver still holds: it is thrown away rather than left to drain
    // for as long as the driver would wait on the close.
    const qint64 dropped = m_port.bytesToWrite() - uncounted + takeBackFromDriver();
    m_port.close();
    if (dropped > 0)
        emit unsent(dropped);
}

qint64 QtSerialLink::takeBackFromDriver()
{
#ifdef Q_OS_UNIX
    // Where the driver can tell: a UART's buffer, a USB adapter's queue. A pseudo-terminal
    // always says 0 (what the other side has not read yet is not its own to count), and a
    // device that is gone answers nothing: there the bytes stay counted as sent.
    const int fd = int(m_port.handle());
    int held = 0;
    if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &held) != 0 || held <= 0)
        return 0;
    // Output stopped, nothing moves on while we look; what is already on its way (in the
    // chip, or a USB transfer under way) still goes, and is what is left after the flush.
    ::tcflow(fd, TCOOFF);
    int before = 0;
    int after = 0;
    if (::ioctl(fd, TIOCOUTQ, &before) != 0)
        before = 0;
    ::tcflush(fd, TCOFLUSH);
    if (::ioctl(fd, TIOCOUTQ, &after) != 0)
        after = 0;
    // A terminal keeps its state after the close while another side holds it open.
    ::tcflow(fd, TCOON);
    return qMax(0, before - after);
#else
    return 0;
#endif
}

bool QtSerialLink::isOpen() const
{
    return m_live && m_port.isOpen();
}

bool QtSerialLink::write(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    const qint64 written = m_port.write(bytes);
    if (written == bytes.size())
        return true;
    // write() may already have reported the failure through errorOccurred; fail() acts
    // only once either way. The part of these bytes it took was never counted as sent.
    const QString reason = m_port.errorString();
    fail(reason.isEmpty() ? QStringLiteral("write failed") : reason, qMax(written, qint64(0)));
    return false;
}

qint64 QtSerialLink::bytesToWrite() const
{
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

void QtSerialLink::onReadyRead()
{
    deliverWaiting();
}

void QtSerialLink::deliverWaiting()
{
    if (!m_port.isOpen())
        return;
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

void QtSerialLink::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    // A pseudo-terminal refuses modem-line queries; the port still works.
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::TimeoutError:
        return;
    default:
        break;
    }
    // Errors while opening are reported by open() itself; after a failure the port keeps
    // reporting the same fault many times over until it is closed, and those are ignored.
    if (!m_live)
        return;
    fail(m_port.errorString());
}

void QtSerialLink::fail(const QString &reason, qint64 uncounted)
{
    if (!m_live)
        return;
    m_live = false;
    const quint64 session = m_session;
    // Bytes read before the fault are still the module's and are handed on first.
    deliverWaiting();
    // Whoever took those bytes may have opened the port again in the meantime.
    if (session != m_session)
        return;
    bool hungUp = false;
#ifdef Q_OS_UNIX
    // An unplugged adapter's terminal hangs up at once, and its node goes a moment later:
    // a hung-up terminal answers every query with EIO.
    termios settings{};
    hungUp = m_port.isOpen() && ::tcgetattr(int(m_port.handle()), &settings) != 0 && errno == EIO;
#endif
    // Closing at once stops the flood of further errors a vanished device raises.
    closePort(uncounted);
    const QString why = PortFailure::ofLoss(m_port.portName(), reason, hungUp).text();
    // The window answers a lost port with a modal box, which must not run inside the
    // port's own notification.
    QMetaObject::invokeMethod(
        this,
        [this, session, why] {
            if (session == m_session)
                emit lost(why);
        },
        Qt::QueuedConnection);
}
