#include "receivedecoder.h"

#include "wirecodec.h"

#include <utility>

namespace {

// Whether a GBK stream that stood after a lead byte (`afterLead`) or not stands after one
// once `bytes` have followed.
bool gbkEndsAfterLead(bool afterLead, QByteArrayView bytes)
{
    // A byte that can neither end nor begin a character ends what came before it, so only
    // the bytes after the last such one need a look (the CR LF of a line: none at all).
    qsizetype from = bytes.size();
    while (from > 0) {
        const uchar byte = uchar(bytes[from - 1]);
        if (byte < 0x40 || byte == 0x7F || byte == 0xFF)
            break;
        --from;
    }
    if (from > 0)
        afterLead = false;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const uchar byte = uchar(bytes[i]);
        afterLead = afterLead && isGbkTrail(byte) ? false : isGbkLead(byte);
    }
    return afterLead;
}

// The length of the UTF-8 character a byte begins; 0 when it begins none.
int utf8Length(uchar lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Whether `byte` may stand at `index` (1, 2 or 3) of the character `lead` begins. The second
// byte is narrower after some leads: no overlong forms, no surrogates, nothing past U+10FFFF.
bool utf8Continues(uchar lead, qsizetype index, uchar byte)
{
    if (index == 1) {
        switch (lead) {
        case 0xE0:
            return byte >= 0xA0 && byte <= 0xBF;
        case 0xED:
            return byte >= 0x80 && byte <= 0x9F;
        case 0xF0:
            return byte >= 0x90 && byte <= 0xBF;
        case 0xF4:
            return byte >= 0x80 && byte <= 0x8F;
        default:
            break;
        }
    }
    return byte >= 0x80 && byte <= 0xBF;
}

// The end of `bytes` that begins a UTF-8 character and does not complete it (empty if none).
QByteArrayView utf8Unfinished(QByteArrayView bytes)
{
    for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const QByteArrayView tail = bytes.last(back);
        const uchar lead = uchar(tail[0]);
        if (lead >= 0x80 && lead <= 0xBF)
            continue;
        if (utf8Length(lead) <= back)
            return {};
        for (qsizetype i = 1; i < back; ++i) {
            if (!utf8Continues(lead, i, uchar(tail[i])))
                return {};
        }
        return tail;
    }
    return {};
}

} // namespace

ReceiveDecoder::ReceiveDecoder()
    : m_gbk(std::make_unique<WireDecoder>()),
      // Stateless: the decoder's own carrying of a character across reads loses the byte
      // after a character cut short. A byte-order mark is three bytes received like any
      // other: it is shown, not skipped.
      m_utf8(QStringDecoder::Utf8,
             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
{}

ReceiveDecoder::~ReceiveDecoder() = default;

QString ReceiveDecoder::decode(QByteArrayView bytes)
{
    QString text;
    if (m_next != m_encoding) {
        if (!finishCharacter(bytes, text))
            return text; // the character's end is still to come
        m_encoding = m_next;
    }
    if (text.isEmpty())
        return decodeNow(bytes);
    text += decodeNow(bytes);
    return text;
}

qsizetype ReceiveDecoder::continuing(QByteArrayView next) const
{
    if (m_partial.isEmpty() || next.isEmpty())
        return 0;
    if (m_encoding == Encoding::Gbk)
        return isGbkTrail(uchar(next[0])) ? 1 : 0;
    const uchar lead = uchar(m_partial[0]);
    const qsizetype missing = utf8Length(lead) - m_partial.size();
    qsizetype taken = 0;
    while (taken < missing && taken < next.size() &&
           utf8Continues(lead, m_partial.size() + taken, uchar(next[taken])))
        ++taken;
    return taken;
}

bool ReceiveDecoder::finishCharacter(QByteArrayView &bytes, QString &text)
{
    if (const qsizetype taken = continuing(bytes)) {
        text += decodeNow(bytes.first(taken));
        bytes = bytes.sliced(taken);
    }
    if (m_partial.isEmpty())
        return true;
    if (bytes.isEmpty())
        return false;
    text += flush();
    return true;
}

QString ReceiveDecoder::flush()
{
    if (m_partial.isEmpty())
        return {};
    if (m_encoding == Encoding::Utf8)
        return m_utf8.decode(std::exchange(m_partial, {}));
    m_partial.clear();
    m_gbk = std::make_unique<WireDecoder>();
    return QString(QChar(QChar::ReplacementCharacter));
}

QString ReceiveDecoder::decodeNow(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    if (m_encoding == Encoding::Gbk) {
        const bool afterLead = gbkEndsAfterLead(!m_partial.isEmpty(), bytes);
        if (afterLead)
            m_partial = QByteArray(1, bytes.back());
        else if (!m_partial.isEmpty())
            m_partial.clear();
        return m_gbk->decode(bytes);
    }
    // The decoder is handed only whole characters (and bytes that are none); the end of a
    // character still to come is kept here, the start of the next read completes it.
    QByteArray joined;
    if (!m_partial.isEmpty()) {
        joined = std::exchange(m_partial, {}) + bytes.toByteArray();
        bytes = joined;
    }
    const QByteArrayView unfinished = utf8Unfinished(bytes);
    m_partial = unfinished.toByteArray();
    return m_utf8.decode(bytes.first(bytes.size() - unfinished.size()));
}
