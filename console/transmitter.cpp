#include "transmitter.h"

#include "bytecount.h"
#include "logsink.h"
#include "messageseam.h"
#include "seriallink.h"
#include "wirecodec.h"

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
}

Transmitter::Transmitter(SerialLink &link, LogSink &sendLog, ByteCount &txCount,
                         MessageSeam &messages)
    : m_link(link), m_sendLog(sendLog), m_txCount(txCount), m_messages(messages)
{
    m_unsentWatch = QObject::connect(&m_link, &SerialLink::unsent, &m_link,
                                     [this](qint64 bytes) { cutShort(bytes); });
}

Transmitter::~Transmitter()
{
    QObject::disconnect(m_unsentWatch);
}

bool Transmitter::runCommand(const std::function<std::optional<QString>()> &compose)
{
    // The port is asked at the click; with it closed the controls are not even read.
    if (!openOrWarn())
        return false;
    const std::optional<QString> command = compose();
    if (!command)
        return false;
    return SendAtCommand(*command);
}

bool Transmitter::SendAtCommand(const QString &text)
{
    return transmit(text + kLineEnd);
}

bool Transmitter::sendRaw(const QString &text)
{
    return transmit(text);
}

void Transmitter::WarnNotConnected()
{
    m_messages.warn(MessageSeam::kWarnTitle, QStringLiteral("串口尚未连接！"));
}

bool Transmitter::openOrWarn()
{
    if (portOpen())
        return true;
    WarnNotConnected();
    return false;
}

bool Transmitter::portOpen() const
{
    return m_link.isOpen();
}

bool Transmitter::transmit(const QString &wireText)
{
    // Empty raw text: nothing goes out, so there is nothing to log or count.
    if (wireText.isEmpty())
        return true;
    const WireCodec::Encoded encoded = WireCodec::encode(wireText);
    // A write that fails while the port claimed to be open is a lost port: the link
    // closes and says so; what did not go out is neither logged nor counted.
    if (!write(encoded.bytes))
        return false;
    // The log shows what the wire carried, "?" for what GBK could not encode.
    QString logged = encoded.text;
    logged.replace(kLineEnd, QStringLiteral("\n"));
    m_sendLog.appendText(logged);
    m_lineOpen = !logged.endsWith(u'\n');
    m_txCount.add(static_cast<quint64>(encoded.bytes.size()));
    return true;
}

bool Transmitter::sendFilePiece(const QByteArray &bytes)
{
    forgetFilePiecesGone();
    const qint64 begin = m_written;
    if (!write(bytes))
        return false;
    // Pieces that follow each other on the wire are one stretch of it.
    if (!m_filePieces.isEmpty() && m_filePieces.constLast().second == begin)
        m_filePieces.last().second = m_written;
    else
        m_filePieces.append({begin, m_written});
    m_txCount.add(static_cast<quint64>(bytes.size()));
    return true;
}

qint64 Transmitter::fileBytesWaiting() const
{
    return fileBytesFrom(m_written - m_link.bytesToWrite());
}

qint64 Transmitter::fileBytesFrom(qint64 from) const
{
    qint64 bytes = 0;
    for (const auto &[begin, end] : std::as_const(m_filePieces))
        bytes += qMax<qint64>(0, end - qMax(begin, from));
    return bytes;
}

void Transmitter::note(const QString &text)
{
    m_sendLog.appendText(m_lineOpen ? QStringLiteral("\n") + text + u'\n' : text + u'\n');
    m_lineOpen = false;
}

bool Transmitter::write(const QByteArray &bytes)
{
    if (!m_link.write(bytes))
        return false;
    m_written += bytes.size();
    return true;
}

void Transmitter::forgetFilePiecesGone()
{
    // Bytes leave the link in the order they were written. A close may still take back
    // what the driver holds beyond the link's own buffer, a few kilobytes at most: the
    // file's stretches are kept until they are well behind that.
    constexpr qint64 kDriverHoldsAtMost = 1024 * 1024;
    const qint64 goneBefore = m_written - m_link.bytesToWrite() - kDriverHoldsAtMost;
    while (!m_filePieces.isEmpty() && m_filePieces.constFirst().second <= goneBefore)
        m_filePieces.removeFirst();
}

void Transmitter::cutShort(qint64 unsentBytes)
{
    // What was dropped is the last unsentBytes written; the file pieces among them are the
    // file's to report.
    const qint64 droppedFrom = m_written - unsentBytes;
    const qint64 fileBytes = fileBytesFrom(droppedFrom);
    m_filePieces.clear();
    m_written = droppedFrom;
    m_txCount.takeBack(static_cast<quint64>(unsentBytes));
    // The log already shows the whole text; it cannot take back its tail, so it says on a
    // line of its own how much of it never left.
    if (const qint64 textBytes = unsentBytes - fileBytes; textBytes > 0)
        note(QStringLiteral("（发送被中断：%1 字节未发出）").arg(textBytes));
    if (fileBytes > 0 && m_fileCut)
        m_fileCut(fileBytes);
}
