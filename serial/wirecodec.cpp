#include "wirecodec.h"

#include "gbkconverter.h"

#include <optional>

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

struct Choice
{
    QList<const GbkConverter *> candidates;
    std::optional<const GbkConverter *> chosen;
};

Choice &choice()
{
    static Choice theChoice{{nativeGbkConverter(), fallbackGbkConverter()}, std::nullopt};
    return theChoice;
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

const GbkConverter *converter()
{
    Choice &c = choice();
    if (!c.chosen) {
        c.chosen = nullptr;
        for (const GbkConverter *candidate : std::as_const(c.candidates)) {
            if (worksAsCodePage936(candidate)) {
                c.chosen = candidate;
                break;
            }
        }
    }
    return *c.chosen;
}

} // namespace

void offerGbkConverters(const QList<const GbkConverter *> &candidates)
{
    choice().candidates = candidates;
    choice().chosen.reset();
}

const GbkConverter *gbkConverterInUse()
{
    return converter();
}

bool WireCodec::available()
{
    return converter() != nullptr;
}

static const GbkConverter &usableConverter()
{
    static const AsciiOnly asciiOnly;
    const GbkConverter *chosen = converter();
    return chosen ? *chosen : asciiOnly;
}

WireCodec::Encoded WireCodec::encode(const QString &text)
{
    return encodeWith(usableConverter(), text);
}

qsizetype WireCodec::byteLength(const QString &text)
{
    return encode(text).bytes.size();
}

WireDecoder::WireDecoder() : m_stream(usableConverter().streamDecoder()) {}

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
