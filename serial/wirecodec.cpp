#include "wirecodec.h"

#include <QStringEncoder>

#include <optional>

namespace {

constexpr char kQuestionMark = '?';

// A codec that merely carries the name is not enough: the bytes of a Chinese character
// and of the euro sign must be those of code page 936.
bool probeCodec()
{
    QStringEncoder encoder(WireCodec::kName, QStringConverter::Flag::Stateless);
    QStringDecoder decoder(WireCodec::kName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid() || !decoder.isValid())
        return false;
    const QString sample = QStringLiteral("AT\u4E2D\u20AC");
    const QByteArray expected("AT\xD6\xD0\x80", 5);
    const QByteArray bytes = encoder.encode(sample);
    if (encoder.hasError() || bytes != expected)
        return false;
    const QString back = decoder.decode(expected);
    return !decoder.hasError() && back == sample;
}

} // namespace

bool WireCodec::available()
{
    static const bool kAvailable = probeCodec();
    return kAvailable;
}

WireCodec::Encoded WireCodec::encode(const QString &text)
{
    // Stateless, so that a high surrogate at the very end counts as an error instead of
    // being kept back for a next call that never comes.
    QStringEncoder encoder(kName, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    // The library reports that it met something it could not encode, not where; it puts
    // "?" for some such characters and nothing at all for others (zero-width and other
    // invisible ones). Only then, and for our one refused character, go one by one.
    if (!encoder.hasError() && !text.contains(QChar(kStrayFfCharacter)))
        return {std::move(bytes), text};
    return encodeByCharacter(text);
}

WireCodec::Encoded WireCodec::encodeByCharacter(QStringView text)
{
    Encoded out;
    out.bytes.reserve(text.size() * 2);
    out.text.reserve(text.size());
    // The encoder's error flag stays set once raised and resetState() leaves a GBK encoder
    // unable to encode anything more, so a character that fails gets a fresh encoder for
    // the rest. (Built in place: a moved encoder no longer reports errors at all.)
    std::optional<QStringEncoder> encoder;
    encoder.emplace(kName, QStringConverter::Flag::Stateless);

    const QChar *p = text.data();
    const QChar *const end = p + text.size();
    while (p < end) {
        const char16_t unit = p->unicode();
        if (unit < 0x80) {
            // ASCII is itself in GBK.
            out.bytes.append(char(unit));
            out.text.append(*p);
            ++p;
            continue;
        }
        qsizetype length = 1;
        bool encodable = true;
        if (QChar::isHighSurrogate(unit) && p + 1 < end && p[1].isLowSurrogate())
            length = 2;
        else if (QChar::isSurrogate(unit) || unit == kStrayFfCharacter)
            encodable = false;

        if (encodable) {
            const QStringView character(p, length);
            const qsizetype before = out.bytes.size();
            out.bytes.resize(before + encoder->requiredSpace(length));
            char *written = encoder->appendToBuffer(out.bytes.data() + before, character);
            const qsizetype count = written - (out.bytes.data() + before);
            encodable = !encoder->hasError() && count > 0;
            // Drop whatever the library put in place of a character it could not encode.
            out.bytes.resize(encodable ? before + count : before);
            if (encodable)
                out.text.append(character);
            else
                encoder.emplace(kName, QStringConverter::Flag::Stateless);
        }
        if (!encodable) {
            out.bytes.append(kQuestionMark);
            out.text.append(QLatin1Char(kQuestionMark));
        }
        p += length;
    }
    return out;
}

qsizetype WireCodec::byteLength(const QString &text)
{
    return encode(text).bytes.size();
}

WireDecoder::WireDecoder() : m_decoder(WireCodec::kName) {}

QString WireDecoder::decode(QByteArrayView bytes)
{
    QString text = m_decoder.decode(bytes);
    // A stray 0xFF comes out of the library as a private-use character; show it as what
    // it is, a byte that is no GBK. (No two-byte sequence decodes to that character.)
    if (text.contains(QChar(WireCodec::kStrayFfCharacter)))
        text.replace(QChar(WireCodec::kStrayFfCharacter), QChar(QChar::ReplacementCharacter));
    return text;
}
