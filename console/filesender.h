#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QFile;
class MessageSeam;
class SerialLink;
class Transmitter;

// "发送文件…": a file's bytes go out as they are, nothing converted and nothing added,
// counted in TxCount as they are handed to the link. The file is read and handed over a
// piece at a time as the link gets its bytes out, so a large file never sits in memory
// whole and the window goes on answering while it goes. The send log notes the file on a
// line of its own when it starts; a close or a loss of the port stops it, TxCount keeps
// only what left, and a second note says how much went.
class FileSender : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kPieceBytes = 4096;
    // The most the link holds of the file at a time: what a close could drop, and how long
    // a command line sent meanwhile waits behind the file.
    static constexpr qint64 kAheadBytes = 16384;

    FileSender(Transmitter &transmitter, SerialLink &link, MessageSeam &messages);
    ~FileSender() override;

    // With the port closed, the not-connected warning. While a file goes out, a box says
    // so and nothing else happens. Otherwise pickFile is asked for a file (empty: the
    // person changed their mind) and it starts going out.
    void chooseAndSend(const std::function<QString()> &pickFile);

    bool sending() const { return m_file != nullptr; }

signals:
    // The file has left whole, or was stopped.
    void finished();

private:
    bool start(const QString &path);
    void pump();
    void pumpSoon();
    // The port went away; `droppedBytes` of the file had been handed to it but not left.
    // Also for the file sent last, when its tail was still in the driver.
    void cut(qint64 droppedBytes);
    void finish();

    Transmitter &m_transmitter;
    SerialLink &m_link;
    MessageSeam &m_messages;
    std::unique_ptr<QFile> m_file;
    QString m_name;
    qint64 m_size = 0;
    qint64 m_handed = 0; // bytes of the file handed to the link
    bool m_pumpPending = false;
};
