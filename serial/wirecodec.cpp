#include "wirecodec.h"

#include <QStringEncoder>
#include <QTextCodec>

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

bool probeNative()
{
    QStringEncoder encoder(WireCodec::kName, QStringConverter::Flag::Stateless);
    QStringDecoder decoder(WireCodec::kName, QStringConverter::Flag::Stateless);
    if (!encoder.isValid() || !decoder.isValid())
        return false;
    const QByteArray bytes = encoder.encode(probeText());
    if (encoder.hasError() || bytes != probeBytes())
        return false;
    const QString back = decoder.decode(probeBytes());
    return !decoder.hasError() && back == probeText();
}

// The compatibility module's GBK codec (owned by Qt, lives as long as the program).
QTextCodec *fallbackCodec()
{
    return QTextCodec::codecForName(WireCodec::kName);
}

bool probeFallback()
{
    const QTextCodec *codec = fallbackCodec();
    if (!codec)
        return false;
    return codec->fromUnicode(probeText()) == probeBytes() &&
           codec->toUnicode(probeBytes()) == probeText();
}

enum class Engine
{
    None,
    Native,
    Fallback
};

bool g_fallbackForced = false;

Engine chooseEngine()
{
    if (!g_fallbackForced && probeNative())
        return Engine::Native;
    if (probeFallback())
        return Engine::Fallback;
    return Engine::None;
}

std::optional<Engine> &chosenEngine()
{
    static std::optional<Engine> engine;
    return engine;
}

Engine engine()
{
    std::optional<Engine> &chosen = chosenEngine();
    if (!chosen)
        chosen = chooseEngine();
    return *chosen;
}

} // namespace

bool WireCodec::available()
{
    return engine() != Engine::None;
}

bool WireCodec::usesFallback()
{
    return engine() == Engine::Fallback;
}

void WireCodec::useFallbackForTesting()
{
    g_fallbackForced = true;
    chosenEngine().reset();
}

WireCodec::Encoded WireCodec::encode(const QString &text)
{
    if (engine() == Engine::Fallback)
        return encodeWithFallback(text);
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

WireCodec::Encoded WireCodec::encodeWithFallback(const QString &text)
{
    // The codec's own reports of what it could not encode differ between its builds (some
    // never report, some drop a character silently), so the bytes are judged by reading
    // them back: a character goes out as itself only if its bytes decode to it again.
    const QTextCodec *codec = fallbackCodec();
    QByteArray bytes = codec->fromUnicode(text);
    if (!text.contains(QChar(kStrayFfCharacter)) && codec->toUnicode(bytes) == text)
        return {std::move(bytes), text};

    Encoded out;
    out.bytes.reserve(text.size() * 2);
    out.text.reserve(text.size());
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    while (p < end) {
        const char16_t unit = p->unicode();
        qsizetype length = 1;
        bool encodable = true;
        if (QChar::isHighSurrogate(unit) && p + 1 < end && p[1].isLowSurrogate())
            length = 2;
        else if (QChar::isSurrogate(unit) || unit == kStrayFfCharacter)
            encodable = false;

        const QStringView character(p, length);
        if (encodable && unit >= 0x80) {
            const QByteArray one = codec->fromUnicode(character);
            encodable = !one.isEmpty() && codec->toUnicode(one) == character;
            if (encodable)
                out.bytes.append(one);
        } else if (encodable) {
            // ASCII is itself in GBK.
            out.bytes.append(char(unit));
        }
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

qsizetype WireCodec::byteLength(const QString &text)
{
    return encode(text).bytes.size();
}

struct WireDecoder::FallbackState
{
    QTextCodec *codec = fallbackCodec();
    // Holds a lead byte whose partner has not arrived yet.
    QTextCodec::ConverterState state;
};

namespace {

// Returned as a temporary so that the decoder is built in its final place (a moved one no
// longer tracks its errors).
QStringDecoder makeNativeDecoder(bool wanted)
{
    if (!wanted)
        return QStringDecoder();
    return QStringDecoder(WireCodec::kName);
}

} // namespace

WireDecoder::WireDecoder()
    : m_decoder(makeNativeDecoder(engine() != Engine::Fallback)),
      m_fallback(engine() == Engine::Fallback ? std::make_unique<FallbackState>() : nullptr)
{}

WireDecoder::~WireDecoder() = default;

QString WireDecoder::decode(QByteArrayView bytes)
{
    QString text;
    if (m_fallback) {
        // The codec takes an int count; a longer read goes through in pieces.
        constexpr qsizetype kPiece = 1 << 30;
        for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
            const QByteArrayView piece = bytes.sliced(at, qMin(kPiece, bytes.size() - at));
            text +=
                m_fallback->codec->toUnicode(piece.data(), int(piece.size()), &m_fallback->state);
        }
    } else {
        text = m_decoder.decode(bytes);
    }
    // A stray 0xFF comes out of the library as a private-use character; show it as what
    // it is, a byte that is no GBK. (No two-byte sequence decodes to that character.)
    if (text.contains(QChar(WireCodec::kStrayFfCharacter)))
        text.replace(QChar(WireCodec::kStrayFfCharacter), QChar(QChar::ReplacementCharacter));
    return text;
}
