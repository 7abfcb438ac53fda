#include "wirecodec.h"

#include "gbkconverter.h"

namespace {

constexpr char kQuestionMark = '?';

// A codec that merely carries the name is not enough: the bytes of a Chinese character
// and of the euro sign must be those of code page 936.
const QString &probeText()
{
    static const QString kText = QStringLiteral("AT\u4E2D\u20AC");
    return kText;
}

const QByteArray &probeBytes()
{
    static const QByteArray kBytes("AT\xD6\xD0\x80", 5);
    return kBytes;
}

// Code point by code point, for a text the converter could not encode whole.
WireCodec::Encoded encodeByCharacter(const GbkConverter &converter, QStringView text)
{
    WireCodec::Encoded out;
    out.bytes.reserve(text.size() * 2);
    out.text.reserve(text.size());
    const std::unique_ptr<GbkCharacterEncoder> encoder = converter.characterEncoder();
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
        else if (QChar::isSurrogate(unit) || unit == WireCodec::kStrayFfCharacter)
            encodable = false;
        const QStringView character(p, length);
        if (encodable)
            encodable = encoder->append(character, &out.bytes);
        if (encodable) {
            out.text.append(character);
        } else {
            out.bytes.append(kQuestionMark);
            out.text.append(QLatin1Char(kQuestionMark));
        }
        p += length;
    }
    return out;
}

// Where no converter works (the console then refuses to start): ASCII only, every other
// character "?", every byte outside ASCII U+FFFD.
class AsciiOnly : public GbkConverter
{
public:
    bool encodeWhole(const QString &, QByteArray *) const override { return false; }

    std::unique_ptr<GbkCharacterEncoder> characterEncoder() const override
    {
        struct NoCharacter : GbkCharacterEncoder
        {
            bool append(QStringView, QByteArray *) override { return false; }
        };
        return std::make_unique<NoCharacter>();
    }

    std::unique_ptr<GbkStreamDecoder> streamDecoder() const override
    {
        struct AsciiBytes : GbkStreamDecoder
        {
            QString decode(QByteArrayView bytes) override
            {
                QString text = QString::fromLatin1(bytes);
                for (QChar &c : text) {
                    if (c.unicode() >= 0x80)
                        c = QChar::ReplacementCharacter;
                }
                return text;
            }
        };
        return std::make_unique<AsciiBytes>();
    }
};

} // namespace

WireCodec::Encoded encodeWith(const GbkConverter &converter, const QString &text)
{
    // Our one refused character goes by character whatever the converter makes of it.
    WireCodec::Encoded out;
    if (!text.contains(QChar(WireCodec::kStrayFfCharacter)) &&
        converter.encodeWhole(text, &out.bytes)) {
        out.text = text;
        return out;
    }
    return encodeByCharacter(converter, text);
}

bool worksAsCodePage936(const GbkConverter *converter)
{
    if (!converter)
        return false;
    const WireCodec::Encoded encoded = encodeWith(*converter, probeText());
    return encoded.bytes == probeBytes() && encoded.text == probeText() &&
           converter->streamDecoder()->decode(probeBytes()) == probeText();
}

const GbkConverter &asciiOnlyGbkConverter()
{
    static const AsciiOnly asciiOnly;
    return asciiOnly;
}

const GbkConverter *wireGbkConverter()
{
    static const GbkConverter *const chosen = [] {
        for (const GbkConverter *candidate : {nativeGbkConverter(), fallbackGbkConverter()}) {
            if (worksAsCodePage936(candidate))
                return candidate;
        }
        return static_cast<const GbkConverter *>(nullptr);
    }();
    return chosen;
}

namespace {

const GbkConverter &usableConverter()
{
    const GbkConverter *chosen = wireGbkConverter();
    return chosen ? *chosen : asciiOnlyGbkConverter();
}

} // namespace

bool WireCodec::available()
{
    return wireGbkConverter() != nullptr;
}

WireCodec::Encoded WireCodec::encode(const QString &text)
{
    return encodeWith(usableConverter(), text);
}

qsizetype WireCodec::byteLength(const QString &text)
{
    return encode(text).bytes.size();
}

WireDecoder::WireDecoder() : WireDecoder(usableConverter()) {}

WireDecoder::WireDecoder(const GbkConverter &converter) : m_stream(converter.streamDecoder()) {}

WireDecoder::~WireDecoder() = default;

QString WireDecoder::decode(QByteArrayView bytes)
{
    QString text = m_stream->decode(bytes);
    // A stray 0xFF comes out of the library as a private-use character; show it as what
    // it is, a byte that is no GBK. (No two-byte sequence decodes to that character.)
    if (text.contains(QChar(WireCodec::kStrayFfCharacter)))
        text.replace(QChar(WireCodec::kStrayFfCharacter), QChar(QChar::ReplacementCharacter));
    return text;
}
