#include "freeformsender.h"

#include "composers.h"
#include "transmitter.h"
#include "wirecodec.h"

FreeFormSender::FreeFormSender(Transmitter &transmitter, std::function<QString()> inputText,
                               QTimer &timer5)
    : m_transmitter(transmitter), m_inputText(std::move(inputText)), m_timer(timer5)
{
    m_timer.setObjectName(QStringLiteral("Timer5"));
    m_timer.setSingleShot(true);
    m_timer.setInterval(kPayloadDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &FreeFormSender::tick);
}

void FreeFormSender::clickAtSend()
{
    if (!m_transmitter.openOrWarn())
        return;
    // The announced length is that of the payload as it will go on the wire, without
    // the CR LF that ends it.
    const qsizetype length = WireCodec::byteLength(inputToWire(m_inputText()));
    if (!m_transmitter.SendAtCommand(Composers::sendAnnouncement(length)))
        return; // the port went away with the announcement: no payload to follow
    // A payload already pending keeps its time: one payload follows however many
    // announcements went before it.
    if (!m_timer.isActive())
        m_timer.start();
}

void FreeFormSender::clickTextSend()
{
    if (!m_transmitter.openOrWarn())
        return;
    m_transmitter.sendRaw(inputToWire(m_inputText()));
}

void FreeFormSender::tick()
{
    m_timer.stop();
    // The port may have been closed or lost during the wait: the payload then has nowhere
    // to go, and nothing is logged or counted.
    if (!m_transmitter.portOpen())
        return;
    // The box as it is now, which may differ from what was announced.
    m_transmitter.SendAtCommand(inputToWire(m_inputText()));
}

QString inputToWire(const QString &boxText)
{
    // The box breaks lines with "\n"; the module expects CR LF. A CR LF already in the
    // text stays one break rather than gaining a second CR.
    QString wire;
    wire.reserve(boxText.size() + boxText.count(u'\n'));
    for (qsizetype i = 0; i < boxText.size(); ++i) {
        const QChar c = boxText.at(i);
        if (c == u'\n' && (i == 0 || boxText.at(i - 1) != u'\r'))
            wire += u'\r';
        wire += c;
    }
    return wire;
}
