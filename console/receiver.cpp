#include "receiver.h"

#include "bytecount.h"
#include "logsink.h"
#include "seriallink.h"

namespace {

// Each byte as two upper-case hex digits, one blank between bytes, a line break after
// each LF byte.
void appendHex(QByteArrayView bytes, bool lineOpen, QString &out)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    const qsizetype start = out.size();
    out.resize(start + 4 * bytes.size());
    QChar *const first = out.data() + start;
    QChar *p = first;
    for (const char c : bytes) {
        const auto byte = uchar(c);
        if (lineOpen)
            *p++ = u' ';
        *p++ = kDigits[byte >> 4];
        *p++ = kDigits[byte & 0xF];
        lineOpen = byte != '\n';
        if (!lineOpen)
            *p++ = u'\n';
    }
    out.truncate(start + (p - first));
}

} // namespace

Receiver::Receiver(SerialLink &link, LogSink &log, ByteCount &rxCount, LineStamps::Clock clock)
    : m_link(link), m_log(log), m_count(rxCount), m_clock(std::move(clock))
{
    m_watch = QObject::connect(&m_link, &SerialLink::received, &m_link,
                               [this](const QByteArray &bytes) { receive(bytes); });
}

Receiver::~Receiver()
{
    QObject::disconnect(m_watch);
}

void Receiver::setUtf8(bool on)
{
    m_text.decoder().setEncoding(on ? ReceiveDecoder::Encoding::Utf8
                                    : ReceiveDecoder::Encoding::Gbk);
}

void Receiver::receive(const QByteArray &bytes)
{
    m_count.add(quint64(bytes.size()));
    QByteArrayView rest(bytes);
    QString shown;
    if (m_hexNext != m_hex && !changeView(rest, shown)) {
        show(shown);
        return;
    }
    if (!m_hex) {
        shown += m_text.feed(rest);
    } else {
        appendHex(rest, lineOpen(shown), shown);
    }
    show(std::move(shown));
}

// Bytes at the start of `bytes` that finish a character half received are shown as text
// first; false when `bytes` ends before the character does, and the view is not changed yet.
bool Receiver::changeView(QByteArrayView &bytes, QString &shown)
{
    if (!m_hex) {
        QString text;
        const bool finished = m_text.decoder().finishCharacter(bytes, text);
        shown += m_text.feedText(text);
        if (!finished)
            return false;
        shown += m_text.endText();
    }
    m_hex = m_hexNext;
    breakLine(shown);
    return true;
}

// The log's last line goes on: `shown`, about to be appended, or else the log, ends
// without a line break.
bool Receiver::lineOpen(const QString &shown) const
{
    return shown.isEmpty() ? !m_stamps.atLineStart() : !shown.endsWith(u'\n');
}

// What follows begins a line of its own.
void Receiver::breakLine(QString &shown) const
{
    if (lineOpen(shown))
        shown += u'\n';
}

void Receiver::note(const QString &text)
{
    QString shown;
    if (!m_hex)
        shown += m_text.endText();
    breakLine(shown);
    shown += text;
    shown += u'\n';
    show(std::move(shown));
}

void Receiver::logCleared()
{
    m_text.logCleared();
    m_stamps.logCleared();
    m_lineBegan.reset();
}

void Receiver::show(QString shown)
{
    if (!m_stamps.on()) {
        m_lineBegan.reset();
        if (!shown.isEmpty())
            m_log.appendText(m_stamps.stamp(shown, {}, {}));
        return;
    }
    const QTime now = m_clock();
    if (!shown.isEmpty()) {
        m_log.appendText(m_stamps.stamp(shown, m_lineBegan.value_or(now), now));
        m_lineBegan.reset();
    }
    // Blanks or half a character held back at the start of a line: the line began now.
    if (!m_lineBegan && m_stamps.atLineStart() && !m_hex &&
        (m_text.holdsBlanks() || m_text.decoder().midCharacter()))
        m_lineBegan = now;
}
