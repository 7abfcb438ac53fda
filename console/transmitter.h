#pragma once

#include <QMetaObject>
#include <QString>

#include <QList>

#include <functional>
#include <optional>
#include <utility>

class SerialLink;
class LogSink;
class ByteCount;
class MessageSeam;

// The transmit routine every command button shares: test the port at the click, compose,
// write the line, echo it into the send log and count what was written.
class Transmitter
{
public:
    // Also listens to the link: bytes a close or a loss drops before they went out are
    // taken back from TxCount, and the send log says the send was cut short.
    Transmitter(SerialLink &link, LogSink &sendLog, ByteCount &txCount, MessageSeam &messages);
    ~Transmitter();
    Transmitter(const Transmitter &) = delete;
    Transmitter &operator=(const Transmitter &) = delete;

    // The frame of a command button: when the port is closed, WarnNotConnected and nothing
    // else; otherwise compose (reading the controls now) and, when it gives a command,
    // SendAtCommand it. Returns true when a line went out.
    bool runCommand(const std::function<std::optional<QString>()> &compose);

    // Writes text + CR LF, appends the line as it went on the wire to the send log, moves
    // the caret to the end and adds the bytes written to TxCount. A write that fails leaves
    // the log and TxCount unchanged (the link reports the lost port) and returns false.
    bool SendAtCommand(const QString &text);

    // Writes text unchanged (no terminator), logs and counts it like SendAtCommand.
    bool sendRaw(const QString &text);

    // A piece of a file: written as it is and counted, not logged (the file's own note in
    // the send log says what goes). False when the write failed.
    bool sendFilePiece(const QByteArray &bytes);
    // Bytes of file pieces handed to the link that have not left for the line yet.
    qint64 fileBytesWaiting() const;
    // Told, when a close or a loss drops bytes before they left, how many of them were
    // bytes of file pieces; those are taken back from TxCount like the rest, and the
    // send log's note of the cut-short send counts only the others.
    void setFileCut(std::function<void(qint64 fileBytes)> told) { m_fileCut = std::move(told); }

    // Appends a note to the send log on a line of its own.
    void note(const QString &text);

    // "串口尚未连接！" titled "温馨提示！", exclamation icon, OK only.
    void WarnNotConnected();

    // The guard every sending click starts with: true when the port is open now;
    // otherwise WarnNotConnected and false.
    bool openOrWarn();

    bool portOpen() const;

private:
    bool transmit(const QString &wireText);
    bool write(const QByteArray &bytes);
    void forgetFilePiecesGone();
    // The bytes of the file's stretches written at or after position `from`.
    qint64 fileBytesFrom(qint64 from) const;
    void cutShort(qint64 unsentBytes);

    SerialLink &m_link;
    LogSink &m_sendLog;
    ByteCount &m_txCount;
    MessageSeam &m_messages;
    QMetaObject::Connection m_unsentWatch;
    bool m_lineOpen = false; // the send log's last text did not end with a line break
    // Everything written so far, counted in bytes: where the file's pieces stand in it, for
    // those a close could still drop, first to last.
    qint64 m_written = 0;
    QList<std::pair<qint64, qint64>> m_filePieces; // [begin, end) of m_written
    std::function<void(qint64)> m_fileCut;
};
