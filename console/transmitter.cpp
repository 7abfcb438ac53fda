#include "transmitter.h"
// stub: to be written
Transmitter::Transmitter(SerialLink &link, LogSink &sendLog, ByteCount &txCount, MessageSeam &messages)
    : m_link(link), m_sendLog(sendLog), m_txCount(txCount), m_messages(messages) {}
bool Transmitter::runCommand(const std::function<std::optional<QString>()> &) { return false; }
bool Transmitter::SendAtCommand(const QString &) { return false; }
bool Transmitter::sendRaw(const QString &) { return false; }
void Transmitter::WarnNotConnected() {}
bool Transmitter::portOpen() const { return false; }
bool Transmitter::transmit(const QString &) { return false; }
