#pragma once

#include "linesettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The small interface every part of the console uses to reach the serial line.
// The app uses QtSerialLink; tests use it over a pseudo-terminal or a fake.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialLink() override = default;

    // Opens the port by its whole system name ("COM7", "ttyUSB0", "/dev/pts/3").
    // On failure returns false, leaves the link closed and says why in *error: a sentence
    // for the user, then the system's own words.
    virtual bool open(const QString &systemName, const LineSettings &settings,
                      QString *error = nullptr) = 0;
    // Closes the port. Bytes handed to write() that had not yet gone out are dropped,
    // those the driver still held too where it can tell, and unsent() says how many.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Hands the bytes to the port without waiting for them to leave. Returns false when
    // the port is closed or the write fails; a failed write also closes the link and
    // emits lost().
    virtual bool write(const QByteArray &bytes) = 0;
    // Bytes handed to write() that have not left for the line yet. A link whose write()
    // hands the bytes on at once has none waiting.
    virtual qint64 bytesToWrite() const { return 0; }

signals:
    // Every byte read, in order, once each.
    void received(const QByteArray &bytes);
    // The port failed while open (unplugged, read or write error) and has been closed;
    // `reason` says so for the user, with the system's own words.
    void lost(const QString &reason);
    // A close or a loss dropped `bytes` bytes that write() had accepted but that had not
    // yet left for the line: the last bytes written. Emitted at once, before close()
    // returns or before lost().
    void unsent(qint64 bytes);
    // `bytes` more of what write() accepted have left for the line. A link whose write()
    // hands the bytes on at once need not say so.
    void bytesWritten(qint64 bytes);
};
