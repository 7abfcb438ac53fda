#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class GbkConverter;
class GbkStreamDecoder;

// GBK's two-byte characters: a lead byte, then a trail byte.
inline bool isGbkLead(uchar byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

inline bool isGbkTrail(uchar byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// Text on the wire is GBK (code page 936): ASCII is one byte, a Chinese character two.
// One codec for the whole program, so the send log, the wire and the counters agree.
// Qt's own converters offer GBK where Qt is built with ICU; elsewhere (Qt's usual Windows
// and macOS builds) the GBK codec of Qt's compatibility module does the work, with the
// same results.
class WireCodec
{
public:
    struct Encoded
    {
        QByteArray bytes; // what goes on the wire
        QString text;     // the text as it went: a character GBK cannot encode shows as "?"
    };

    // False when neither path offers a GBK codec; the program refuses to start then.
    static bool available();

    // Encodes the whole text. A character (a whole code point, or a lone surrogate) that
    // GBK cannot encode becomes the single byte "?" and shows as "?" in Encoded::text.
    static Encoded encode(const QString &text);

    // The measured count: encode(text).bytes.size().
    static qsizetype byteLength(const QString &text);

    // The codec's name as the platform knows it.
    static constexpr const char *kName = "GBK";

    // The library's GBK maps the byte 0xFF, which code page 936 leaves unassigned, to this
    // private-use character. We treat 0xFF as not GBK: it decodes to U+FFFD, and this
    // character is not encoded (it would put 0xFF on the wire).
    static constexpr char16_t kStrayFfCharacter = 0xF8F5;
};

// Stateful GBK decoding of a byte stream that arrives in pieces: a two-byte character
// split between two reads comes out whole; bytes that are not GBK come out as U+FFFD
// and never swallow the valid text that follows them.
class WireDecoder
{
public:
    // Decodes with the program's converter.
    WireDecoder();
    // Decodes with the given one (which outlives the decoder); see gbkconverter.h.
    explicit WireDecoder(const GbkConverter &converter);
    ~WireDecoder();
    QString decode(QByteArrayView bytes);

    // One stream, one decoder.
    Q_DISABLE_COPY_MOVE(WireDecoder)

private:
    std::unique_ptr<GbkStreamDecoder> m_stream;
};
