#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <memory>

// The seam between the wire codec and the library that knows GBK's characters. The codec
// (wirecodec.cpp) does what is the same whatever library does the work: ASCII, surrogates,
// which characters go out as "?", the text as it went, the stray 0xFF. A converter only
// turns characters into GBK bytes and back.

// Encodes one character at a time, for a text the converter could not encode whole.
class GbkCharacterEncoder
{
public:
    virtual ~GbkCharacterEncoder() = default;
    // Appends the bytes of one character outside ASCII (a character of the basic plane, or
    // a surrogate pair) and returns true; or appends nothing and returns false when GBK
    // has no such character.
    virtual bool append(QStringView character, QByteArray *bytes) = 0;
};

// Decodes a byte stream that arrives in pieces: a two-byte character split between two
// pieces comes out whole; bytes that are not GBK come out as U+FFFD.
class GbkStreamDecoder
{
public:
    virtual ~GbkStreamDecoder() = default;
    virtual QString decode(QByteArrayView bytes) = 0;
};

class GbkConverter
{
public:
    virtual ~GbkConverter() = default;
    // Encodes the whole text into *bytes and returns true when every character went out
    // as itself; false (and *bytes undefined) when the text needs encoding by character.
    virtual bool encodeWhole(const QString &text, QByteArray *bytes) const = 0;
    virtual std::unique_ptr<GbkCharacterEncoder> characterEncoder() const = 0;
    virtual std::unique_ptr<GbkStreamDecoder> streamDecoder() const = 0;
};

// Qt's own converters, which offer GBK where Qt is built with ICU; null elsewhere.
const GbkConverter *nativeGbkConverter();

// The GBK codec of Qt's compatibility module (Qt's usual Windows and macOS builds have no
// GBK of their own); null where that module has none.
const GbkConverter *fallbackGbkConverter();

// The converter the codec uses: the first of the candidates that encodes and decodes as
// code page 936, or null. The program leaves the candidates as they are (Qt's own
// converters, then the compatibility module's); the codec suite and its benchmark offer
// only the compatibility module's, so that the path other platforms take runs here too.
// Decoders made before keep the converter they were made with.
void offerGbkConverters(const QList<const GbkConverter *> &candidates);
const GbkConverter *gbkConverterInUse();
