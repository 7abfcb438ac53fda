#include "gbkconverter.h"
#include "wirecodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace {

// GBK through Qt's own converters.
class NativeCharacterEncoder : public GbkCharacterEncoder
{
public:
    NativeCharacterEncoder()
    {
        m_encoder.emplace(WireCodec::kName, QStringConverter::Flag::Stateless);
    }

    bool append(QStringView character, QByteArray *bytes) override
    {
        const qsizetype before = bytes->size();
        bytes->resize(before + m_encoder->requiredSpace(character.size()));
        char *written = m_encoder->appendToBuffer(bytes->data() + before, character);
        const qsizetype count = written - (bytes->data() + before);
        const bool encoded = !m_encoder->hasError() && count > 0;
        // Drop whatever the library put in place of a character it could not encode.
        bytes->resize(encoded ? before + count : before);
        // The encoder's error flag stays set once raised and resetState() leaves a GBK
        // encoder unable to encode anything more, so a character that fails gets a fresh
        // encoder for the rest. (Built in place: a moved encoder no longer reports errors.)
        if (!encoded)
            m_encoder.emplace(WireCodec::kName, QStringConverter::Flag::Stateless);
        return encoded;
    }

private:
    std::optional<QStringEncoder> m_encoder;
};

class NativeStreamDecoder : public GbkStreamDecoder
{
public:
    QString decode(QByteArrayView bytes) override { return m_decoder.decode(bytes); }

private:
    // Built in its final place: a moved decoder no longer tracks its errors.
    QStringDecoder m_decoder{WireCodec::kName};
};

class NativeGbk : public GbkConverter
{
public:
    bool encodeWhole(const QString &text, QByteArray *bytes) const override
    {
        // Stateless, so that a high surrogate at the very end counts as an error instead of
        // being kept back for a next call that never comes. The library reports that it
        // met something it could not encode, not where; it puts "?" for some such
        // characters and nothing at all for others (zero-width and other invisible ones).
        QStringEncoder encoder(WireCodec::kName, QStringConverter::Flag::Stateless);
        *bytes = encoder.encode(text);
        return !encoder.hasError();
    }

    std::unique_ptr<GbkCharacterEncoder> characterEncoder() const override
    {
        return std::make_unique<NativeCharacterEncoder>();
    }

    std::unique_ptr<GbkStreamDecoder> streamDecoder() const override
    {
        return std::make_unique<NativeStreamDecoder>();
    }
};

bool offersGbk()
{
    return QStringEncoder(WireCodec::kName).isValid() && QStringDecoder(WireCodec::kName).isValid();
}

} // namespace

const GbkConverter *nativeGbkConverter()
{
    static const NativeGbk converter;
    static const bool offered = offersGbk();
    return offered ? &converter : nullptr;
}
