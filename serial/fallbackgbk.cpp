#include "gbkconverter.h"
#include "wirecodec.h"

#include <QTextCodec>

// GBK through the codec of Qt's compatibility module. Builds of that codec differ: where
// Qt has ICU it hands the work to ICU; without ICU it uses Qt's own GBK tables, which need
// not share ICU's habits (the euro sign as a two-byte character, a lead byte that takes
// the byte after it down with it, errors counted or not). So the codec is asked only to
// map whole, well-formed two-byte characters; how the bytes divide into characters, code
// page 936's one-byte euro sign, and which characters go out as "?" are decided here, the
// same whichever build runs.

namespace {

constexpr char16_t kEuro = 0x20AC;
constexpr char kEuroByte = '\x80';
// Runs of two-byte characters go to the codec in pieces of at most this many bytes.
constexpr qsizetype kMaxRun = 1 << 20;

// Appends the characters of whole, well-formed two-byte characters.
void appendPairs(const QTextCodec *codec, const char *pairs, qsizetype size, QString *out)
{
    if (size == 0)
        return;
    const QString text = codec->toUnicode(pairs, int(size));
    if (text.size() == size / 2) {
        out->append(text);
        return;
    }
    // Not one character a pair: pair by pair, one the codec cannot read standing as U+FFFD.
    for (qsizetype at = 0; at < size; at += 2) {
        const QString one = codec->toUnicode(pairs + at, 2);
        out->append(one.size() == 1 ? one.at(0) : QChar(QChar::ReplacementCharacter));
    }
}

// Decodes the bytes after *pendingLead (a lead byte left over from the last call, or -1);
// a lead byte at the very end is left in *pendingLead for the next call.
QString decodeStream(const QTextCodec *codec, QByteArrayView bytes, int *pendingLead)
{
    const char *const data = bytes.data();
    const qsizetype size = bytes.size();
    QString out;
    out.reserve(size + 1);
    qsizetype at = 0;
    if (*pendingLead >= 0 && size > 0) {
        if (isGbkTrail(uchar(data[0]))) {
            const char pair[2] = {char(*pendingLead), data[0]};
            appendPairs(codec, pair, 2, &out);
            at = 1;
        } else {
            // The byte after it cannot end a character: the lead alone is no GBK, and that
            // byte is read afresh.
            out.append(QChar(QChar::ReplacementCharacter));
        }
        *pendingLead = -1;
    }
    qsizetype runStart = at;
    while (at < size) {
        const uchar byte = uchar(data[at]);
        if (isGbkLead(byte) && at + 1 < size && isGbkTrail(uchar(data[at + 1]))) {
            at += 2;
            if (at - runStart >= kMaxRun) {
                appendPairs(codec, data + runStart, at - runStart, &out);
                runStart = at;
            }
            continue;
        }
        appendPairs(codec, data + runStart, at - runStart, &out);
        if (byte < 0x80)
            out.append(QChar(byte));
        else if (byte == uchar(kEuroByte))
            out.append(QChar(kEuro));
        else if (isGbkLead(byte) && at + 1 == size)
            *pendingLead = byte;
        else
            out.append(QChar(QChar::ReplacementCharacter));
        ++at;
        runStart = at;
    }
    appendPairs(codec, data + runStart, size - runStart, &out);
    return out;
}

QString decodeWhole(const QTextCodec *codec, QByteArrayView bytes)
{
    int pendingLead = -1;
    QString text = decodeStream(codec, bytes, &pendingLead);
    if (pendingLead >= 0)
        text.append(QChar(QChar::ReplacementCharacter));
    return text;
}

class FallbackCharacterEncoder : public GbkCharacterEncoder
{
public:
    explicit FallbackCharacterEncoder(const QTextCodec *codec) : m_codec(codec) {}

    // The codec's bytes count only if they are one well-formed character that reads back
    // as it.
    bool append(QStringView character, QByteArray *bytes) override
    {
        if (character.size() == 1 && character.at(0).unicode() == kEuro) {
            bytes->append(kEuroByte);
            return true;
        }
        const QByteArray pair = m_codec->fromUnicode(character);
        if (pair.size() != 2 || !isGbkLead(uchar(pair[0])) || !isGbkTrail(uchar(pair[1])) ||
            decodeWhole(m_codec, pair) != character)
            return false;
        bytes->append(pair);
        return true;
    }

private:
    const QTextCodec *m_codec;
};

class FallbackStreamDecoder : public GbkStreamDecoder
{
public:
    explicit FallbackStreamDecoder(const QTextCodec *codec) : m_codec(codec) {}
    QString decode(QByteArrayView bytes) override
    {
        return decodeStream(m_codec, bytes, &m_pendingLead);
    }

private:
    const QTextCodec *m_codec;
    // A lead byte whose partner has not arrived yet, or -1.
    int m_pendingLead = -1;
};

class FallbackGbk : public GbkConverter
{
public:
    explicit FallbackGbk(const QTextCodec *codec) : m_codec(codec) {}

    bool encodeWhole(const QString &text, QByteArray *bytes) const override
    {
        // The codec's own reports of what it could not encode differ between its builds (one
        // never reports, one drops some characters silently), so the bytes are judged by
        // reading them back: text that comes back whole went out whole. The euro sign is
        // one byte in code page 936, which not every build of the codec knows.
        if (text.contains(QChar(kEuro)))
            return false;
        *bytes = m_codec->fromUnicode(text);
        return decodeWhole(m_codec, *bytes) == text;
    }

    std::unique_ptr<GbkCharacterEncoder> characterEncoder() const override
    {
        return std::make_unique<FallbackCharacterEncoder>(m_codec);
    }

    std::unique_ptr<GbkStreamDecoder> streamDecoder() const override
    {
        return std::make_unique<FallbackStreamDecoder>(m_codec);
    }

private:
    const QTextCodec *m_codec;
};

} // namespace

const GbkConverter *fallbackGbkConverter()
{
    static const QTextCodec *const codec = QTextCodec::codecForName(WireCodec::kName);
    static const FallbackGbk converter(codec);
    return codec ? &converter : nullptr;
}

std::unique_ptr<GbkConverter> fallbackGbkConverterOver(const QTextCodec *codec)
{
    return std::make_unique<FallbackGbk>(codec);
}
