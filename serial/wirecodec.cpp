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

// GBK through the codec of Qt's compatibility module. Builds of that codec differ: where
// Qt has ICU it hands the work to ICU; without ICU it uses Qt's own GBK tables, which need
// not share ICU's habits (the euro sign as a two-byte character, a lead byte that takes
// the byte after it down with it, errors counted or not). So the codec is asked only to
// map whole, well-formed two-byte characters; how the bytes divide into characters, code
// page 936's one-byte euro sign, and which characters go out as "?" are decided here, the
// same whichever build runs.

constexpr char16_t kEuro = 0x20AC;
constexpr char kEuroByte = '\x80';
// Runs of two-byte characters go to the codec in pieces of at most this many bytes.
constexpr qsizetype kMaxRun = 1 << 20;

const QTextCodec *fallbackCodec()
{
    return QTextCodec::codecForName(WireCodec::kName);
}

bool isLeadByte(uchar byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

bool isTrailByte(uchar byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

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
QString decodeWithFallback(const QTextCodec *codec, QByteArrayView bytes, int *pendingLead)
{
    const char *const data = bytes.data();
    const qsizetype size = bytes.size();
    QString out;
    out.reserve(size + 1);
    qsizetype at = 0;
    if (*pendingLead >= 0 && size > 0) {
        if (isTrailByte(uchar(data[0]))) {
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
        if (isLeadByte(byte) && at + 1 < size && isTrailByte(uchar(data[at + 1]))) {
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
        else if (isLeadByte(byte) && at + 1 == size)
            *pendingLead = byte;
        else
            out.append(QChar(QChar::ReplacementCharacter));
        ++at;
        runStart = at;
    }
    appendPairs(codec, data + runStart, size - runStart, &out);
    return out;
}

QString decodeWholeWithFallback(const QTextCodec *codec, QByteArrayView bytes)
{
    int pendingLead = -1;
    QString text = decodeWithFallback(codec, bytes, &pendingLead);
    if (pendingLead >= 0)
        text.append(QChar(QChar::ReplacementCharacter));
    return text;
}

// The bytes of one character outside ASCII, or nothing if GBK has no such character: the
// codec's bytes count only if they are one well-formed character that reads back as it.
QByteArray encodeCharacterWithFallback(const QTextCodec *codec, QStringView character)
{
    if (character.size() == 1 && character.at(0).unicode() == kEuro)
        return QByteArray(1, kEuroByte);
    if (character.size() == 1 && character.at(0).unicode() == WireCodec::kStrayFfCharacter)
        return QByteArray();
    const QByteArray bytes = codec->fromUnicode(character);
    if (bytes.size() != 2 || !isLeadByte(uchar(bytes[0])) || !isTrailByte(uchar(bytes[1])))
        return QByteArray();
    if (decodeWholeWithFallback(codec, bytes) != character)
        return QByteArray();
    return bytes;
}

WireCodec::Encoded encodeWithFallback(const QTextCodec *codec, const QString &text)
{
    // The codec's own reports of what it could not encode differ between its builds (one
    // never reports, one drops some characters silently), so the bytes are judged by
    // reading them back: text that comes back whole went out whole.
    if (!text.contains(QChar(kEuro)) && !text.contains(QChar(WireCodec::kStrayFfCharacter))) {
        QByteArray bytes = codec->fromUnicode(text);
        if (decodeWholeWithFallback(codec, bytes) == text)
            return {std::move(bytes), text};
    }

    WireCodec::Encoded out;
    out.bytes.reserve(text.size() * 2);
    out.text.reserve(text.size());
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    while (p < end) {
        const char16_t unit = p->unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(unit) && p + 1 < end && p[1].isLowSurrogate())
            length = 2;
        const QStringView character(p, length);
        QByteArray bytes;
        if (unit < 0x80)
            bytes = QByteArray(1, char(unit)); // ASCII is itself in GBK
        else if (length == 2 || !QChar::isSurrogate(unit))
            bytes = encodeCharacterWithFallback(codec, character);
        if (bytes.isEmpty()) {
            out.bytes.append(kQuestionMark);
            out.text.append(QLatin1Char(kQuestionMark));
        } else {
            out.bytes.append(bytes);
            out.text.append(character);
        }
        p += length;
    }
    return out;
}

bool probeFallback()
{
    const QTextCodec *codec = fallbackCodec();
    if (!codec)
        return false;
    const WireCodec::Encoded encoded = encodeWithFallback(codec, probeText());
    return encoded.bytes == probeBytes() && encoded.text == probeText() &&
           decodeWholeWithFallback(codec, probeBytes()) == probeText();
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
        return encodeWithFallback(fallbackCodec(), text);
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

struct WireDecoder::FallbackState
{
    const QTextCodec *codec = fallbackCodec();
    // A lead byte whose partner has not arrived yet, or -1.
    int pendingLead = -1;
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
        text = decodeWithFallback(m_fallback->codec, bytes, &m_fallback->pendingLead);
    } else {
        text = m_decoder.decode(bytes);
    }
    // A stray 0xFF comes out of the library as a private-use character; show it as what
    // it is, a byte that is no GBK. (No two-byte sequence decodes to that character.)
    if (text.contains(QChar(WireCodec::kStrayFfCharacter)))
        text.replace(QChar(WireCodec::kStrayFfCharacter), QChar(QChar::ReplacementCharacter));
    return text;
}
