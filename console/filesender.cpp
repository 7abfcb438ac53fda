#include "filesender.h"

#include "messageseam.h"
#include "seriallink.h"
#include "transmitter.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

FileSender::FileSender(Transmitter &transmitter, SerialLink &link, MessageSeam &messages)
    : m_transmitter(transmitter), m_link(link), m_messages(messages)
{
    connect(&m_link, &SerialLink::bytesWritten, this, &FileSender::pump);
    // A loss with nothing of the file waiting drops nothing: the next turn sees it.
    connect(&m_link, &SerialLink::lost, this, &FileSender::pump);
    m_transmitter.setFileCut([this](qint64 bytes) { cut(bytes); });
}

FileSender::~FileSender()
{
    m_transmitter.setFileCut({});
}

void FileSender::chooseAndSend(const std::function<QString()> &pickFile)
{
    if (!m_transmitter.openOrWarn())
        return;
    if (sending()) {
        m_messages.warn(
            MessageSeam::kWarnTitle,
            QStringLiteral("文件 %1 正在发送（已发出 %2 / %3 字节），发完后才能发送下一个文件。")
                .arg(m_name)
                .arg(m_handed - m_transmitter.fileBytesWaiting())
                .arg(m_size));
        return;
    }
    const QString path = pickFile();
    // The port may have gone while the person chose.
    if (path.isEmpty() || !m_transmitter.openOrWarn())
        return;
    start(path);
}

bool FileSender::start(const QString &path)
{
    const QFileInfo info(path);
    auto file = std::make_unique<QFile>(path);
    // A device or a pipe has no end to send up to.
    if (info.exists() && !info.isFile()) {
        m_messages.error(MessageSeam::kErrorTitle,
                         QStringLiteral("%1 不是普通文件，不能发送。").arg(info.fileName()));
        return false;
    }
    if (!file->open(QIODevice::ReadOnly)) {
        m_messages.error(MessageSeam::kErrorTitle, QStringLiteral("无法读取文件 %1。").arg(path),
                         file->errorString());
        return false;
    }
    m_file = std::move(file);
    m_name = info.fileName();
    m_size = m_file->size();
    m_handed = 0;
    m_transmitter.note(QStringLiteral("（发送文件 %1：%2 字节）").arg(m_name).arg(m_size));
    pump();
    return true;
}

void FileSender::pumpSoon()
{
    if (m_pumpPending)
        return;
    m_pumpPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_pumpPending = false;
            pump();
        },
        Qt::QueuedConnection);
}

void FileSender::pump()
{
    if (!m_file)
        return;
    if (!m_transmitter.portOpen()) {
        cut(0);
        return;
    }
    while (m_handed < m_size && m_link.bytesToWrite() < kAheadBytes) {
        const QByteArray piece = m_file->read(qMin(kPieceBytes, m_size - m_handed));
        if (piece.isEmpty()) {
            const QString why =
                m_file->atEnd()
                    ? QStringLiteral("文件比开始发送时短了 %1 字节。").arg(m_size - m_handed)
                    : m_file->errorString();
            m_messages.error(MessageSeam::kErrorTitle,
                             QStringLiteral("读取文件 %1 时出错，发送已停止。").arg(m_name), why);
            // The file may have been cut shorter meanwhile: what was handed goes.
            cut(0);
            return;
        }
        // A write that fails is a lost port; the link's report of what it dropped has
        // ended the file already, or ends it here.
        if (!m_transmitter.sendFilePiece(piece)) {
            cut(0);
            return;
        }
        m_handed += piece.size();
        // A link that takes the bytes at once reports nothing afterwards: one piece a turn.
        if (m_link.bytesToWrite() == 0)
            break;
    }
    if (m_handed == m_size && m_transmitter.fileBytesWaiting() == 0) {
        finish();
        return;
    }
    if (m_link.bytesToWrite() == 0)
        pumpSoon();
}

void FileSender::cut(qint64 droppedBytes)
{
    // A close just after the last piece left the link can still drop the file's tail that
    // the driver held: the file that went last says so too.
    if (!m_file && droppedBytes == 0)
        return;
    const qint64 left = m_handed - droppedBytes;
    m_transmitter.note(QStringLiteral("（发送文件 %1 被中断：已发出 %2 字节，%3 字节未发出）")
                           .arg(m_name)
                           .arg(left)
                           .arg(m_size - left));
    m_handed = left;
    if (m_file)
        finish();
}

void FileSender::finish()
{
    m_file.reset();
    emit finished();
}
