#pragma once

#include <QMetaObject>
#include <QString>

#include <functional>
#include <optional>

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

    // "串口尚未连接！" titled "温馨提示！", exclamation icon, OK only.
    void WarnNotConnected();

    // The guard every sending click starts with: true when the port is open now;
    // otherwise WarnNotConnected and false.
    bool openOrWarn();

    bool portOpen() const;

private:
    bool transmit(const QString &wireText);
    void cutShort(qint64 unsentBytes);

    SerialLink &m_link;
    LogSink &m_sendLog;
    ByteCount &m_txCount;
    MessageSeam &m_messages;
    QMetaObject::Connection m_unsentWatch;
    bool m_lineOpen = false; // the send log's last text did not end with a line break
};
