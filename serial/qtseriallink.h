#pragma once

#include "seriallink.h"

#include <QSerialPort>

// SerialLink over QSerialPort. Reads everything that waits on each notification, keeps
// Qt's read buffer unbounded, and closes the port (emitting lost()) when it fails while
// open. An error that only says the operation is not supported by this kind of port
// (a pseudo-terminal refuses modem-line queries) is not a failure.
class QtSerialLink : public SerialLink
{
    Q_OBJECT
public:
    // How long a port that reads as held by another program is tried again.
    static constexpr int kLockSettleMs = 100;

    explicit QtSerialLink(QObject *parent = nullptr);
    ~QtSerialLink() override;

    bool open(const QString &systemName, const LineSettings &settings,
              QString *error = nullptr) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    // `uncounted`: bytes of a failed write that are still in the write buffer but were
    // never reported as written.
    void fail(const QString &reason, qint64 uncounted = 0);
    // Closes the port and reports what it dropped from the write buffer, less `uncounted`,
    // and from the driver's buffer.
    void closePort(qint64 uncounted = 0);
    // Empties the driver's buffer of bytes not yet on the line; returns how many it held.
    qint64 takeBackFromDriver();
    void deliverWaiting();

    QSerialPort m_port;
    // True from a successful open until the port is closed by the user or by a failure;
    // errors outside that span (while opening, while closing) are not a lost port.
    bool m_live = false;
    // Counts opens, so that a loss reported late is not applied to a later session.
    quint64 m_session = 0;
};
