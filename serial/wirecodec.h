#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <memory>

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

    // True when the compatibility module's codec is in use.
    static bool usesFallback();

    // For the codec suite only: from now on use the compatibility module's codec even
    // where Qt's converters have GBK, so that the path other platforms take runs here too.
    // Decoders made before the call keep the codec they were made with.
    static void useFallbackForTesting();

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

private:
    // Code point by code point, for a text the library could not encode whole.
    static Encoded encodeByCharacter(QStringView text);
};

// Stateful GBK decoding of a byte stream that arrives in pieces: a two-byte character
// split between two reads comes out whole; bytes that are not GBK come out as U+FFFD
// and never swallow the valid text that follows them.
class WireDecoder
{
public:
    WireDecoder();
    ~WireDecoder();
    QString decode(QByteArrayView bytes);

    // A moved GBK converter no longer tracks its errors: the library's converter still
    // points at the state it was built with. Decoders stay where they were made.
    Q_DISABLE_COPY_MOVE(WireDecoder)

private:
    // The compatibility codec's running state, when that codec is in use.
    struct FallbackState;

    QStringDecoder m_decoder;
    std::unique_ptr<FallbackState> m_fallback;
};
